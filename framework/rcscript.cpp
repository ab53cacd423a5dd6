#include "framework/rcscript.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "framework/codepage.h"
#include "framework/extmodule.h"
#include "framework/diagnostic.h"
#include "framework/modaldriver.h"
#include "framework/strings.h"

namespace {

// Deepest nesting of parentheses and unary operators an expression may have;
// keeps hostile input from exhausting the stack.
constexpr int kMaxExpressionDepth = 64;
constexpr int kMaxDefineDepth = 16;

struct Fail {
    int line;
    std::string message;
};

enum class Tok { end, ident, number, string, comma, bar, plus, minus, amp, tilde, bang, lparen, rparen, lbrace, rbrace };

struct Token {
    Tok kind = Tok::end;
    std::string text;       // identifier as written
    std::uint32_t number = 0;
    std::u16string str;     // string literal, decoded
    int line = 0;
};

bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

// The names every script may use without defining them.
const std::unordered_map<std::string, std::uint32_t>& BuiltinSymbols() {
    static const std::unordered_map<std::string, std::uint32_t> symbols = {
        {"IDOK", 1}, {"IDCANCEL", 2}, {"IDABORT", 3}, {"IDRETRY", 4}, {"IDIGNORE", 5}, {"IDYES", 6}, {"IDNO", 7},
        {"IDC_STATIC", 0xFFFFFFFFu}, {"ID_HELP", 0xE146},
        {"WS_OVERLAPPED", WS_OVERLAPPED}, {"WS_POPUP", WS_POPUP}, {"WS_CHILD", WS_CHILD},
        {"WS_MINIMIZE", WS_MINIMIZE}, {"WS_VISIBLE", WS_VISIBLE}, {"WS_DISABLED", WS_DISABLED},
        {"WS_CLIPSIBLINGS", WS_CLIPSIBLINGS}, {"WS_CLIPCHILDREN", WS_CLIPCHILDREN}, {"WS_MAXIMIZE", WS_MAXIMIZE},
        {"WS_CAPTION", WS_CAPTION}, {"WS_BORDER", WS_BORDER}, {"WS_DLGFRAME", WS_DLGFRAME},
        {"WS_VSCROLL", WS_VSCROLL}, {"WS_HSCROLL", WS_HSCROLL}, {"WS_SYSMENU", WS_SYSMENU},
        {"WS_THICKFRAME", WS_THICKFRAME}, {"WS_GROUP", WS_GROUP}, {"WS_TABSTOP", WS_TABSTOP},
        {"WS_MINIMIZEBOX", WS_MINIMIZEBOX}, {"WS_MAXIMIZEBOX", WS_MAXIMIZEBOX},
        {"DS_ABSALIGN", DS_ABSALIGN}, {"DS_SYSMODAL", DS_SYSMODAL}, {"DS_3DLOOK", DS_3DLOOK},
        {"DS_FIXEDSYS", DS_FIXEDSYS}, {"DS_NOFAILCREATE", DS_NOFAILCREATE}, {"DS_LOCALEDIT", DS_LOCALEDIT},
        {"DS_SETFONT", DS_SETFONT}, {"DS_MODALFRAME", DS_MODALFRAME}, {"DS_NOIDLEMSG", DS_NOIDLEMSG},
        {"DS_SETFOREGROUND", DS_SETFOREGROUND}, {"DS_CONTROL", DS_CONTROL}, {"DS_CENTER", DS_CENTER},
        {"DS_CENTERMOUSE", DS_CENTERMOUSE}, {"DS_CONTEXTHELP", DS_CONTEXTHELP}, {"DS_SHELLFONT", DS_SHELLFONT},
        {"WS_EX_DLGMODALFRAME", WS_EX_DLGMODALFRAME}, {"WS_EX_NOPARENTNOTIFY", WS_EX_NOPARENTNOTIFY},
        {"WS_EX_TOPMOST", WS_EX_TOPMOST}, {"WS_EX_ACCEPTFILES", WS_EX_ACCEPTFILES},
        {"WS_EX_TRANSPARENT", WS_EX_TRANSPARENT}, {"WS_EX_TOOLWINDOW", WS_EX_TOOLWINDOW},
        {"WS_EX_WINDOWEDGE", WS_EX_WINDOWEDGE}, {"WS_EX_CLIENTEDGE", WS_EX_CLIENTEDGE},
        {"WS_EX_CONTEXTHELP", WS_EX_CONTEXTHELP}, {"WS_EX_RIGHT", WS_EX_RIGHT},
        {"WS_EX_CONTROLPARENT", WS_EX_CONTROLPARENT}, {"WS_EX_STATICEDGE", WS_EX_STATICEDGE},
        {"WS_EX_APPWINDOW", WS_EX_APPWINDOW},
        {"BS_PUSHBUTTON", BS_PUSHBUTTON}, {"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON}, {"BS_CHECKBOX", BS_CHECKBOX},
        {"BS_AUTOCHECKBOX", BS_AUTOCHECKBOX}, {"BS_RADIOBUTTON", BS_RADIOBUTTON}, {"BS_3STATE", BS_3STATE},
        {"BS_AUTO3STATE", BS_AUTO3STATE}, {"BS_GROUPBOX", BS_GROUPBOX}, {"BS_AUTORADIOBUTTON", BS_AUTORADIOBUTTON},
        {"BS_LEFTTEXT", BS_LEFTTEXT}, {"BS_ICON", BS_ICON}, {"BS_BITMAP", BS_BITMAP}, {"BS_LEFT", BS_LEFT},
        {"BS_RIGHT", BS_RIGHT}, {"BS_CENTER", BS_CENTER}, {"BS_TOP", BS_TOP}, {"BS_BOTTOM", BS_BOTTOM},
        {"BS_VCENTER", BS_VCENTER}, {"BS_PUSHLIKE", BS_PUSHLIKE}, {"BS_MULTILINE", BS_MULTILINE},
        {"BS_NOTIFY", BS_NOTIFY}, {"BS_FLAT", BS_FLAT},
        {"SS_LEFT", SS_LEFT}, {"SS_CENTER", SS_CENTER}, {"SS_RIGHT", SS_RIGHT}, {"SS_ICON", SS_ICON},
        {"SS_BLACKRECT", SS_BLACKRECT}, {"SS_GRAYRECT", SS_GRAYRECT}, {"SS_WHITERECT", SS_WHITERECT},
        {"SS_BLACKFRAME", SS_BLACKFRAME}, {"SS_GRAYFRAME", SS_GRAYFRAME}, {"SS_WHITEFRAME", SS_WHITEFRAME},
        {"SS_SIMPLE", SS_SIMPLE}, {"SS_LEFTNOWORDWRAP", SS_LEFTNOWORDWRAP}, {"SS_BITMAP", SS_BITMAP},
        {"SS_ETCHEDHORZ", SS_ETCHEDHORZ}, {"SS_ETCHEDVERT", SS_ETCHEDVERT}, {"SS_ETCHEDFRAME", SS_ETCHEDFRAME},
        {"SS_NOPREFIX", SS_NOPREFIX}, {"SS_NOTIFY", SS_NOTIFY}, {"SS_CENTERIMAGE", SS_CENTERIMAGE},
        {"SS_RIGHTJUST", SS_RIGHTJUST}, {"SS_REALSIZEIMAGE", SS_REALSIZEIMAGE}, {"SS_SUNKEN", SS_SUNKEN},
        {"ES_LEFT", ES_LEFT}, {"ES_CENTER", ES_CENTER}, {"ES_RIGHT", ES_RIGHT}, {"ES_MULTILINE", ES_MULTILINE},
        {"ES_UPPERCASE", ES_UPPERCASE}, {"ES_LOWERCASE", ES_LOWERCASE}, {"ES_PASSWORD", ES_PASSWORD},
        {"ES_AUTOVSCROLL", ES_AUTOVSCROLL}, {"ES_AUTOHSCROLL", ES_AUTOHSCROLL}, {"ES_NOHIDESEL", ES_NOHIDESEL},
        {"ES_OEMCONVERT", ES_OEMCONVERT}, {"ES_READONLY", ES_READONLY}, {"ES_WANTRETURN", ES_WANTRETURN},
        {"ES_NUMBER", ES_NUMBER},
        {"CBS_SIMPLE", CBS_SIMPLE}, {"CBS_DROPDOWN", CBS_DROPDOWN}, {"CBS_DROPDOWNLIST", CBS_DROPDOWNLIST},
        {"CBS_OWNERDRAWFIXED", CBS_OWNERDRAWFIXED}, {"CBS_OWNERDRAWVARIABLE", CBS_OWNERDRAWVARIABLE},
        {"CBS_AUTOHSCROLL", CBS_AUTOHSCROLL}, {"CBS_OEMCONVERT", CBS_OEMCONVERT}, {"CBS_SORT", CBS_SORT},
        {"CBS_HASSTRINGS", CBS_HASSTRINGS}, {"CBS_NOINTEGRALHEIGHT", CBS_NOINTEGRALHEIGHT},
        {"CBS_DISABLENOSCROLL", CBS_DISABLENOSCROLL}, {"CBS_UPPERCASE", CBS_UPPERCASE},
        {"CBS_LOWERCASE", CBS_LOWERCASE},
        {"LBS_NOTIFY", LBS_NOTIFY}, {"LBS_SORT", LBS_SORT}, {"LBS_NOREDRAW", LBS_NOREDRAW},
        {"LBS_MULTIPLESEL", LBS_MULTIPLESEL}, {"LBS_OWNERDRAWFIXED", LBS_OWNERDRAWFIXED},
        {"LBS_OWNERDRAWVARIABLE", LBS_OWNERDRAWVARIABLE}, {"LBS_HASSTRINGS", LBS_HASSTRINGS},
        {"LBS_USETABSTOPS", LBS_USETABSTOPS}, {"LBS_NOINTEGRALHEIGHT", LBS_NOINTEGRALHEIGHT},
        {"LBS_MULTICOLUMN", LBS_MULTICOLUMN}, {"LBS_WANTKEYBOARDINPUT", LBS_WANTKEYBOARDINPUT},
        {"LBS_EXTENDEDSEL", LBS_EXTENDEDSEL}, {"LBS_DISABLENOSCROLL", LBS_DISABLENOSCROLL},
        {"LBS_NODATA", LBS_NODATA}, {"LBS_NOSEL", LBS_NOSEL}, {"LBS_STANDARD", LBS_STANDARD},
        {"LANG_NEUTRAL", 0x00}, {"LANG_ENGLISH", 0x09}, {"LANG_JAPANESE", 0x11},
        {"SUBLANG_NEUTRAL", 0x00}, {"SUBLANG_DEFAULT", 0x01}, {"SUBLANG_SYS_DEFAULT", 0x02},
        {"SUBLANG_JAPANESE_JAPAN", 0x01}, {"SUBLANG_ENGLISH_US", 0x01},
        {"DEFAULT_CHARSET", 1}, {"ANSI_CHARSET", 0}, {"SHIFTJIS_CHARSET", 128},
        {"FW_NORMAL", 400}, {"FW_BOLD", 700},
    };
    return symbols;
}

// ---------------------------------------------------------------------------
// Lexer: tokens of the script, preprocessor lines handled on the way.

class Lexer {
public:
    explicit Lexer(std::string_view text) : m_text(text) {
        if (m_text.substr(0, 3) == "\xEF\xBB\xBF") m_pos = 3;
    }
    // A lexer over its own copy of one line of text (a #define's value, an
    // #if condition); '#' is not a directive there.
    Lexer(std::string line, int lineNumber) : m_storage(std::move(line)), m_text(m_storage), m_line(lineNumber) {
        m_atLineStart = false;
    }
    Lexer(const Lexer&) = delete;
    Lexer& operator=(const Lexer&) = delete;

    std::unordered_map<std::string, std::uint32_t> defines;

    Token Next() {
        for (;;) {
            SkipBlanksAndComments();
            if (m_pos >= m_text.size()) {
                if (!m_conditions.empty()) throw Fail{m_conditions.back().line, "#if without #endif"};
                return Token{Tok::end, {}, 0, {}, m_line};
            }
            if (m_text[m_pos] == '#' && m_atLineStart) {
                Directive();
                continue;
            }
            if (Skipping()) {
                SkipRestOfLine();
                continue;
            }
            m_atLineStart = false;
            return Lex();
        }
    }

    // True when the text is being skipped by a false #if.
    bool Skipping() const {
        for (const Cond& c : m_conditions)
            if (!c.active) return true;
        return false;
    }

private:
    struct Cond {
        bool active;   // this branch is taken
        bool seenElse;
        int line;
    };

    void SkipBlanksAndComments() {
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (c == '\n') {
                ++m_line;
                ++m_pos;
                m_atLineStart = true;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                ++m_pos;
            } else if (c == '/' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '/') {
                while (m_pos < m_text.size() && m_text[m_pos] != '\n') ++m_pos;
            } else if (c == '/' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '*') {
                const int start = m_line;
                m_pos += 2;
                for (;;) {
                    if (m_pos + 1 >= m_text.size()) throw Fail{start, "comment without its end (*/)"};
                    if (m_text[m_pos] == '*' && m_text[m_pos + 1] == '/') {
                        m_pos += 2;
                        break;
                    }
                    if (m_text[m_pos] == '\n') ++m_line;
                    ++m_pos;
                }
            } else {
                return;
            }
        }
    }

    void SkipRestOfLine() {
        while (m_pos < m_text.size() && m_text[m_pos] != '\n') ++m_pos;
    }

    std::string_view RestOfLine() {
        const std::size_t start = m_pos;
        SkipRestOfLine();
        std::string_view s = m_text.substr(start, m_pos - start);
        // A // comment ends the directive's text.
        const auto comment = s.find("//");
        if (comment != std::string_view::npos) s = s.substr(0, comment);
        while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
        return s;
    }

    static std::string_view TrimLeft(std::string_view s) {
        while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
        return s;
    }

    static std::string_view TakeWord(std::string_view& s) {
        s = TrimLeft(s);
        std::size_t n = 0;
        while (n < s.size() && IsIdentChar(s[n])) ++n;
        std::string_view w = s.substr(0, n);
        s.remove_prefix(n);
        return w;
    }

    void Directive() {
        const int line = m_line;
        ++m_pos;  // '#'
        std::string_view rest = RestOfLine();
        const std::string name(TakeWord(rest));
        if (name == "if" || name == "ifdef" || name == "ifndef") {
            bool value = false;
            if (!Skipping()) {
                if (name == "if") {
                    value = EvalCondition(rest, line);
                } else {
                    const std::string sym(TakeWord(rest));
                    if (sym.empty()) throw Fail{line, "#" + name + " needs a name"};
                    value = IsDefined(sym) == (name == "ifdef");
                }
            }
            if (m_conditions.size() >= 64) throw Fail{line, "#if nested too deeply"};
            m_conditions.push_back({value, false, line});
        } else if (name == "else") {
            if (m_conditions.empty() || m_conditions.back().seenElse) throw Fail{line, "#else without #if"};
            m_conditions.back().active = !m_conditions.back().active;
            m_conditions.back().seenElse = true;
        } else if (name == "endif") {
            if (m_conditions.empty()) throw Fail{line, "#endif without #if"};
            m_conditions.pop_back();
        } else if (Skipping()) {
            // Lines inside a false #if are not read.
        } else if (name == "include" || name == "pragma") {
            // Headers and code-page pragmas: the script is read as UTF-8 whatever they say.
        } else if (name == "define") {
            const std::string sym(TakeWord(rest));
            if (sym.empty() || !IsIdentStart(sym[0])) throw Fail{line, "#define needs a name"};
            defines[sym] = EvalDefineValue(rest, line);
        } else if (name == "undef") {
            defines.erase(std::string(TakeWord(rest)));
        } else {
            throw Fail{line, "unsupported preprocessor line #" + name};
        }
        m_atLineStart = true;
    }

    bool IsDefined(const std::string& sym) const {
        return defines.count(sym) != 0 || BuiltinSymbols().count(sym) != 0;
    }

    // #define NAME EXPR: the value is computed at once from the names known now.
    std::uint32_t EvalDefineValue(std::string_view rest, int line) {
        rest = TrimLeft(rest);
        if (rest.empty()) return 1;
        if (++m_defineDepth > kMaxDefineDepth) throw Fail{line, "#define nested too deeply"};
        Lexer sub(std::string(rest), line);
        sub.defines = defines;
        sub.m_defineDepth = m_defineDepth;
        std::uint32_t v = sub.EvalLine(line);
        --m_defineDepth;
        return v;
    }

    bool EvalCondition(std::string_view rest, int line) {
        // `defined NAME` and `defined(NAME)` become 1 or 0 before evaluation.
        std::string expanded;
        std::string_view s = rest;
        while (!s.empty()) {
            if (IsIdentStart(s[0])) {
                std::string_view w = TakeWord(s);
                if (w == "defined") {
                    std::string_view t = TrimLeft(s);
                    bool paren = !t.empty() && t[0] == '(';
                    if (paren) t.remove_prefix(1);
                    std::string sym(TakeWord(t));
                    t = TrimLeft(t);
                    if (paren) {
                        if (t.empty() || t[0] != ')') throw Fail{line, "defined( without )"};
                        t.remove_prefix(1);
                    }
                    if (sym.empty()) throw Fail{line, "defined needs a name"};
                    expanded += IsDefined(sym) ? " 1 " : " 0 ";
                    s = t;
                } else {
                    // An unknown name in #if counts as 0, as in C.
                    const std::string sym(w);
                    expanded += IsDefined(sym) ? " " + sym + " " : " 0 ";
                }
            } else {
                expanded += s[0];
                s.remove_prefix(1);
            }
        }
        Lexer sub(std::move(expanded), line);
        sub.defines = defines;
        return sub.EvalLine(line) != 0;
    }

    // Evaluates the whole (one-line) text of this lexer as an expression.
    std::uint32_t EvalLine(int line);

    Token Lex() {
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
            case '!': t.kind = Tok::bang; return t;
            case '(': t.kind = Tok::lparen; return t;
            case ')': t.kind = Tok::rparen; return t;
            case '{': t.kind = Tok::lbrace; return t;
            case '}': t.kind = Tok::rbrace; return t;
            default: break;
        }
        std::string shown;
        if (static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F) shown = std::string("'") + c + "'";
        else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "0x%02X", static_cast<unsigned char>(c));
            shown = buf;
        }
        throw Fail{m_line, "unexpected character " + shown};
    }

    Token LexNumber(Token& t) {
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
        while (m_pos < m_text.size() && (m_text[m_pos] == 'L' || m_text[m_pos] == 'l' || m_text[m_pos] == 'U' || m_text[m_pos] == 'u'))
            ++m_pos;
        if (m_pos < m_text.size() && IsIdentChar(m_text[m_pos])) throw Fail{m_line, "malformed number"};
        t.kind = Tok::number;
        t.number = static_cast<std::uint32_t>(v);
        return t;
    }

    Token LexString(Token& t) {
        ++m_pos;  // opening quote
        std::string bytes;
        for (;;) {
            if (m_pos >= m_text.size() || m_text[m_pos] == '\n') throw Fail{t.line, "string without its closing quote"};
            const char c = m_text[m_pos++];
            if (c == '"') {
                if (m_pos < m_text.size() && m_text[m_pos] == '"') {
                    bytes += '"';
                    ++m_pos;
                    continue;
                }
                break;
            }
            if (c != '\\' || m_pos >= m_text.size()) {
                bytes += c;
                continue;
            }
            const char e = m_text[m_pos++];
            switch (e) {
                case '\\': bytes += '\\'; break;
                case '"': bytes += '"'; break;
                case 'n': bytes += '\n'; break;
                case 'r': bytes += '\r'; break;
                case 't': bytes += '\t'; break;
                case 'a': bytes += '\b'; break;  // rc's \a: the right-align marker of menus
                case 'x': case 'X': {
                    unsigned v = 0;
                    int digits = 0;
                    while (digits < 2 && m_pos < m_text.size() && HexValue(m_text[m_pos]) >= 0) {
                        v = v * 16 + static_cast<unsigned>(HexValue(m_text[m_pos++]));
                        ++digits;
                    }
                    if (digits == 0) throw Fail{m_line, "\\x without hexadecimal digits"};
                    if (v >= 0x80) throw Fail{m_line, "\\x escape above 0x7F; write the character itself"};
                    bytes += static_cast<char>(v);
                    break;
                }
                case '\n': throw Fail{t.line, "string without its closing quote"};
                default:  // an unknown escape keeps its backslash, as rc does
                    bytes += '\\';
                    bytes += e;
                    break;
            }
        }
        if (!qel::IsValidUtf8(bytes)) throw Fail{t.line, "string is not valid UTF-8"};
        t.kind = Tok::string;
        t.str = qel::Utf8ToWide(bytes);
        return t;
    }

    std::string m_storage;  // text of a sub-lexer (define values, #if lines)
    std::string_view m_text;
    std::size_t m_pos = 0;
    int m_line = 1;
    bool m_atLineStart = true;
    int m_defineDepth = 0;
    std::vector<Cond> m_conditions;
};

