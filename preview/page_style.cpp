#include "preview/page_style.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>

// The handset's stylesheet (handset.css), embedded at build time.
extern const char toruca_handset_css[];
extern const unsigned long toruca_handset_css_size;

namespace qel::apps {

namespace {

// The seven font sizes as a browser draws them around a 12-pixel text
// (size 3): the CSS keywords x-small to xxx-large at that medium size.
constexpr int kFontSizes[7] = {9, 10, 12, 14, 18, 24, 36};
// The grey a browser frames tables and rules in.
constexpr char kFrameGrey[] = "#808080";
// A link's colour where the page sets none (handset.css: a[href]).
constexpr char kLinkBlue[] = "#0000ee";

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A whole number of pixels ("5", " 5px"); -1 for anything else.
int Pixels(const char* value) {
    if (!value) return -1;
    while (*value == ' ') ++value;
    int number = 0, digits = 0;
    for (; std::isdigit(static_cast<unsigned char>(*value)) && digits < 5; ++value, ++digits)
        number = number * 10 + (*value - '0');
    return digits > 0 ? number : -1;
}

// A length attribute ("96", "80%") as CSS; "" for anything else.
std::string CssLength(const char* value) {
    if (!value) return "";
    std::string digits;
    const char* p = value;
    while (*p == ' ') ++p;
    while (std::isdigit(static_cast<unsigned char>(*p))) digits += *p++;
    if (digits.empty() || digits.size() > 5) return "";
    return digits + (*p == '%' ? "%" : "px");
}

// A URL as a CSS string; "" when it holds a character that would end one.
std::string CssUrl(const char* value) {
    if (!value || !*value) return "";
    const std::string url = value;
    if (url.find_first_of("\"\\\n\r") != std::string::npos) return "";
    return "url(\"" + url + "\")";
}

void Add(std::string& style, const char* property, const std::string& value) {
    if (!value.empty()) style += std::string(property) + ":" + value + ";";
}

std::string Px(int pixels) { return std::to_string(pixels) + "px"; }

bool IsHeading(const std::string& tag) { return tag.size() == 2 && tag[0] == 'h' && tag[1] >= '1' && tag[1] <= '6'; }

std::string AttributeLower(const ElementAttributes& element, const char* name) {
    const char* value = element.attribute(name);
    return value ? Lower(value) : std::string();
}

// The list-style-type of a list's `type`: the letters of an ordered list
// (which tell case apart) and the names of an unordered one's markers.
std::string ListStyleType(const char* type) {
    if (!type) return "";
    const std::string t = type;
    if (t == "1") return "decimal";
    if (t == "a") return "lower-alpha";
    if (t == "A") return "upper-alpha";
    if (t == "i") return "lower-roman";
    if (t == "I") return "upper-roman";
    const std::string lower = Lower(t);
    if (lower == "disc" || lower == "circle" || lower == "square") return lower;
    return "";
}

// img: align floats the image or sets it on the line; hspace and vspace
// are margins; border frames it.
std::string ImageStyle(const ElementAttributes& element, const AttributeScope& scope,
                       const std::function<bool(const std::string&)>& cardImage) {
    std::string style;
    const char* src = element.attribute("src");
    if (!src || !cardImage(src)) {
        style += "border:1px dashed #a0a0a0;";
        // Not drawn as an image: the size asked for is the frame's.
        Add(style, "width", CssLength(element.attribute("width")));
        Add(style, "height", CssLength(element.attribute("height")));
    }
    const std::string align = AttributeLower(element, "align");
    if (align == "left" || align == "right") Add(style, "float", align);
    else if (align == "top" || align == "texttop") Add(style, "vertical-align", "top");
    else if (align == "middle" || align == "absmiddle" || align == "center") Add(style, "vertical-align", "middle");
    else if (align == "bottom" || align == "baseline" || align == "absbottom") Add(style, "vertical-align", "baseline");
    if (const int h = Pixels(element.attribute("hspace")); h >= 0)
        style += "margin-left:" + Px(h) + ";margin-right:" + Px(h) + ";";
    if (const int v = Pixels(element.attribute("vspace")); v >= 0)
        style += "margin-top:" + Px(v) + ";margin-bottom:" + Px(v) + ";";
    if (const int b = Pixels(element.attribute("border")); b >= 0 && src && cardImage(src)) {
        style += "border-style:solid;border-width:" + Px(b) + ";";
        Add(style, "border-color", scope.linkFrame);
    }
    return style;
}

// table: its border, the spacing between cells and its place; the border
// and padding of its cells go to the scope.
std::string TableStyle(const ElementAttributes& element, AttributeScope& scope) {
    std::string style;
    const char* border = element.attribute("border");
    scope.tableBorder = border ? (*border ? std::max(0, Pixels(border)) : 1) : 0;
    if (scope.tableBorder > 0)
        style += "border-style:solid;border-width:" + Px(scope.tableBorder) + ";border-color:" + kFrameGrey + ";";
    if (const int spacing = Pixels(element.attribute("cellspacing")); spacing >= 0)
        Add(style, "border-spacing", Px(spacing));
    const int padding = Pixels(element.attribute("cellpadding"));
    scope.cellPadding = padding >= 0 ? Px(padding) : "";
    Add(style, "width", CssLength(element.attribute("width")));
    Add(style, "height", CssLength(element.attribute("height")));
    const std::string align = AttributeLower(element, "align");
    if (align == "left" || align == "right") Add(style, "float", align);
    else if (align == "center" || (align.empty() && scope.blockAlign == "center"))
        style += "margin-left:auto;margin-right:auto;";
    else if (align.empty() && scope.blockAlign == "right") style += "margin-left:auto;margin-right:0;";
    scope.blockAlign.clear();
    return style;
}

std::string CellStyle(const ElementAttributes& element, AttributeScope& scope) {
    std::string style;
    if (scope.tableBorder > 0) style += std::string("border:1px solid ") + kFrameGrey + ";";
    Add(style, "padding", scope.cellPadding);
    if (element.attribute("nowrap")) Add(style, "white-space", "nowrap");
    scope.tableBorder = 0;
    scope.cellPadding.clear();
    return style;
}

// hr: size is its height with the border, noshade a flat grey bar, align
// and width its place and length.
std::string RuleStyle(const ElementAttributes& element) {
    std::string style;
    const char* colour = element.attribute("color");
    const std::string c = colour ? CssColour(colour) : "";
    if (!c.empty()) style += "border-style:solid;border-color:" + c + ";background-color:" + c + ";";
    else if (element.attribute("noshade"))
        style += std::string("border-style:solid;border-color:") + kFrameGrey + ";background-color:" + kFrameGrey + ";";
    if (const int size = Pixels(element.attribute("size")); size == 1) Add(style, "border-bottom-width", "0");
    else if (size > 1) Add(style, "height", Px(size - 2));
    Add(style, "width", CssLength(element.attribute("width")));
    const std::string align = AttributeLower(element, "align");
    if (align == "left") style += "margin-left:0;margin-right:auto;";
    else if (align == "right") style += "margin-left:auto;margin-right:0;";
    return style;
}

std::string ListStyle(const ElementAttributes& element) {
    std::string style;
    Add(style, "list-style-type", ListStyleType(element.attribute("type")));
    return style;
}

std::string ColourAttribute(const ElementAttributes& element, const char* name) {
    const char* value = element.attribute(name);
    return value ? CssColour(value) : std::string();
}

using CardImage = std::function<bool(const std::string&)>;
using TagStyle = std::string (*)(const ElementAttributes&, AttributeScope&, const CardImage&);

std::string BodyStyle(const ElementAttributes& element, AttributeScope& scope, const CardImage&) {
    std::string style;
    Add(style, "background-color", ColourAttribute(element, "bgcolor"));
    Add(style, "color", ColourAttribute(element, "text"));
    Add(style, "background-image", CssUrl(element.attribute("background")));
    if (element.attribute("link")) scope.linkColour = CssColour(element.attribute("link"));
    return style;
}

std::string FontStyle(const ElementAttributes& element, AttributeScope& scope, const CardImage&) {
    std::string style;
    Add(style, "color", ColourAttribute(element, "color"));
    if (const int px = FontSizePixels(element.attribute("size"), scope.baseFont); px > 0)
        Add(style, "font-size", Px(px));
    return style;
}

std::string BaseFontStyle(const ElementAttributes& element, AttributeScope& scope, const CardImage&) {
    if (const int size = Pixels(element.attribute("size")); size > 0) scope.baseFont = std::min(size, 7);
    return "";
}

std::string LinkStyle(const ElementAttributes& element, AttributeScope& scope, const CardImage&) {
    if (!element.attribute("href")) return "";
    scope.linkFrame = scope.linkColour.empty() ? kLinkBlue : scope.linkColour;
    std::string style;
    Add(style, "color", scope.linkColour);
    return style;
}

std::string SizedStyle(const ElementAttributes& element, AttributeScope&, const CardImage&) {
    std::string style;
    Add(style, "width", CssLength(element.attribute("width")));
    Add(style, "height", CssLength(element.attribute("height")));
    return style;
}

std::string BreakStyle(const ElementAttributes& element, AttributeScope&, const CardImage&) {
    const std::string clear = AttributeLower(element, "clear");
    if (clear == "left" || clear == "right") return "clear:" + clear + ";";
    if (clear == "all" || clear == "both") return "clear:both;";
    return "";
}

// What each tag's own attributes say (the colours and alignment that
// several tags share are added by PresentationalStyle).
const std::map<std::string, TagStyle, std::less<>> kTagStyles{
    {"body", BodyStyle},
    {"font", FontStyle},
    {"basefont", BaseFontStyle},
    {"a", LinkStyle},
    {"object", SizedStyle},
    {"embed", SizedStyle},
    {"br", BreakStyle},
    {"hr", [](const ElementAttributes& e, AttributeScope&, const CardImage&) { return RuleStyle(e); }},
    {"img", [](const ElementAttributes& e, AttributeScope& s, const CardImage& c) { return ImageStyle(e, s, c); }},
    {"ol", [](const ElementAttributes& e, AttributeScope&, const CardImage&) { return ListStyle(e); }},
    {"ul", [](const ElementAttributes& e, AttributeScope&, const CardImage&) { return ListStyle(e); }},
    {"li", [](const ElementAttributes& e, AttributeScope&, const CardImage&) { return ListStyle(e); }},
    {"table", [](const ElementAttributes& e, AttributeScope& s, const CardImage&) { return TableStyle(e, s); }},
    {"td", [](const ElementAttributes& e, AttributeScope& s, const CardImage&) { return CellStyle(e, s); }},
    {"th", [](const ElementAttributes& e, AttributeScope& s, const CardImage&) { return CellStyle(e, s); }},
};

}  // namespace

std::string HandsetStylesheet() { return std::string(toruca_handset_css, toruca_handset_css_size); }

std::string CssColour(const std::string& value) {
    if (value.empty() || value.size() > 32) return "";
    for (const char c : value)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '#') return "";
    if (value[0] == '#') return value.find('#', 1) == std::string::npos ? value : "";
    if (value.find('#') != std::string::npos) return "";
    const bool hex = value.size() == 6 && value.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
    return hex ? "#" + value : value;
}

