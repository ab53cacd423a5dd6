// The adapter of litehtml (Debian's 0.6): its document container answered
// by a PageCanvas, its text split where Japanese text may break, and the
// page's presentational attributes turned into element styles. This is
// the only file that includes litehtml's headers.
#include "preview/litehtml_page.h"

#include <glib.h>
#include <litehtml.h>
#include <el_text.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "preview/page_style.h"

namespace qel::apps {

namespace {

constexpr int kFontSize = 12;
constexpr char kFontName[] = "IPAGothic";
// Where the browser's stylesheet goes on with the rules litehtml reads only
// from a page's own stylesheets (those with pseudo-elements).
constexpr char kPageRules[] = "/* page rules";

PageColour ColourOf(const litehtml::web_color& c) { return {c.red, c.green, c.blue, c.alpha}; }

PageRect RectOf(const litehtml::position& p) { return {p.x, p.y, p.width, p.height}; }

PageBorder BorderOf(const litehtml::border& b) {
    PageBorder border;
    border.width = b.width;
    border.colour = ColourOf(b.color);
    switch (b.style) {
        case litehtml::border_style_none:
        case litehtml::border_style_hidden: border.line = PageLine::none; break;
        case litehtml::border_style_dotted: border.line = PageLine::dotted; break;
        case litehtml::border_style_dashed: border.line = PageLine::dashed; break;
        default: border.line = PageLine::solid; break;
    }
    return border;
}

PageRepeat RepeatOf(litehtml::background_repeat repeat) {
    switch (repeat) {
        case litehtml::background_repeat_repeat_x: return PageRepeat::x;
        case litehtml::background_repeat_repeat_y: return PageRepeat::y;
        case litehtml::background_repeat_no_repeat: return PageRepeat::none;
        default: return PageRepeat::both;
    }
}

cairo_t* CairoOf(litehtml::uint_ptr hdc) { return reinterpret_cast<cairo_t*>(hdc); }

// The document container: what litehtml asks of the screen it draws on.
class Container final : public litehtml::document_container {
public:
    Container(PageCanvas& canvas, int width, int height, std::string pageRules)
        : m_canvas(canvas), m_width(width), m_height(height), m_pageRules(std::move(pageRules)) {}

    litehtml::uint_ptr create_font(const litehtml::tchar_t* /*faceName*/, int size, int weight,
                                   litehtml::font_style italic, unsigned int decoration,
                                   litehtml::font_metrics* fm) override {
        PageFontMetrics metrics;
        const std::size_t font = m_canvas.CreateFont(size > 0 ? size : kFontSize, weight,
                                                     italic == litehtml::fontStyleItalic, decoration, metrics);
        if (fm) {
            fm->height = metrics.height;
            fm->ascent = metrics.ascent;
            fm->descent = metrics.descent;
            fm->x_height = metrics.xHeight;
            // Spaces are drawn where a line runs through them.
            fm->draw_spaces = italic == litehtml::fontStyleItalic || decoration != 0;
        }
        return font;
    }
    void delete_font(litehtml::uint_ptr /*font*/) override {}  // the canvas owns its fonts
    int text_width(const litehtml::tchar_t* text, litehtml::uint_ptr font) override {
        return m_canvas.TextWidth(text, font);
    }
    void draw_text(litehtml::uint_ptr hdc, const litehtml::tchar_t* text, litehtml::uint_ptr font,
                   litehtml::web_color color, const litehtml::position& pos) override {
        Clipped(hdc, [&](cairo_t* cr) { m_canvas.DrawText(cr, text, font, ColourOf(color), pos.x, pos.y); });
    }
    int pt_to_px(int pt) const override { return pt * 96 / 72; }
    int get_default_font_size() const override { return kFontSize; }
    const litehtml::tchar_t* get_default_font_name() const override { return kFontName; }