// ---------------------------------------------------------------------------
// Parser: recursive descent over the tokens.

class Parser {
public:
    explicit Parser(Lexer& lexer) : m_lex(lexer) { Advance(); }

    void Script(QelResourceScript& out) {
        while (m_tok.kind != Tok::end) {
            if (IsKeyword("LANGUAGE")) {
                Advance();
                m_language = Language();
            } else if (IsKeyword("STRINGTABLE")) {
                SkipStringTable();
            } else {
                const Token nameTok = m_tok;
                const std::uint32_t id = ResourceName();
                if (m_tok.kind != Tok::ident) throw Fail{m_tok.line, "resource type expected after the resource name"};
                const std::string type = Upper(m_tok.text);
                if (type != "DIALOG" && type != "DIALOGEX")
                    throw Fail{m_tok.line, "unsupported resource type " + m_tok.text};
                Advance();
                CDialogTemplate dlg = Dialog(static_cast<int>(id), type == "DIALOGEX", nameTok.line);
                if (out.FindDialog(dlg.id)) throw Fail{nameTok.line, "dialog " + std::to_string(dlg.id) + " defined twice"};
                out.dialogs.push_back(std::move(dlg));
            }
        }
    }

    // Evaluates an expression that must fill the rest of the input.
    std::uint32_t WholeExpression() {
        const std::uint32_t v = Expr();
        if (m_tok.kind != Tok::end) throw Fail{m_tok.line, "unexpected " + Describe(m_tok) + " in expression"};
        return v;
    }

private:
    void Advance() { m_tok = m_lex.Next(); }