int FontSizePixels(const char* value, int baseFont) {
    if (!value) return 0;
    while (*value == ' ') ++value;
    const bool relative = *value == '+' || *value == '-';
    const int number = Pixels(relative ? value + 1 : value);
    if (number < 0) return 0;
    int step = relative ? baseFont + (*value == '-' ? -number : number) : number;
    step = std::clamp(step, 1, 7);
    return kFontSizes[step - 1];
}

std::string PresentationalStyle(const ElementAttributes& element, AttributeScope& scope,
                                const std::function<bool(const std::string&)>& cardImage) {
    const std::string& tag = element.tag;
    std::string style = ControlStyle(element);
    const auto handler = kTagStyles.find(tag);
    if (handler != kTagStyles.end()) style += handler->second(element, scope, cardImage);
    if (tag == "marquee" || tag == "table" || tag == "tr" || tag == "td" || tag == "th")
        Add(style, "background-color", ColourAttribute(element, "bgcolor"));
    if (tag == "center") scope.blockAlign = "center";
    if (tag == "p" || tag == "div" || tag == "td" || tag == "th" || IsHeading(tag)) {
        const std::string a = AttributeLower(element, "align");
        if (a == "left" || a == "right" || a == "center") {
            Add(style, "text-align", a);
            scope.blockAlign = a == "left" ? "" : a;
        }
    }
    return style;
}

}  // namespace qel::apps
