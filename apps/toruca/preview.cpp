// toruca preview: a picture of the card as a handset lists it, or of its
// page as a handset shows it (--page). The card is read here; the drawing is
// in a plug-in (preview/preview_draw.h) opened only for this command.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "apps/toruca/card.h"
#include "apps/toruca/commands.h"
#include "apps/toruca/page_child.h"
#include "preview/preview_draw.h"
#include "framework/codepage.h"
#include "host/html/htmldepth.h"
#include "host/paths.h"
#include "toruca/category.h"
#include "toruca/torucautil.h"

namespace fs = std::filesystem;

namespace qel::apps {

namespace {

// "Cat NNNN genre   色 colour".
std::string FooterOf(const CQelTpjFile& card) {
    CQelTorucaCategory table;
    CQelTorucaUtil util;
    std::string footer;
    if (card.m_nCategory == 0) {
        footer = "Cat 0000";
    } else {
        const unsigned genre = table.GetGenre(card.m_nCategory);
        footer = Utf8(qel::framework::Format(u"Cat %04d ", card.m_nCategory)) +
                 (genre == CQelTorucaCategory::GENRE_ALL ? "?" : Utf8(table.GetGenreName(genre)));
    }
    const std::string colourLabel = Utf8(util.GetColorLabel(static_cast<unsigned>(card.m_nColorId)));
    if (!colourLabel.empty()) footer += "   色 " + colourLabel;
    return footer;
}

struct PluginClose {
    void operator()(void* handle) const { ::dlclose(handle); }
};

// The plug-in, found where the programs find the module (a bare name would
// be searched from the caller of dlopen, which a sanitizer's interceptor
// makes its own library). It stays mapped until the process ends
// (RTLD_NODELETE): pango starts threads of its own that may still run the
// drawing libraries' code after the handle is closed.
std::unique_ptr<void, PluginClose> OpenPlugin() {
    const std::string path = qel::host::ProgramLibraryPath(kPreviewPlugin);
    std::unique_ptr<void, PluginClose> plugin(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
    if (!plugin) throw Failure(std::string("cannot draw the preview: ") + ::dlerror());
    return plugin;
}

// One of the plug-in's functions, of the type its declaration gives
// (decltype only: the program never links the plug-in's symbols).
template <typename Fn>
Fn Function(const std::unique_ptr<void, PluginClose>& plugin, const char* name) {
    void* function = ::dlsym(plugin.get(), name);
    if (!function) throw Failure(std::string("cannot draw the preview: ") + ::dlerror());
    return reinterpret_cast<Fn>(function);
}

void AppendPng(void* closure, const unsigned char* bytes, unsigned length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(bytes), length);
}

}  // namespace

int RunPreview(const std::string& file, const Output& out) {
    const InputFile input(file);
    ScratchFolder scratch;  // the unique icon is read from here
    std::unique_ptr<CQelTpjFile> card = LoadCard(input);
    std::u16string iconPath, iconTitle;
    card->GetUniqueIcon(iconPath, iconTitle);
    PreviewCard shown;
    shown.colourId = card->m_nColorId;
    if (!iconPath.empty()) shown.iconPath = qel::framework::PathToNative(iconPath);
    shown.data1 = DataText(card->GetData1());
    shown.data2 = DataText(card->GetData2());
    shown.data3 = DataText(card->GetData3());
    shown.footer = FooterOf(*card);

    const auto plugin = OpenPlugin();
    std::string png;
    if (!Function<decltype(&QelTorucaDrawPreview)>(plugin, kDrawPreviewSymbol)(shown, AppendPng, &png))
        throw Failure("cannot draw the preview");
    WriteOutput(out, u"card.png", png);
    return 0;
}

int RunPreviewPage(const std::string& file, const Output& out, int width) {
    if (width < 16 || width > 4096) throw Failure("--width: a width of 16 to 4096 pixels");
    const InputFile input(file);
    ScratchFolder scratch;  // the card's images are read from here
    std::unique_ptr<CQelTpjFile> card = LoadCard(input);
    if (card->m_strHtml.empty()) throw Failure(input.name() + ": the card holds no page");
    PreviewPage page;
    page.html = Utf8(card->m_strHtml);
    page.width = width;
    for (int i = 0; i < card->m_arrImages.GetSize(); ++i) {
        const CQelTpjImgFile& image = card->m_arrImages[i];
        // The first entry of an id is the one a reference means.
        page.images.emplace(Utf8(image.m_strId), qel::framework::PathToNative(image.m_strPath));
    }
    const qel::host::HtmlNesting nesting = qel::host::MeasureHtmlNesting(page.html, kMaxPageDepth);
    if (nesting.depth > kMaxPageDepth || !qel::host::HtmlNestingAcceptable(nesting))
        throw Failure(input.name() + ": the page nests its elements more than " + std::to_string(kMaxPageDepth) +
                      " levels deep or has too many to be drawn");

    const auto plugin = OpenPlugin();
    std::error_code ec;
    const std::uint64_t cardBytes = fs::file_size(input.path(), ec);
    const BoundedPage drawn =
        DrawPageBounded(page, Function<decltype(&QelTorucaDrawPage)>(plugin, kDrawPageSymbol), ec ? 0 : cardBytes);
    if (!drawn.failure.empty()) throw Failure(input.name() + ": " + drawn.failure);
    switch (drawn.drawn) {
        case PageDrawn::ok: break;
        case PageDrawn::tablesTooDeep:
            throw Failure(input.name() + ": the page nests tables more than " + std::to_string(kMaxPageTableDepth) +
                          " deep, too deep to be drawn");
        case PageDrawn::cannotDraw: throw Failure("cannot draw the page");
    }
    if (drawn.laidOut > kMaxPageHeight)
        std::fprintf(stderr, "toruca: warning: %s: the page is %d pixels long; the picture is cut at %d\n",
                     input.name().c_str(), drawn.laidOut, kMaxPageHeight);
    WriteOutput(out, u"page.png", drawn.png);
    return 0;
}

}  // namespace qel::apps