    bool IsKeyword(const char* upper) const { return m_tok.kind == Tok::ident && Upper(m_tok.text) == upper; }

    static std::string Describe(const Token& t) {
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
            case Tok::bang: return "'!'";
            case Tok::lparen: return "'('";
            case Tok::rparen: return "')'";
            case Tok::lbrace: return "'{'";
            case Tok::rbrace: return "'}'";
        }
        return "token";
    }

    void Expect(Tok kind, const char* what) {
        if (m_tok.kind != kind) throw Fail{m_tok.line, std::string(what) + " expected, found " + Describe(m_tok)};
        Advance();
    }
    void Comma() { Expect(Tok::comma, "','"); }
    bool AcceptComma() {
        if (m_tok.kind != Tok::comma) return false;
        Advance();
        return true;
    }

    std::uint32_t Symbol(const Token& t) {
        auto d = m_lex.defines.find(t.text);
        if (d != m_lex.defines.end()) return d->second;
        auto b = BuiltinSymbols().find(t.text);
        if (b != BuiltinSymbols().end()) return b->second;
        throw Fail{t.line, "unknown name '" + t.text + "'"};
    }

    // expr := unary { ('|' | '+' | '-' | '&') unary }, evaluated left to right
    // as the resource compiler does (no precedence among the binary operators).
    std::uint32_t Expr() {
        std::uint32_t v = Unary(0);
        for (;;) {
            const Tok op = m_tok.kind;
            if (op != Tok::bar && op != Tok::plus && op != Tok::minus && op != Tok::amp) return v;
            Advance();
            const std::uint32_t r = Unary(0);
            if (op == Tok::bar) v |= r;
            else if (op == Tok::plus) v += r;
            else if (op == Tok::minus) v -= r;
            else v &= r;
        }
    }

    std::uint32_t Unary(int depth) {
        if (depth > kMaxExpressionDepth) throw Fail{m_tok.line, "expression nested too deeply"};
        const Token t = m_tok;
        switch (t.kind) {
            case Tok::number: Advance(); return t.number;
            case Tok::ident:
                if (Upper(t.text) == "NOT") throw Fail{t.line, "NOT is allowed only in a style list"};
                Advance();
                return Symbol(t);
            case Tok::minus: Advance(); return 0u - Unary(depth + 1);
            case Tok::tilde: Advance(); return ~Unary(depth + 1);
            case Tok::bang: Advance(); return Unary(depth + 1) == 0 ? 1u : 0u;
            case Tok::lparen: {
                Advance();
                if (++m_parenDepth > kMaxExpressionDepth) throw Fail{t.line, "expression nested too deeply"};
                const std::uint32_t v = Expr();
                --m_parenDepth;
                Expect(Tok::rparen, "')'");
                return v;
            }
            default: throw Fail{t.line, "number or name expected, found " + Describe(t)};
        }
    }

    // style := ['NOT'] unary { '|' ['NOT'] unary }, applied to `initial`.
    std::uint32_t StyleList(std::uint32_t initial) {
        std::uint32_t v = initial;
        for (;;) {
            bool negate = false;
            if (IsKeyword("NOT")) {
                negate = true;
                Advance();
            }
            std::uint32_t term = Unary(0);
            while (m_tok.kind == Tok::plus || m_tok.kind == Tok::minus || m_tok.kind == Tok::amp) {
                const Tok op = m_tok.kind;
                Advance();
                const std::uint32_t r = Unary(0);
                term = op == Tok::plus ? term + r : op == Tok::minus ? term - r : term & r;
            }
            v = negate ? (v & ~term) : (v | term);
            if (m_tok.kind != Tok::bar) return v;
            Advance();
        }
    }

    int Int32(std::uint32_t v) { return static_cast<int>(static_cast<std::int32_t>(v)); }

    int Coordinate(const char* what) {
        const int line = m_tok.line;
        const int v = Int32(Expr());
        if (v < -32768 || v > 32767) throw Fail{line, std::string(what) + " out of range: " + std::to_string(v)};
        return v;
    }

    std::uint32_t ResourceName() {
        if (m_tok.kind == Tok::ident && m_lex.defines.count(m_tok.text) == 0 && BuiltinSymbols().count(m_tok.text) == 0)
            throw Fail{m_tok.line, "resource name '" + m_tok.text + "' is not a number or a defined name"};
        const int line = m_tok.line;
        const std::uint32_t id = Expr();
        if (id == 0 || id > 0xFFFF) throw Fail{line, "resource id out of range: " + std::to_string(id)};
        return id;
    }

    WORD Language() {
        const int line = m_tok.line;
        const std::uint32_t primary = Expr();
        Comma();
        const std::uint32_t sub = Expr();
        if (primary > 0x3FF || sub > 0x3F) throw Fail{line, "language out of range"};
        return static_cast<WORD>((sub << 10) | primary);
    }

    std::u16string String(const char* what) {
        if (m_tok.kind != Tok::string) throw Fail{m_tok.line, std::string(what) + " expected, found " + Describe(m_tok)};
        std::u16string s = std::move(m_tok.str);
        Advance();
        return s;
    }

    bool AtBegin() const { return m_tok.kind == Tok::lbrace || IsKeyword("BEGIN"); }
    bool AtEnd() const { return m_tok.kind == Tok::rbrace || IsKeyword("END"); }

    void SkipStringTable() {
        const int line = m_tok.line;
        Advance();
        while (!AtBegin()) {
            if (m_tok.kind == Tok::end) throw Fail{line, "STRINGTABLE without BEGIN"};
            Advance();
        }
        Advance();
        while (!AtEnd()) {
            if (m_tok.kind == Tok::end) throw Fail{line, "STRINGTABLE without END"};
            Expr();
            AcceptComma();
            String("string");
        }
        Advance();
    }

    CDialogTemplate Dialog(int id, bool extended, int line) {
        CDialogTemplate dlg;
        dlg.id = id;
        dlg.extended = extended;
        dlg.line = line;
        dlg.language = m_language;
        dlg.x = Coordinate("x");
        Comma();
        dlg.y = Coordinate("y");
        Comma();
        dlg.cx = Coordinate("width");
        Comma();
        dlg.cy = Coordinate("height");
        if (extended && AcceptComma()) Expr();  // help id
        bool styleGiven = false;
        DWORD style = WS_POPUP | WS_BORDER | WS_SYSMENU;
        while (!AtBegin()) {
            if (m_tok.kind != Tok::ident) throw Fail{m_tok.line, "BEGIN expected, found " + Describe(m_tok)};
            const std::string kw = Upper(m_tok.text);
            const int kwLine = m_tok.line;
            Advance();
            if (kw == "STYLE") {
                style = StyleList(0);
                styleGiven = true;
            } else if (kw == "EXSTYLE") {
                dlg.exStyle = StyleList(0);
            } else if (kw == "CAPTION") {
                dlg.caption = String("caption text");
                if (!styleGiven) style |= WS_CAPTION;
            } else if (kw == "FONT") {
                const int size = Int32(Expr());
                if (size <= 0 || size > 1000) throw Fail{kwLine, "font size out of range"};
                dlg.font.pointSize = size;
                Comma();
                dlg.font.face = String("font name");
                if (AcceptComma()) {
                    dlg.font.weight = Int32(Expr());
                    if (AcceptComma()) {
                        dlg.font.italic = Expr() != 0;
                        if (AcceptComma()) dlg.font.charset = Int32(Expr() & 0xFF);
                    }
                }
            } else if (kw == "LANGUAGE") {
                dlg.language = Language();
            } else if (kw == "CLASS" || kw == "MENU") {
                if (m_tok.kind == Tok::string || m_tok.kind == Tok::ident) Advance();
                else Expr();
            } else if (kw == "CHARACTERISTICS" || kw == "VERSION") {
                Expr();
            } else {
                throw Fail{kwLine, "unknown dialog statement " + kw};
            }
        }
        if (!dlg.font.face.empty()) style |= DS_SETFONT;
        dlg.style = style;
        Advance();  // BEGIN
        while (!AtEnd()) {
            if (m_tok.kind == Tok::end) throw Fail{line, "dialog " + std::to_string(id) + " without END"};
            dlg.items.push_back(Control());
        }
        Advance();  // END
        return dlg;
    }

    struct ShortForm {
        const char* keyword;
        const char16_t* className;
        DWORD defaultStyle;
        bool hasText;
    };

    static const ShortForm* FindShortForm(const std::string& kw) {
        static const ShortForm forms[] = {
            {"LTEXT", u"Static", SS_LEFT | WS_GROUP, true},
            {"RTEXT", u"Static", SS_RIGHT | WS_GROUP, true},
            {"CTEXT", u"Static", SS_CENTER | WS_GROUP, true},
            {"GROUPBOX", u"Button", BS_GROUPBOX, true},
            {"PUSHBUTTON", u"Button", BS_PUSHBUTTON | WS_TABSTOP, true},
            {"DEFPUSHBUTTON", u"Button", BS_DEFPUSHBUTTON | WS_TABSTOP, true},
            {"AUTORADIOBUTTON", u"Button", BS_AUTORADIOBUTTON | WS_TABSTOP, true},
            {"RADIOBUTTON", u"Button", BS_RADIOBUTTON | WS_TABSTOP, true},
            {"CHECKBOX", u"Button", BS_CHECKBOX | WS_TABSTOP, true},
            {"AUTOCHECKBOX", u"Button", BS_AUTOCHECKBOX | WS_TABSTOP, true},
            {"EDITTEXT", u"Edit", ES_LEFT | WS_BORDER | WS_TABSTOP, false},
            {"COMBOBOX", u"ComboBox", CBS_SIMPLE | WS_TABSTOP, false},
            {"LISTBOX", u"ListBox", LBS_NOTIFY | WS_BORDER, false},
        };
        for (const ShortForm& f : forms)
            if (kw == f.keyword) return &f;
        return nullptr;
    }

    // The text of a control: a string, or a resource ordinal (an icon's id),
    // which is kept as "#N".
    std::u16string ControlText() {
        if (m_tok.kind == Tok::string) return String("text");
        return qel::Widen("#" + std::to_string(Expr()));
    }

    CDialogItemTemplate Control() {
        CDialogItemTemplate item;
        item.line = m_tok.line;
        if (m_tok.kind != Tok::ident) throw Fail{m_tok.line, "control statement expected, found " + Describe(m_tok)};
        const std::string kw = Upper(m_tok.text);
        Advance();
        DWORD base = WS_CHILD | WS_VISIBLE;
        if (kw == "CONTROL") {
            item.text = ControlText();
            Comma();
            item.id = Int32(Expr());
            Comma();
            if (m_tok.kind == Tok::string) {
                item.className = String("class");
            } else if (m_tok.kind == Tok::ident) {
                item.className = qel::Widen(m_tok.text);  // BUTTON, STATIC, ... as bare words
                Advance();
            } else {
                throw Fail{m_tok.line, "window class expected, found " + Describe(m_tok)};
            }
            Comma();
            item.style = StyleList(base);
            Comma();
            Rectangle(item);
            if (AcceptComma()) {
                item.exStyle = StyleList(0);
                if (AcceptComma()) item.helpId = Expr();
            }
        } else if (const ShortForm* f = FindShortForm(kw)) {
            item.className = f->className;
            if (f->hasText) {
                item.text = ControlText();
                Comma();
            }
            item.id = Int32(Expr());
            Comma();
            Rectangle(item);
            item.style = base | f->defaultStyle;
            if (AcceptComma()) {
                item.style = StyleList(item.style);
                if (AcceptComma()) {
                    item.exStyle = StyleList(0);
                    if (AcceptComma()) item.helpId = Expr();
                }
            }
        } else {
            throw Fail{item.line, "unknown control statement " + kw};
        }
        item.kind = QelControlKindOf(item.className, item.style);
        return item;
    }

    void Rectangle(CDialogItemTemplate& item) {
        item.x = Coordinate("x");
        Comma();
        item.y = Coordinate("y");
        Comma();
        item.cx = Coordinate("width");
        Comma();
        item.cy = Coordinate("height");
    }

    Lexer& m_lex;
    Token m_tok;
    WORD m_language = 0;
    int m_parenDepth = 0;
};

}  // namespace

