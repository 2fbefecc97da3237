#include "formats/models/VrmlParser.h"

#include "engine/Errors.h"

#include <charconv>
#include <cmath>

namespace vistamaze::models {
namespace {

constexpr int kMaxNesting = 200;

bool LooksNumeric(std::string_view word) {
    const char c = word.empty() ? '\0' : word.front();
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.';
}

double ParseNumber(std::string_view word) {
    const char* first = word.data();
    const char* last = word.data() + word.size();
    if (first != last && *first == '+') {
        ++first;
    }
    if (last - first > 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X')) {
        unsigned long long hex = 0;
        const auto [end, ec] = std::from_chars(first + 2, last, hex, 16);
        if (ec == std::errc() && end == last) {
            return static_cast<double>(hex);
        }
        throw Error("bad number");
    }
    double value = 0.0;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last || !std::isfinite(value)) {
        throw Error("bad number");
    }
    return value;
}

}  // namespace

const VrmlValue* VrmlNode::Field(std::string_view name) const {
    for (const auto& [fieldName, value] : fields) {
        if (fieldName == name) {
            return &value;
        }
    }
    return nullptr;
}

VrmlToken VrmlParser::Expect(VrmlTokenKind kind, const char* what) {
    const VrmlToken token = lexer_.Next();
    if (token.kind != kind) {
        throw Error(std::string(what) + " expected");
    }
    return token;
}

void VrmlParser::SkipBalanced(VrmlTokenKind open, VrmlTokenKind close) {
    Expect(open, "bracket");
    long long level = 1;
    while (level > 0) {
        const VrmlToken token = lexer_.Next();
        if (token.kind == VrmlTokenKind::End) {
            throw Error("unexpected end of file");
        }
        level += token.kind == open ? 1 : (token.kind == close ? -1 : 0);
    }
}

// PROTO name [interface] { body }, EXTERNPROTO name [interface] url, ROUTE a.b TO c.d.
bool VrmlParser::SkipStatement() {
    const VrmlToken token = lexer_.Peek();
    if (token.kind != VrmlTokenKind::Word) {
        return false;
    }
    if (token.text == "PROTO" || token.text == "EXTERNPROTO") {
        lexer_.Next();
        Expect(VrmlTokenKind::Word, "prototype name");
        SkipBalanced(VrmlTokenKind::OpenBracket, VrmlTokenKind::CloseBracket);
        if (token.text == "PROTO") {
            SkipBalanced(VrmlTokenKind::OpenBrace, VrmlTokenKind::CloseBrace);
        } else if (lexer_.Peek().kind == VrmlTokenKind::OpenBracket) {
            SkipBalanced(VrmlTokenKind::OpenBracket, VrmlTokenKind::CloseBracket);
        } else {
            Expect(VrmlTokenKind::String, "URL");
        }
        return true;
    }
    if (token.text == "ROUTE") {
        for (int i = 0; i < 4; ++i) {
            lexer_.Next();
        }
        return true;
    }
    return false;
}

bool VrmlParser::StartsNode() {
    const VrmlToken token = lexer_.Peek();
    return token.kind == VrmlTokenKind::Word &&
           (token.text == "DEF" || token.text == "USE" || lexer_.Peek(1).kind == VrmlTokenKind::OpenBrace);
}

std::vector<VrmlNodePtr> VrmlParser::ParseFile() {
    std::vector<VrmlNodePtr> roots;
    while (lexer_.Peek().kind != VrmlTokenKind::End) {
        if (SkipStatement()) {
            continue;
        }
        if (!StartsNode()) {
            throw Error("node expected");
        }
        if (VrmlNodePtr node = ParseNodeRef(0)) {
            roots.push_back(std::move(node));
        }
    }
    return roots;
}

