#include "formats/models/VrmlLexer.h"

#include "engine/Errors.h"

namespace vistamaze::models {
namespace {

bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == '\f' || c == '\v' || c == '\0';
}

bool EndsWord(char c) {
    return IsSeparator(c) || c == '{' || c == '}' || c == '[' || c == ']' || c == '(' || c == ')' ||
           c == '"' || c == '#';
}

}  // namespace

VrmlToken VrmlLexer::Next() {
    for (;;) {
        while (pos_ < text_.size() && IsSeparator(text_[pos_])) {
            ++pos_;
        }
        if (pos_ < text_.size() && text_[pos_] == '#') {
            while (pos_ < text_.size() && text_[pos_] != '\n') {
                ++pos_;
            }
            continue;
        }
        break;
    }
    if (pos_ >= text_.size()) {
        return {};
    }
    const char c = text_[pos_];
    const std::size_t start = pos_++;
    switch (c) {
        case '{':
            return {VrmlTokenKind::OpenBrace, text_.substr(start, 1)};
        case '}':
            return {VrmlTokenKind::CloseBrace, text_.substr(start, 1)};
        case '[':
            return {VrmlTokenKind::OpenBracket, text_.substr(start, 1)};
        case ']':
            return {VrmlTokenKind::CloseBracket, text_.substr(start, 1)};
        case '(':
            return {VrmlTokenKind::OpenParen, text_.substr(start, 1)};
        case ')':
            return {VrmlTokenKind::CloseParen, text_.substr(start, 1)};
        case '"': {
            while (pos_ < text_.size() && text_[pos_] != '"') {
                pos_ += (text_[pos_] == '\\' && pos_ + 1 < text_.size()) ? 2 : 1;
            }
            if (pos_ >= text_.size()) {
                throw Error("unterminated string");
            }
            ++pos_;
            return {VrmlTokenKind::String, text_.substr(start + 1, pos_ - start - 2)};
        }
        default:
            while (pos_ < text_.size() && !EndsWord(text_[pos_])) {
                ++pos_;
            }
            return {VrmlTokenKind::Word, text_.substr(start, pos_ - start)};
    }
}

VrmlToken VrmlLexer::Peek(int ahead) {
    const std::size_t saved = pos_;
    VrmlToken token = Next();
    for (int i = 0; i < ahead && token.kind != VrmlTokenKind::End; ++i) {
        token = Next();
    }
    pos_ = saved;
    return token;
}

}  // namespace vistamaze::models
