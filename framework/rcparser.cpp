#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "framework/codepage.h"
#include "framework/rclexer.h"
#include "framework/rcscript.h"
#include "framework/strings.h"

// The parser of the resource-script loader: builds the dialog templates
// from the lexer's tokens (rclexer.h).

namespace qel::framework::rc {

namespace {

// Deepest nesting of parentheses and unary operators an expression may have;
// keeps hostile input from exhausting the stack.
constexpr int kMaxExpressionDepth = 64;

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

// The names every script may use without defining them.
constexpr std::pair<std::string_view, std::uint32_t> kBuiltinSymbols[] = {
    {"IDOK", 1},
    {"IDCANCEL", 2},
    {"IDABORT", 3},
    {"IDRETRY", 4},
    {"IDIGNORE", 5},
    {"IDYES", 6},
    {"IDNO", 7},
    {"IDC_STATIC", 0xFFFFFFFFu},
    {"ID_HELP", 0xE146},
    {"WS_OVERLAPPED", WS_OVERLAPPED},
    {"WS_POPUP", WS_POPUP},
    {"WS_CHILD", WS_CHILD},
    {"WS_MINIMIZE", WS_MINIMIZE},
    {"WS_VISIBLE", WS_VISIBLE},
    {"WS_DISABLED", WS_DISABLED},
    {"WS_CLIPSIBLINGS", WS_CLIPSIBLINGS},
    {"WS_CLIPCHILDREN", WS_CLIPCHILDREN},
    {"WS_MAXIMIZE", WS_MAXIMIZE},
    {"WS_CAPTION", WS_CAPTION},
    {"WS_BORDER", WS_BORDER},
    {"WS_DLGFRAME", WS_DLGFRAME},
    {"WS_VSCROLL", WS_VSCROLL},
    {"WS_HSCROLL", WS_HSCROLL},
    {"WS_SYSMENU", WS_SYSMENU},
    {"WS_THICKFRAME", WS_THICKFRAME},
    {"WS_GROUP", WS_GROUP},
    {"WS_TABSTOP", WS_TABSTOP},
    {"WS_MINIMIZEBOX", WS_MINIMIZEBOX},
    {"WS_MAXIMIZEBOX", WS_MAXIMIZEBOX},
    {"DS_ABSALIGN", DS_ABSALIGN},
    {"DS_SYSMODAL", DS_SYSMODAL},
    {"DS_3DLOOK", DS_3DLOOK},
    {"DS_FIXEDSYS", DS_FIXEDSYS},
    {"DS_NOFAILCREATE", DS_NOFAILCREATE},
    {"DS_LOCALEDIT", DS_LOCALEDIT},
    {"DS_SETFONT", DS_SETFONT},
    {"DS_MODALFRAME", DS_MODALFRAME},
    {"DS_NOIDLEMSG", DS_NOIDLEMSG},
    {"DS_SETFOREGROUND", DS_SETFOREGROUND},
    {"DS_CONTROL", DS_CONTROL},
    {"DS_CENTER", DS_CENTER},
    {"DS_CENTERMOUSE", DS_CENTERMOUSE},
    {"DS_CONTEXTHELP", DS_CONTEXTHELP},
    {"DS_SHELLFONT", DS_SHELLFONT},
    {"WS_EX_DLGMODALFRAME", WS_EX_DLGMODALFRAME},
    {"WS_EX_NOPARENTNOTIFY", WS_EX_NOPARENTNOTIFY},
    {"WS_EX_TOPMOST", WS_EX_TOPMOST},
    {"WS_EX_ACCEPTFILES", WS_EX_ACCEPTFILES},
    {"WS_EX_TRANSPARENT", WS_EX_TRANSPARENT},
    {"WS_EX_TOOLWINDOW", WS_EX_TOOLWINDOW},
    {"WS_EX_WINDOWEDGE", WS_EX_WINDOWEDGE},
    {"WS_EX_CLIENTEDGE", WS_EX_CLIENTEDGE},
    {"WS_EX_CONTEXTHELP", WS_EX_CONTEXTHELP},
    {"WS_EX_RIGHT", WS_EX_RIGHT},
    {"WS_EX_CONTROLPARENT", WS_EX_CONTROLPARENT},
    {"WS_EX_STATICEDGE", WS_EX_STATICEDGE},
    {"WS_EX_APPWINDOW", WS_EX_APPWINDOW},
    {"BS_PUSHBUTTON", BS_PUSHBUTTON},
    {"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON},
    {"BS_CHECKBOX", BS_CHECKBOX},
    {"BS_AUTOCHECKBOX", BS_AUTOCHECKBOX},
    {"BS_RADIOBUTTON", BS_RADIOBUTTON},
    {"BS_3STATE", BS_3STATE},
    {"BS_AUTO3STATE", BS_AUTO3STATE},
    {"BS_GROUPBOX", BS_GROUPBOX},
    {"BS_AUTORADIOBUTTON", BS_AUTORADIOBUTTON},
    {"BS_LEFTTEXT", BS_LEFTTEXT},
    {"BS_ICON", BS_ICON},
    {"BS_BITMAP", BS_BITMAP},
    {"BS_LEFT", BS_LEFT},
    {"BS_RIGHT", BS_RIGHT},
    {"BS_CENTER", BS_CENTER},
    {"BS_TOP", BS_TOP},
    {"BS_BOTTOM", BS_BOTTOM},
    {"BS_VCENTER", BS_VCENTER},
    {"BS_PUSHLIKE", BS_PUSHLIKE},
    {"BS_MULTILINE", BS_MULTILINE},
    {"BS_NOTIFY", BS_NOTIFY},
    {"BS_FLAT", BS_FLAT},
    {"SS_LEFT", SS_LEFT},
    {"SS_CENTER", SS_CENTER},
    {"SS_RIGHT", SS_RIGHT},
    {"SS_ICON", SS_ICON},
    {"SS_BLACKRECT", SS_BLACKRECT},
    {"SS_GRAYRECT", SS_GRAYRECT},
    {"SS_WHITERECT", SS_WHITERECT},
    {"SS_BLACKFRAME", SS_BLACKFRAME},
    {"SS_GRAYFRAME", SS_GRAYFRAME},
    {"SS_WHITEFRAME", SS_WHITEFRAME},
    {"SS_SIMPLE", SS_SIMPLE},
    {"SS_LEFTNOWORDWRAP", SS_LEFTNOWORDWRAP},
    {"SS_BITMAP", SS_BITMAP},
    {"SS_ETCHEDHORZ", SS_ETCHEDHORZ},
    {"SS_ETCHEDVERT", SS_ETCHEDVERT},
    {"SS_ETCHEDFRAME", SS_ETCHEDFRAME},
    {"SS_NOPREFIX", SS_NOPREFIX},
    {"SS_NOTIFY", SS_NOTIFY},
    {"SS_CENTERIMAGE", SS_CENTERIMAGE},
    {"SS_RIGHTJUST", SS_RIGHTJUST},
    {"SS_REALSIZEIMAGE", SS_REALSIZEIMAGE},
    {"SS_SUNKEN", SS_SUNKEN},
    {"ES_LEFT", ES_LEFT},
    {"ES_CENTER", ES_CENTER},
    {"ES_RIGHT", ES_RIGHT},
    {"ES_MULTILINE", ES_MULTILINE},
    {"ES_UPPERCASE", ES_UPPERCASE},
    {"ES_LOWERCASE", ES_LOWERCASE},
    {"ES_PASSWORD", ES_PASSWORD},
    {"ES_AUTOVSCROLL", ES_AUTOVSCROLL},
    {"ES_AUTOHSCROLL", ES_AUTOHSCROLL},
    {"ES_NOHIDESEL", ES_NOHIDESEL},
    {"ES_OEMCONVERT", ES_OEMCONVERT},
    {"ES_READONLY", ES_READONLY},
    {"ES_WANTRETURN", ES_WANTRETURN},
    {"ES_NUMBER", ES_NUMBER},
    {"CBS_SIMPLE", CBS_SIMPLE},
    {"CBS_DROPDOWN", CBS_DROPDOWN},
    {"CBS_DROPDOWNLIST", CBS_DROPDOWNLIST},
    {"CBS_OWNERDRAWFIXED", CBS_OWNERDRAWFIXED},
    {"CBS_OWNERDRAWVARIABLE", CBS_OWNERDRAWVARIABLE},
    {"CBS_AUTOHSCROLL", CBS_AUTOHSCROLL},
    {"CBS_OEMCONVERT", CBS_OEMCONVERT},
    {"CBS_SORT", CBS_SORT},
    {"CBS_HASSTRINGS", CBS_HASSTRINGS},
    {"CBS_NOINTEGRALHEIGHT", CBS_NOINTEGRALHEIGHT},
    {"CBS_DISABLENOSCROLL", CBS_DISABLENOSCROLL},
    {"CBS_UPPERCASE", CBS_UPPERCASE},
    {"CBS_LOWERCASE", CBS_LOWERCASE},
    {"LBS_NOTIFY", LBS_NOTIFY},
    {"LBS_SORT", LBS_SORT},
    {"LBS_NOREDRAW", LBS_NOREDRAW},
    {"LBS_MULTIPLESEL", LBS_MULTIPLESEL},
    {"LBS_OWNERDRAWFIXED", LBS_OWNERDRAWFIXED},
    {"LBS_OWNERDRAWVARIABLE", LBS_OWNERDRAWVARIABLE},
    {"LBS_HASSTRINGS", LBS_HASSTRINGS},
    {"LBS_USETABSTOPS", LBS_USETABSTOPS},
    {"LBS_NOINTEGRALHEIGHT", LBS_NOINTEGRALHEIGHT},
    {"LBS_MULTICOLUMN", LBS_MULTICOLUMN},
    {"LBS_WANTKEYBOARDINPUT", LBS_WANTKEYBOARDINPUT},
    {"LBS_EXTENDEDSEL", LBS_EXTENDEDSEL},
    {"LBS_DISABLENOSCROLL", LBS_DISABLENOSCROLL},
    {"LBS_NODATA", LBS_NODATA},
    {"LBS_NOSEL", LBS_NOSEL},
    {"LBS_STANDARD", LBS_STANDARD},
    {"LANG_NEUTRAL", 0x00},
    {"LANG_ENGLISH", 0x09},
    {"LANG_JAPANESE", 0x11},
    {"SUBLANG_NEUTRAL", 0x00},
    {"SUBLANG_DEFAULT", 0x01},
    {"SUBLANG_SYS_DEFAULT", 0x02},
    {"SUBLANG_JAPANESE_JAPAN", 0x01},
    {"SUBLANG_ENGLISH_US", 0x01},
    {"DEFAULT_CHARSET", 1},
    {"ANSI_CHARSET", 0},
    {"SHIFTJIS_CHARSET", 128},
    {"FW_NORMAL", 400},
    {"FW_BOLD", 700},
};

const std::unordered_map<std::string, std::uint32_t>& BuiltinSymbols() {
    static const std::unordered_map<std::string, std::uint32_t> symbols = [] {
        std::unordered_map<std::string, std::uint32_t> map;
        for (const auto& [name, value] : kBuiltinSymbols) map.emplace(name, value);
        return map;
    }();
    return symbols;
}

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
            } else {
                const Token nameTok = m_tok;
                const std::uint32_t id = ResourceName();
                if (m_tok.kind != Tok::ident) throw Fail{m_tok.line, "resource type expected after the resource name"};
                const std::string type = Upper(m_tok.text);
                if (type != "DIALOG" && type != "DIALOGEX")
                    throw Fail{m_tok.line, "unsupported resource type " + m_tok.text};
                Advance();
                CDialogTemplate dlg = Dialog(static_cast<int>(id), type == "DIALOGEX", nameTok.line);
                if (out.FindDialog(dlg.id))
                    throw Fail{nameTok.line, "dialog " + std::to_string(dlg.id) + " defined twice"};
                out.dialogs.push_back(std::move(dlg));
            }
        }
    }