namespace {

std::uint32_t Lexer::EvalLine(int) {
    Parser p(*this);
    return p.WholeExpression();
}

}  // namespace

QelControlKind QelControlKindOf(std::u16string_view className, DWORD style) {
    using K = QelControlKind;
    if (qel::EqualsNoCase(className, u"Static")) {
        switch (style & SS_TYPEMASK) {
            case SS_LEFT: case SS_CENTER: case SS_RIGHT: case SS_SIMPLE: case SS_LEFTNOWORDWRAP: return K::staticText;
            case SS_ICON: return K::iconStatic;
            default: return K::otherStatic;
        }
    }
    if (qel::EqualsNoCase(className, u"Button")) {
        switch (style & BS_TYPEMASK) {
            case BS_DEFPUSHBUTTON: return K::defPushButton;
            case BS_CHECKBOX: case BS_3STATE: return K::checkBox;
            case BS_AUTOCHECKBOX: case BS_AUTO3STATE: return K::autoCheckBox;
            case BS_RADIOBUTTON: return K::radioButton;
            case BS_AUTORADIOBUTTON: return K::autoRadioButton;
            case BS_GROUPBOX: return K::groupBox;
            default: return K::pushButton;
        }
    }
    if (qel::EqualsNoCase(className, u"Edit")) return K::edit;
    if (qel::EqualsNoCase(className, u"ComboBox")) return K::comboBox;
    if (qel::EqualsNoCase(className, u"ListBox")) return K::listBox;
    return K::other;
}