    void draw_list_marker(litehtml::uint_ptr hdc, const litehtml::list_marker& marker) override {
        PageMarker kind = PageMarker::disc;
        if (marker.marker_type == litehtml::list_style_type_circle) kind = PageMarker::circle;
        if (marker.marker_type == litehtml::list_style_type_square) kind = PageMarker::square;
        Clipped(hdc, [&](cairo_t* cr) { m_canvas.DrawMarker(cr, kind, RectOf(marker.pos), ColourOf(marker.color)); });
    }
    void load_image(const litehtml::tchar_t* src, const litehtml::tchar_t* /*baseurl*/, bool /*redraw*/) override {
        int w = 0, h = 0;
        m_canvas.ImageSize(src, w, h);
    }
    void get_image_size(const litehtml::tchar_t* src, const litehtml::tchar_t* /*baseurl*/,
                        litehtml::size& sz) override {
        int w = 0, h = 0;
        if (!m_canvas.ImageSize(src, w, h)) w = h = 0;
        sz.width = w;
        sz.height = h;
    }
    void draw_background(litehtml::uint_ptr hdc, const litehtml::background_paint& bg) override {
        PageBackground background;
        background.colour = ColourOf(bg.color);
        background.image = bg.image;
        background.clip = RectOf(bg.clip_box);
        background.imageWidth = bg.image_size.width;
        background.imageHeight = bg.image_size.height;
        background.positionX = bg.position_x;
        background.positionY = bg.position_y;
        background.repeat = RepeatOf(bg.repeat);
        Clipped(hdc, [&](cairo_t* cr) { m_canvas.DrawBackground(cr, background); });
    }
    void draw_borders(litehtml::uint_ptr hdc, const litehtml::borders& borders, const litehtml::position& draw_pos,
                      bool /*root*/) override {
        const PageBorder sides[4] = {BorderOf(borders.top), BorderOf(borders.right), BorderOf(borders.bottom),
                                     BorderOf(borders.left)};
        const int radius = borders.radius.top_left_x;
        Clipped(hdc, [&](cairo_t* cr) { m_canvas.DrawBorders(cr, RectOf(draw_pos), sides, radius); });
    }

    void set_caption(const litehtml::tchar_t* /*caption*/) override {}
    void set_base_url(const litehtml::tchar_t* /*base_url*/) override {}
    void link(const std::shared_ptr<litehtml::document>& /*doc*/, const litehtml::element::ptr& /*el*/) override {}
    void on_anchor_click(const litehtml::tchar_t* /*url*/, const litehtml::element::ptr& /*el*/) override {}
    void set_cursor(const litehtml::tchar_t* /*cursor*/) override {}
    void transform_text(litehtml::tstring& text, litehtml::text_transform tt) override {
        // GLib's case mapping reads text that is not UTF-8 past its end; such
        // text stays as it is, and is drawn with U+FFFD for its bad bytes.
        if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return;
        gchar* changed = nullptr;
        if (tt == litehtml::text_transform_uppercase) changed = g_utf8_strup(text.c_str(), -1);
        if (tt == litehtml::text_transform_lowercase) changed = g_utf8_strdown(text.c_str(), -1);
        if (changed) text = changed;
        g_free(changed);
    }
    // A card's page has no stylesheet files: the card holds images only.
    void import_css(litehtml::tstring& /*text*/, const litehtml::tstring& /*url*/,
                    litehtml::tstring& /*baseurl*/) override {}
    void set_clip(const litehtml::position& pos, const litehtml::border_radiuses& /*radius*/, bool /*valid_x*/,
                  bool /*valid_y*/) override {
        m_clips.push_back(RectOf(pos));
    }
    void del_clip() override {
        if (!m_clips.empty()) m_clips.pop_back();
    }
    void get_client_rect(litehtml::position& client) const override { client = {0, 0, m_width, m_height}; }
    std::shared_ptr<litehtml::element> create_element(const litehtml::tchar_t* tag_name,
                                                      const litehtml::string_map& attributes,
                                                      const std::shared_ptr<litehtml::document>& doc) override {
        // The first element made is the time to add the page rules ahead of
        // the page's own stylesheets, which are read after the elements.
        if (!m_pageRules.empty() && doc) {
            doc->add_stylesheet(m_pageRules.c_str(), "", "");
            m_pageRules.clear();
        }
        return doc ? DrawnInPlace(tag_name, attributes, doc) : nullptr;
    }
    void get_media_features(litehtml::media_features& media) const override {
        media.type = litehtml::media_type_handheld;
        media.width = media.device_width = m_width;
        media.height = media.device_height = m_height;
        media.color = 8;
        media.monochrome = 0;
        media.color_index = 256;
        media.resolution = 96;
    }
    void get_language(litehtml::tstring& language, litehtml::tstring& culture) const override {
        language = "ja";
        culture = "ja-JP";
    }
    void split_text(const char* text, const std::function<void(const litehtml::tchar_t*)>& on_word,
                    const std::function<void(const litehtml::tchar_t*)>& on_space) override {
        SplitPageText(
            text, [&](const std::string& word) { on_word(word.c_str()); },
            [&](const std::string& space) { on_space(space.c_str()); });
    }

private:
    // An element litehtml would draw empty, made a box that holds the text
    // it shows: a form control, or an image the card lacks with its alt
    // text in the frame. Null for litehtml's own elements.
    litehtml::element::ptr DrawnInPlace(const char* tag, const litehtml::string_map& attributes,
                                        const std::shared_ptr<litehtml::document>& doc) {
        const ElementAttributes element{tag ? tag : "", [&](const char* name) -> const char* {
                                            const auto found = attributes.find(name);
                                            return found == attributes.end() ? nullptr : found->second.c_str();
                                        }};
        std::string text;
        if (IsDrawnInput(element)) {
            text = ControlText(element);
        } else if (element.tag == "img") {
            const char* src = element.attribute("src");
            int w = 0, h = 0;
            if (src && m_canvas.ImageSize(src, w, h)) return nullptr;
            const char* alt = element.attribute("alt");
            text = alt ? alt : "";
        } else {
            return nullptr;
        }
        auto box = std::make_shared<litehtml::html_tag>(doc);
        if (!text.empty()) box->appendChild(std::make_shared<litehtml::el_text>(text.c_str(), doc));
        return box;
    }