VrmlNodePtr VrmlParser::ParseNodeRef(int depth) {
    if (depth > kMaxNesting) {
        throw Error("nodes nested too deeply");
    }
    const VrmlToken first = Expect(VrmlTokenKind::Word, "node");
    if (first.text == "NULL") {
        return nullptr;
    }
    if (first.text == "USE") {
        const VrmlToken name = Expect(VrmlTokenKind::Word, "node name");
        const auto found = defined_.find(name.text);
        if (found == defined_.end()) {
            throw Error("USE of an undefined node");
        }
        return found->second;
    }
    if (first.text == "DEF") {
        const VrmlToken name = Expect(VrmlTokenKind::Word, "node name");
        const VrmlToken type = Expect(VrmlTokenKind::Word, "node type");
        VrmlNodePtr node = ParseNodeBody(type.text, depth);
        defined_.insert_or_assign(std::string(name.text), node);
        return node;
    }
    return ParseNodeBody(first.text, depth);
}

VrmlNodePtr VrmlParser::ParseNodeBody(std::string_view type, int depth) {
    auto node = std::make_shared<VrmlNode>();
    node->type = type;
    Expect(VrmlTokenKind::OpenBrace, "'{'");
    for (;;) {
        const VrmlToken token = lexer_.Peek();
        if (token.kind == VrmlTokenKind::CloseBrace) {
            lexer_.Next();
            return node;
        }
        if (token.kind != VrmlTokenKind::Word) {
            throw Error("field name expected");
        }
        if (SkipStatement()) {
            continue;
        }
        if (StartsNode()) {
            if (VrmlNodePtr child = ParseNodeRef(depth + 1)) {
                node->children.push_back(std::move(child));
            }
            continue;
        }
        lexer_.Next();
        if (token.text == "eventIn" || token.text == "eventOut") {  // Script interface declarations
            lexer_.Next();
            lexer_.Next();
            continue;
        }
        if (token.text == "field" || token.text == "exposedField") {
            lexer_.Next();
            lexer_.Next();
        }
        VrmlValue value;
        ParseValue(value, depth);
        node->fields.emplace_back(std::string(token.text), std::move(value));
    }
}

void VrmlParser::ParseValue(VrmlValue& value, int depth) {
    const VrmlToken token = lexer_.Peek();
    switch (token.kind) {
        case VrmlTokenKind::OpenBracket:
            ParseList(value, depth);
            return;
        case VrmlTokenKind::OpenParen:
            SkipBalanced(VrmlTokenKind::OpenParen, VrmlTokenKind::CloseParen);
            return;
        case VrmlTokenKind::String:
            lexer_.Next();
            return;
        case VrmlTokenKind::Word:
            break;
        default:
            throw Error("field value expected");
    }
    if (token.text == "NULL" || StartsNode()) {
        if (VrmlNodePtr node = ParseNodeRef(depth + 1)) {
            value.nodes.push_back(std::move(node));
        }
        return;
    }
    if (!LooksNumeric(token.text)) {
        lexer_.Next();
        value.word = token.text;
        if (token.text == "IS") {
            lexer_.Next();
        }
        return;
    }
    while (lexer_.Peek().kind == VrmlTokenKind::Word && LooksNumeric(lexer_.Peek().text)) {
        value.numbers.push_back(ParseNumber(lexer_.Next().text));
    }
}

void VrmlParser::ParseList(VrmlValue& value, int depth) {
    lexer_.Next();
    for (;;) {
        const VrmlToken token = lexer_.Peek();
        switch (token.kind) {
            case VrmlTokenKind::CloseBracket:
                lexer_.Next();
                return;
            case VrmlTokenKind::String:
                lexer_.Next();
                continue;
            case VrmlTokenKind::Word:
                break;
            default:
                throw Error("list item expected");
        }
        if (LooksNumeric(token.text)) {
            value.numbers.push_back(ParseNumber(lexer_.Next().text));
        } else if (token.text == "NULL" || StartsNode()) {
            if (VrmlNodePtr node = ParseNodeRef(depth + 1)) {
                value.nodes.push_back(std::move(node));
            }
        } else {
            lexer_.Next();  // TRUE, FALSE and other words in a list carry no geometry
        }
    }
}

}  // namespace vistamaze::models