const char* QelControlKindName(QelControlKind kind) {
    switch (kind) {
        case QelControlKind::staticText: return "static text";
        case QelControlKind::iconStatic: return "icon static";
        case QelControlKind::otherStatic: return "static";
        case QelControlKind::groupBox: return "group box";
        case QelControlKind::pushButton: return "push button";
        case QelControlKind::defPushButton: return "default push button";
        case QelControlKind::autoRadioButton: return "auto radio button";
        case QelControlKind::radioButton: return "radio button";
        case QelControlKind::checkBox: return "check box";
        case QelControlKind::autoCheckBox: return "auto check box";
        case QelControlKind::edit: return "edit";
        case QelControlKind::comboBox: return "combo box";
        case QelControlKind::listBox: return "list box";
        case QelControlKind::other: return "control";
    }
    return "control";
}

const CDialogTemplate* QelResourceScript::FindDialog(int id) const {
    for (const CDialogTemplate& d : dialogs)
        if (d.id == id) return &d;
    return nullptr;
}

bool QelParseResourceScript(std::string_view text, QelResourceScript& out, QelRcError& error) {
    out.dialogs.clear();
    try {
        Lexer lexer(text);
        Parser parser(lexer);
        parser.Script(out);
        return true;
    } catch (const Fail& f) {
        out.dialogs.clear();
        error.line = f.line;
        error.message = f.message;
        return false;
    }
}