    // Draws with the clips litehtml has set (overflow: hidden) in force.
    template <typename Draw>
    void Clipped(litehtml::uint_ptr hdc, Draw draw) {
        cairo_t* cr = CairoOf(hdc);
        cairo_save(cr);
        for (const PageRect& clip : m_clips) {
            cairo_rectangle(cr, clip.x, clip.y, clip.width, clip.height);
            cairo_clip(cr);
        }
        draw(cr);
        cairo_restore(cr);
    }

    PageCanvas& m_canvas;
    int m_width, m_height;
    std::string m_pageRules;
    std::vector<PageRect> m_clips;
};

// The option a closed `select` shows: the first one selected, or else its
// first; null when it has none.
litehtml::element::ptr ShownOption(const litehtml::element::ptr& select) {
    litehtml::element::ptr first;
    for (std::size_t i = 0; i < select->get_children_count(); ++i) {
        const litehtml::element::ptr child = select->get_child(static_cast<int>(i));
        const char* tag = child->get_tagName();
        litehtml::element::ptr found;
        if (tag && std::string_view(tag) == "optgroup") found = ShownOption(child);
        else if (tag && std::string_view(tag) == "option") found = child;
        if (!found) continue;
        if (found->get_attr("selected")) return found;
        if (!first) first = found;
    }
    return first;
}

// A closed `select`: its shown option in view (the stylesheet hides them
// all) and the mark that it opens.
void CloseSelect(const litehtml::element::ptr& select) {
    if (const litehtml::element::ptr shown = ShownOption(select)) {
        shown->add_style("display:inline;", "");
        shown->parse_styles(true);
    }
    const litehtml::document::ptr doc = select->get_document();
    auto mark = std::make_shared<litehtml::html_tag>(doc);
    mark->set_tagName("span");
    mark->add_style("font-size:8px;margin-left:4px;", "");
    mark->appendChild(std::make_shared<litehtml::el_text>("\u25BC", doc));
    select->appendChild(mark);
    mark->parse_styles();
}

bool IsTag(const litehtml::element::ptr& element, std::string_view name) {
    const char* tag = element->get_tagName();
    return tag && name == tag;
}

// A whole-number attribute into `number`, kept within a million either
// way; `number` is left as it was for an attribute that is absent or no
// number.
void NumberAttribute(const char* value, long& number) {
    if (!value) return;
    char* end = nullptr;
    const long read = std::strtol(value, &end, 10);
    if (end != value) number = std::clamp(read, -1000000L, 1000000L);
}

// litehtml numbers an item by the `li` elements before it, counted from
// the list's `start`: an item's `value` is met by starting the list there
// (the first item) or by hidden items before it (a later one that counts
// on; one that counts back, or jumps further than kMaxItemGap, is left).
void HonourItemValues(const litehtml::element::ptr& list) {
    constexpr int kMaxItemGap = 100;
    std::vector<litehtml::element::ptr> children;
    bool valued = false;
    for (std::size_t i = 0; i < list->get_children_count(); ++i) {
        children.push_back(list->get_child(static_cast<int>(i)));
        valued = valued || (IsTag(children.back(), "li") && children.back()->get_attr("value"));
    }
    if (!valued) return;
    long next = 1;
    NumberAttribute(list->get_attr("start"), next);
    bool first = true;
    for (const litehtml::element::ptr& child : children) list->removeChild(child);
    for (const litehtml::element::ptr& child : children) {
        if (IsTag(child, "li")) {
            long wanted = next;
            NumberAttribute(child->get_attr("value"), wanted);
            if (first && wanted != next) {
                list->set_attr("start", std::to_string(wanted).c_str());
                next = wanted;
            }
            for (; wanted > next && wanted - next <= kMaxItemGap; ++next) {
                auto hidden = std::make_shared<litehtml::html_tag>(list->get_document());
                hidden->set_tagName("li");
                hidden->add_style("display:none;", "");
                list->appendChild(hidden);
                hidden->parse_styles();
            }
            ++next;  // past the number this item shows
            first = false;
        }
        list->appendChild(child);
    }
}

// Whether `style` sets a property the element's descendants inherit and
// read when their styles are parsed, so that they must be parsed anew.
bool Inherited(const std::string& style) {
    for (const char* property : {"font-size:", "list-style-type:", "white-space:"})
        if (style.find(property) != std::string::npos) return true;
    return false;
}

// Adds to each element the style its presentational attributes stand for;
// `scope` is what the elements around and before it hand down. `reparse`:
// an ancestor's new style is one the element inherits.
void ApplyAttributes(const litehtml::element::ptr& element, AttributeScope& scope, bool reparse, PageCanvas& canvas) {
    AttributeScope inner = scope;
    const char* tag = element->get_tagName();
    if (tag && *tag) {
        ElementAttributes attributes{tag, [&](const char* name) { return element->get_attr(name); }};
        if (attributes.tag == "select") CloseSelect(element);
        if (attributes.tag == "ol") HonourItemValues(element);
        const std::string style = PresentationalStyle(attributes, inner, [&](const std::string& src) {
            int w = 0, h = 0;
            return canvas.ImageSize(src, w, h);
        });
        // Styles are read once when the page is parsed: an element given
        // more reads its own anew (its text reads colours as it draws).
        if (!style.empty()) element->add_style(style, "");
        reparse = reparse || Inherited(style);
        if (!style.empty() || reparse || attributes.tag == "select") element->parse_styles(true);
    } else if (reparse) {
        element->parse_styles(true);  // text, which takes its font from its element
    }
    for (std::size_t i = 0; i < element->get_children_count(); ++i)
        ApplyAttributes(element->get_child(static_cast<int>(i)), inner, reparse, canvas);
    // A basefont holds for the text after it, wherever that is.
    scope.baseFont = inner.baseFont;
}

int TableDepthOf(const litehtml::element::ptr& element) {
    int deepest = 0;
    for (std::size_t i = 0; i < element->get_children_count(); ++i)
        deepest = std::max(deepest, TableDepthOf(element->get_child(static_cast<int>(i))));
    const char* tag = element->get_tagName();
    return deepest + (tag && std::string_view(tag) == "table" ? 1 : 0);
}

}  // namespace

struct HtmlPage::Impl {
    Impl(PageCanvas& canvas, int width, int height, const std::string& stylesheet)
        : container(canvas, width, height,
                    stylesheet.substr(std::min(stylesheet.find(kPageRules), stylesheet.size()))) {
        context.load_master_stylesheet(stylesheet.substr(0, stylesheet.find(kPageRules)).c_str());
    }
    Container container;
    int layoutWidth = 0;
    litehtml::context context;
    litehtml::document::ptr document;
};

HtmlPage::HtmlPage(const std::string& html, const std::string& stylesheet, PageCanvas& canvas, int width,
                   int screenHeight)
    : m_impl(std::make_unique<Impl>(canvas, width, screenHeight, stylesheet)) {
    m_impl->layoutWidth = width;
    m_impl->document = litehtml::document::createFromUTF8(html.c_str(), &m_impl->container, &m_impl->context);
    if (const litehtml::element::ptr root = m_impl->document->root()) {
        AttributeScope scope;
        ApplyAttributes(root, scope, false, canvas);
    }
}

HtmlPage::~HtmlPage() = default;

int HtmlPage::TableDepth() const {
    const litehtml::element::ptr root = m_impl->document->root();
    return root ? TableDepthOf(root) : 0;
}

int HtmlPage::Layout() {
    m_impl->document->render(m_impl->layoutWidth);
    return m_impl->document->height();
}

void HtmlPage::Draw(cairo_t* cr, int width, int height) {
    const litehtml::position clip(0, 0, width, height);
    m_impl->document->draw(reinterpret_cast<litehtml::uint_ptr>(cr), 0, 0, &clip);
}

}  // namespace qel::apps