private:
    void Advance() { m_tok = m_lex.Next(); }

    bool IsKeyword(const char* upper) const { return m_tok.kind == Tok::ident && Upper(m_tok.text) == upper; }

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
        auto d = m_lex.Defines().find(t.text);
        if (d != m_lex.Defines().end()) return d->second;
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
        if (m_tok.kind == Tok::ident && m_lex.Defines().count(m_tok.text) == 0 &&
            BuiltinSymbols().count(m_tok.text) == 0)
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
        if (m_tok.kind != Tok::string)
            throw Fail{m_tok.line, std::string(what) + " expected, found " + Describe(m_tok)};
        std::u16string s = std::move(m_tok.str);
        Advance();
        return s;
    }

    bool AtBegin() const { return m_tok.kind == Tok::lbrace || IsKeyword("BEGIN"); }
    bool AtEnd() const { return m_tok.kind == Tok::rbrace || IsKeyword("END"); }

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
        dlg.style = DialogStatements(dlg);
        if (!dlg.font.face.empty()) dlg.style |= DS_SETFONT;
        Advance();  // BEGIN
        while (!AtEnd()) {
            if (m_tok.kind == Tok::end) throw Fail{line, "dialog " + std::to_string(id) + " without END"};
            dlg.items.push_back(Control());
        }
        Advance();  // END
        return dlg;
    }

    // The statements between a dialog's size and its BEGIN; answers the
    // dialog's style, which gains a caption bar with CAPTION unless a STYLE
    // statement before it said otherwise.
    DWORD DialogStatements(CDialogTemplate& dlg) {
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
                Font(kwLine, dlg.font);
            } else if (kw == "LANGUAGE") {
                dlg.language = Language();
            } else {
                throw Fail{kwLine, "unknown dialog statement " + kw};
            }
        }
        return style;
    }

    // FONT size, "face" [, weight [, italic [, charset]]]; what it leaves
    // out keeps its value.
    void Font(int line, CDialogFontTemplate& font) {
        const int size = Int32(Expr());
        if (size <= 0 || size > 1000) throw Fail{line, "font size out of range"};
        font.pointSize = size;
        Comma();
        font.face = String("font name");
        if (!AcceptComma()) return;
        font.weight = Int32(Expr());
        if (!AcceptComma()) return;
        font.italic = Expr() != 0;
        if (AcceptComma()) font.charset = Int32(Expr() & 0xFF);
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
        return qel::framework::Widen("#" + std::to_string(Expr()));
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
                item.className = qel::framework::Widen(m_tok.text);  // BUTTON, STATIC, ... as bare words
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
        item.kind = qel::framework::ControlKindOf(item.className, item.style);
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

}  // namespace qel::framework::rc

const CDialogTemplate* QelResourceScript::FindDialog(int id) const {
    for (const CDialogTemplate& d : dialogs)
        if (d.id == id) return &d;
    return nullptr;
}

bool qel::framework::ParseResourceScript(std::string_view text, QelResourceScript& out, QelRcError& error,
                                         std::span<const QelResourceFile> includes) {
    out.dialogs.clear();
    try {
        qel::framework::rc::Lexer lexer(text, includes);
        qel::framework::rc::Parser parser(lexer);
        parser.Script(out);
        return true;
    } catch (const qel::framework::rc::Fail& f) {
        out.dialogs.clear();
        error.line = f.line;
        error.message = f.message;
        return false;
    }
}
