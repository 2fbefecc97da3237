#pragma once

#include <cstddef>
#include <string_view>

namespace vistamaze::models {

enum class VrmlTokenKind {
    End,
    Word,
    String,
    OpenBrace,
    CloseBrace,
    OpenBracket,
    CloseBracket,
    OpenParen,
    CloseParen
};

struct VrmlToken {
    VrmlTokenKind kind = VrmlTokenKind::End;
    std::string_view text;  // a word, or a string's contents without the quotes
};

// Splits VRML text into tokens: '#' comments, white space and commas separate; words are
// identifiers and numbers alike.
class VrmlLexer {
public:
    explicit VrmlLexer(std::string_view text) : text_(text) {}

    VrmlToken Next();
    // The token after `ahead` further ones (0: the next one), without consuming anything.
    VrmlToken Peek(int ahead = 0);

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace vistamaze::models
