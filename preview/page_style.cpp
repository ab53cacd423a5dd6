#include "preview/page_style.h"

#include <cctype>

// The handset's stylesheet (handset.css), embedded at build time.
extern const char toruca_handset_css[];
extern const unsigned long toruca_handset_css_size;

namespace qel::apps {

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
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

bool IsHeading(const std::string& tag) { return tag.size() == 2 && tag[0] == 'h' && tag[1] >= '1' && tag[1] <= '6'; }

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

std::string PresentationalStyle(const ElementAttributes& element, const std::string& linkColour,
                                const std::function<bool(const std::string&)>& cardImage) {
    const std::string& tag = element.tag;
    auto colour = [&](const char* name) {
        const char* value = element.attribute(name);
        return value ? CssColour(value) : std::string();
    };
    std::string style;
    if (tag == "body") {
        Add(style, "background-color", colour("bgcolor"));
        Add(style, "color", colour("text"));
        Add(style, "background-image", CssUrl(element.attribute("background")));
    } else if (tag == "font") {
        Add(style, "color", colour("color"));
    } else if (tag == "hr") {
        const std::string c = colour("color");
        Add(style, "border-color", c);
        Add(style, "background-color", c);
        Add(style, "width", CssLength(element.attribute("width")));
    } else if (tag == "a") {
        if (element.attribute("href")) Add(style, "color", linkColour);
    } else if (tag == "object" || tag == "embed") {
        Add(style, "width", CssLength(element.attribute("width")));
        Add(style, "height", CssLength(element.attribute("height")));
    } else if (tag == "img") {
        const char* src = element.attribute("src");
        if (!src || !cardImage(src)) style += "border:1px dashed #a0a0a0;";
    } else if (tag == "marquee" || tag == "table" || tag == "tr" || tag == "td" || tag == "th") {
        Add(style, "background-color", colour("bgcolor"));
    }
    if (tag == "p" || tag == "div" || IsHeading(tag)) {
        const char* align = element.attribute("align");
        const std::string a = align ? Lower(align) : "";
        if (a == "left" || a == "right" || a == "center") Add(style, "text-align", a);
    }
    return style;
}

}  // namespace qel::apps
