// The tokens of a resource script (rcscript.h), for the loader's parser.
// Internal to the framework.
//
// The lexer skips blanks and comments and reads the preprocessor lines the
// resource scripts use: #include "NAME" of a header among the files it is
// given, #define NAME NUMBER and #pragma (ignored). An included header is
// read as the resource compiler reads a .h file: only its #define (and
// #pragma) lines count, and anything else in it is an error.
#pragma once

#include "framework/api.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "framework/rcscript.h"

namespace qel::framework::rc {

// A script error; the loader turns it into QelRcError.
struct Fail {
    int line;
    std::string message;
};

enum class Tok { end, ident, number, string, comma, bar, plus, minus, amp, tilde, lparen, rparen, lbrace, rbrace };

struct Token {
    Tok kind = Tok::end;
    std::string text;  // identifier as written
    std::uint32_t number = 0;
    std::u16string str;  // string literal, decoded
    int line = 0;
};

// A short English description of a token for messages ("'|'", "number 5").
std::string Describe(const Token& t);

class QEL_FW_API Lexer {
public:
    // `text` is UTF-8 with an optional byte-order mark; `includes` are the
    // headers that #include may name. Neither is copied.
    Lexer(std::string_view text, std::span<const QelResourceFile> includes);
    Lexer(const Lexer&) = delete;
    Lexer& operator=(const Lexer&) = delete;

    // The next token; Tok::end at the end of the text. Throws Fail.
    Token Next();

    // Names defined by #define so far, with their values.
    const std::unordered_map<std::string, std::uint32_t>& Defines() const { return m_defines; }

private:
    void SkipBlanksAndComments();
    bool AtPair(char first, char second) const;  // the next two characters are these
    void SkipBlockComment();
    std::string_view RestOfLine();
    void Directive();
    void Include(std::string_view rest, int line);
    Token Lex();
    Token LexNumber(Token& t);
    Token LexString(Token& t);
    void LexEscape(std::string& bytes, int stringLine);  // after a backslash
    char LexHexEscape();                                 // after \x

    std::string_view m_text;
    std::span<const QelResourceFile> m_includes;
    std::size_t m_pos = 0;
    int m_line = 1;
    bool m_atLineStart = true;
    bool m_header = false;  // reading an included header: #define lines only
    std::unordered_map<std::string, std::uint32_t> m_defines;
};

}  // namespace qel::framework::rc
