// Form controls as a handset draws them: closed, framed, each showing what
// it holds. A text field is as wide as `size` half-width characters, a
// `textarea` as `cols` by `rows`; a check box or radio button shows its
// state; a button its label; a `select` its chosen option (the adapter
// hides the others).
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

#include "preview/page_style.h"

namespace qel::apps {

namespace {

// The handset's half-width character and line at its 12-pixel text.
constexpr int kFontSize = 12, kCharWidth = 6, kLineHeight = 15;
// A field is a full-width character wider than its characters, as a
// browser draws it: room for the caret after the last one.
constexpr int kCaretRoom = 12;
// What a field shows when the page sets no size: a browser's defaults.
constexpr int kFieldSize = 20, kAreaCols = 20, kAreaRows = 2;
// Sizes past these are cut: no field is drawn wider than a screen.
constexpr int kMaxCols = 200, kMaxRows = 100;

std::string TypeOf(const ElementAttributes& element) {
    const char* type = element.attribute("type");
    std::string t = type ? type : "text";
    for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return t;
}

// A count attribute (size, rows, cols) within 1..`most`; `fallback` when
// absent or no number.
int Count(const ElementAttributes& element, const char* name, int fallback, int most) {
    const char* value = element.attribute(name);
    if (!value) return fallback;
    char* end = nullptr;
    const long n = std::strtol(value, &end, 10);
    if (end == value || n < 1) return fallback;
    return static_cast<int>(std::min<long>(n, most));
}

bool IsTextField(const std::string& type) {
    return type == "text" || type == "password" || type == "search" || type == "email" || type == "tel" ||
           type == "url" || type == "number";
}

bool IsButton(const std::string& type) { return type == "submit" || type == "reset" || type == "button"; }

std::string Px(int pixels) { return std::to_string(pixels) + "px"; }

}  // namespace

bool IsDrawnInput(const ElementAttributes& element) {
    if (element.tag != "input") return false;
    const std::string type = TypeOf(element);
    return IsTextField(type) || IsButton(type) || type == "checkbox" || type == "radio";
}

std::string ControlText(const ElementAttributes& element) {
    const std::string type = TypeOf(element);
    const char* value = element.attribute("value");
    if (type == "checkbox") return element.attribute("checked") ? "\u2713" : "";
    if (type == "radio") return element.attribute("checked") ? "\u25CF" : "";
    if (type == "submit") return value ? value : "送信";
    if (type == "reset") return value ? value : "リセット";
    if (!value) return "";
    if (type == "password") {
        // One mark for each character the field holds.
        std::string masked;
        for (const char* p = value; *p; ++p)
            if ((static_cast<unsigned char>(*p) & 0xC0) != 0x80) masked += "*";
        return masked;
    }
    return value;
}

std::string ControlStyle(const ElementAttributes& element) {
    if (element.tag == "textarea") {
        const int cols = Count(element, "cols", kAreaCols, kMaxCols);
        const int rows = Count(element, "rows", kAreaRows, kMaxRows);
        // Its lines as close as the font's own, as a browser sets them.
        return "width:" + Px(cols * kCharWidth + kCaretRoom) + ";height:" + Px(rows * kFontSize) +
               ";line-height:" + Px(kFontSize) + ";";
    }
    if (element.tag != "input") return "";
    const std::string type = TypeOf(element);
    if (type == "hidden") return "display:none;";
    if (IsTextField(type))
        return "width:" + Px(Count(element, "size", kFieldSize, kMaxCols) * kCharWidth + kCaretRoom) +
               ";height:" + Px(kLineHeight) + ";";
    if (type == "checkbox" || type == "radio") {
        std::string style =
            "width:11px;height:11px;padding:0;margin:3px 3px 3px 4px;font-size:10px;"
            "line-height:11px;text-align:center;vertical-align:baseline;";
        if (type == "radio") style += "border-radius:6px;font-size:7px;";
        return style;
    }
    if (IsButton(type)) return "padding:1px 6px;background-color:#e8e8e8;";
    return "";
}

}  // namespace qel::apps
