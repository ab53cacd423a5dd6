#include "framework/rclexer.h"

#include <cstdio>

#include "framework/codepage.h"

namespace qel::framework::rc {

namespace {

bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

std::string_view TakeWord(std::string_view& s) {
    s = TrimLeft(s);
    std::size_t n = 0;
    while (n < s.size() && IsIdentChar(s[n])) ++n;
    std::string_view w = s.substr(0, n);
    s.remove_prefix(n);
    return w;
}

}  // namespace

std::string Describe(const Token& t) {
    switch (t.kind) {
        case Tok::end: return "end of script";
        case Tok::ident: return "'" + t.text + "'";
        case Tok::number: return "number " + std::to_string(t.number);
        case Tok::string: return "string";
        case Tok::comma: return "','";
        case Tok::bar: return "'|'";
        case Tok::plus: return "'+'";
        case Tok::minus: return "'-'";
        case Tok::amp: return "'&'";
        case Tok::tilde: return "'~'";
        case Tok::lparen: return "'('";
        case Tok::rparen: return "')'";
        case Tok::lbrace: return "'{'";
        case Tok::rbrace: return "'}'";
    }
    return "token";
}

Lexer::Lexer(std::string_view text, std::span<const QelResourceFile> includes) : m_text(text), m_includes(includes) {
    if (m_text.substr(0, 3) == "\xEF\xBB\xBF") m_pos = 3;
}

Token Lexer::Next() {
    for (;;) {
        SkipBlanksAndComments();
        if (m_pos >= m_text.size()) return Token{Tok::end, {}, 0, {}, m_line};
        if (m_text[m_pos] == '#' && m_atLineStart) {
            Directive();
            continue;
        }
        if (m_header) throw Fail{m_line, "only #define lines are read in an included header"};
        m_atLineStart = false;
        return Lex();
    }
}

void Lexer::SkipBlanksAndComments() {
    while (m_pos < m_text.size()) {
        const char c = m_text[m_pos];
        if (c == '\n') {
            ++m_line;
            ++m_pos;
            m_atLineStart = true;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
            ++m_pos;
        } else if (AtPair('/', '/')) {
            while (m_pos < m_text.size() && m_text[m_pos] != '\n') ++m_pos;
        } else if (AtPair('/', '*')) {
            SkipBlockComment();
        } else {
            return;
        }
    }
}

bool Lexer::AtPair(char first, char second) const {
    return m_pos + 1 < m_text.size() && m_text[m_pos] == first && m_text[m_pos + 1] == second;
}

void Lexer::SkipBlockComment() {
    const int start = m_line;
    m_pos += 2;  // "/*"
    for (; !AtPair('*', '/'); ++m_pos) {
        if (m_pos + 1 >= m_text.size()) throw Fail{start, "comment without its end (*/)"};
        if (m_text[m_pos] == '\n') ++m_line;
    }
    m_pos += 2;
}

std::string_view Lexer::RestOfLine() {
    const std::size_t start = m_pos;
    while (m_pos < m_text.size() && m_text[m_pos] != '\n') ++m_pos;
    std::string_view s = m_text.substr(start, m_pos - start);
    // A // comment ends the directive's text.
    const auto comment = s.find("//");
    if (comment != std::string_view::npos) s = s.substr(0, comment);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

void Lexer::Directive() {
    const int line = m_line;
    ++m_pos;  // '#'
    std::string_view rest = RestOfLine();
    const std::string name(TakeWord(rest));
    if (name == "pragma") {
        // Code-page pragmas and `once`: the script is read as UTF-8 whatever they say.
    } else if (name == "define") {
        const std::string sym(TakeWord(rest));
        if (sym.empty() || !IsIdentStart(sym[0])) throw Fail{line, "#define needs a name"};
        Lexer value(rest, {});
        value.m_line = line;
        value.m_atLineStart = false;
        const Token number = value.Next();
        if (number.kind != Tok::number || value.Next().kind != Tok::end)
            throw Fail{line, "#define " + sym + " needs a number"};
        m_defines[sym] = number.number;
    } else if (name == "include" && !m_header) {
        Include(rest, line);
    } else {
        throw Fail{line, "unsupported preprocessor line #" + name};
    }
    m_atLineStart = true;
}

void Lexer::Include(std::string_view rest, int line) {
    rest = TrimLeft(rest);
    const char close = rest.empty() ? '\0' : rest[0] == '"' ? '"' : rest[0] == '<' ? '>' : '\0';
    const auto end = close ? rest.find(close, 1) : std::string_view::npos;
    if (end == std::string_view::npos || end == 1 || end + 1 != rest.size())
        throw Fail{line, "#include needs a file name in quotes"};
    const std::string_view file = rest.substr(1, end - 1);
    const QelResourceFile* header = nullptr;
    for (const QelResourceFile& f : m_includes)
        if (f.name == file) header = &f;
    if (!header) throw Fail{line, "#include \"" + std::string(file) + "\": no such file among the module's resources"};
    Lexer sub(header->text, {});
    sub.m_header = true;
    sub.m_defines = std::move(m_defines);
    try {
        sub.Next();  // reads the whole header: anything but a directive is an error
    } catch (const Fail& f) {
        throw Fail{line, std::string(file) + ", line " + std::to_string(f.line) + ": " + f.message};
    }
    m_defines = std::move(sub.m_defines);
}

Token Lexer::Lex() {
    Token t;
    t.line = m_line;
    const char c = m_text[m_pos];
    if ((c == 'L' || c == 'l') && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '"') {
        ++m_pos;
        return LexString(t);
    }
    if (IsIdentStart(c)) {
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() && IsIdentChar(m_text[m_pos])) ++m_pos;
        t.kind = Tok::ident;
        t.text = std::string(m_text.substr(start, m_pos - start));
        return t;
    }
    if (IsDigit(c)) return LexNumber(t);
    if (c == '"') return LexString(t);
    ++m_pos;
    switch (c) {
        case ',': t.kind = Tok::comma; return t;
        case '|': t.kind = Tok::bar; return t;
        case '+': t.kind = Tok::plus; return t;
        case '-': t.kind = Tok::minus; return t;
        case '&': t.kind = Tok::amp; return t;
        case '~': t.kind = Tok::tilde; return t;
        case '(': t.kind = Tok::lparen; return t;
        case ')': t.kind = Tok::rparen; return t;
        case '{': t.kind = Tok::lbrace; return t;
        case '}': t.kind = Tok::rbrace; return t;
        default: break;
    }
    std::string shown;
    if (static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F) {
        shown = std::string("'") + c + "'";
    } else {
        char buf[8];
        std::snprintf(buf, sizeof buf, "0x%02X", static_cast<unsigned char>(c));
        shown = buf;
    }
    throw Fail{m_line, "unexpected character " + shown};
}

Token Lexer::LexNumber(Token& t) {
    std::uint64_t v = 0;
    if (m_text[m_pos] == '0' && m_pos + 1 < m_text.size() && (m_text[m_pos + 1] == 'x' || m_text[m_pos + 1] == 'X')) {
        m_pos += 2;
        int digits = 0;
        while (m_pos < m_text.size() && HexValue(m_text[m_pos]) >= 0) {
            v = v * 16 + static_cast<unsigned>(HexValue(m_text[m_pos++]));
            if (v > 0xFFFFFFFFull) throw Fail{m_line, "number too large"};
            ++digits;
        }
        if (digits == 0) throw Fail{m_line, "hexadecimal number without digits"};
    } else {
        while (m_pos < m_text.size() && IsDigit(m_text[m_pos])) {
            v = v * 10 + static_cast<unsigned>(m_text[m_pos++] - '0');
            if (v > 0xFFFFFFFFull) throw Fail{m_line, "number too large"};
        }
    }
    while (m_pos < m_text.size() &&
           (m_text[m_pos] == 'L' || m_text[m_pos] == 'l' || m_text[m_pos] == 'U' || m_text[m_pos] == 'u'))
        ++m_pos;
    if (m_pos < m_text.size() && IsIdentChar(m_text[m_pos])) throw Fail{m_line, "malformed number"};
    t.kind = Tok::number;
    t.number = static_cast<std::uint32_t>(v);
    return t;
}

Token Lexer::LexString(Token& t) {
    ++m_pos;  // opening quote
    std::string bytes;
    for (;;) {
        if (m_pos >= m_text.size() || m_text[m_pos] == '\n') throw Fail{t.line, "string without its closing quote"};
        const char c = m_text[m_pos++];
        if (c == '"') {
            if (m_pos >= m_text.size() || m_text[m_pos] != '"') break;
            bytes += '"';  // "" stands for one quote
            ++m_pos;
        } else if (c == '\\' && m_pos < m_text.size()) {
            LexEscape(bytes, t.line);
        } else {
            bytes += c;
        }
    }
    if (!qel::framework::IsValidUtf8(bytes)) throw Fail{t.line, "string is not valid UTF-8"};
    t.kind = Tok::string;
    t.str = qel::framework::Utf8ToWide(bytes);
    return t;
}

void Lexer::LexEscape(std::string& bytes, int stringLine) {
    const char e = m_text[m_pos++];
    switch (e) {
        case '\\': bytes += '\\'; break;
        case '"': bytes += '"'; break;
        case 'n': bytes += '\n'; break;
        case 'r': bytes += '\r'; break;
        case 't': bytes += '\t'; break;
        case 'a': bytes += '\b'; break;  // rc's \a: the right-align marker of menus
        case 'x':
        case 'X': bytes += LexHexEscape(); break;
        case '\n': throw Fail{stringLine, "string without its closing quote"};
        default:  // an unknown escape keeps its backslash, as rc does
            bytes += '\\';
            bytes += e;
            break;
    }
}

char Lexer::LexHexEscape() {
    unsigned v = 0;
    int digits = 0;
    while (digits < 2 && m_pos < m_text.size() && HexValue(m_text[m_pos]) >= 0) {
        v = v * 16 + static_cast<unsigned>(HexValue(m_text[m_pos++]));
        ++digits;
    }
    if (digits == 0) throw Fail{m_line, "\\x without hexadecimal digits"};
    if (v >= 0x80) throw Fail{m_line, "\\x escape above 0x7F; write the character itself"};
    return static_cast<char>(v);
}

}  // namespace qel::framework::rc