namespace {

struct CachedScript {
    const char* script = nullptr;
    std::size_t length = 0;
    std::shared_ptr<const QelResourceScript> parsed;  // null when the script is bad
};

std::mutex g_cacheMutex;
std::map<HINSTANCE, CachedScript>& Cache() {
    static auto* cache = new std::map<HINSTANCE, CachedScript>();
    return *cache;
}

}  // namespace

std::shared_ptr<const CDialogTemplate> AfxFindDialogTemplate(int id) {
    for (HINSTANCE module : AfxGetResourceModules()) {
        if (!module || !module->script) continue;
        std::shared_ptr<const QelResourceScript> parsed;
        std::string report;
        {
            std::lock_guard<std::mutex> lock(g_cacheMutex);
            CachedScript& entry = Cache()[module];
            if (entry.script != module->script || entry.length != module->scriptLength) {
                entry.script = module->script;
                entry.length = module->scriptLength;
                auto script = std::make_shared<QelResourceScript>();
                QelRcError err;
                if (QelParseResourceScript(std::string_view(module->script, module->scriptLength), *script, err)) {
                    entry.parsed = std::move(script);
                } else {
                    entry.parsed = nullptr;
                    report = "qelfw: resource script of module " + std::string(module->name ? module->name : "?") +
                             ", line " + std::to_string(err.line) + ": " + err.message;
                }
            }
            parsed = entry.parsed;
        }
        if (!report.empty()) qel::framework::Diagnostic(report);
        if (!parsed) continue;
        if (const CDialogTemplate* dlg = parsed->FindDialog(id))
            return std::shared_ptr<const CDialogTemplate>(parsed, dlg);  // shares the script's lifetime
    }
    return nullptr;
}

void QelDropParsedResources(HINSTANCE module) {
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    Cache().erase(module);
}
