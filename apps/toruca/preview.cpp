// toruca preview: a picture of the card as a handset lists it. The card is
// read here; the drawing is in a plug-in (apps/toruca/preview_draw.h) opened
// only for this command.
#include <dlfcn.h>

#include <cstdio>
#include <memory>
#include <type_traits>

#include "apps/toruca/card.h"
#include "apps/toruca/commands.h"
#include "apps/toruca/preview_draw.h"
#include "framework/codepage.h"
#include "toruca/category.h"
#include "toruca/torucautil.h"

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

// The drawing function of the plug-in, which stays open while `plugin` does.
DrawPreviewFn OpenDrawing(std::unique_ptr<void, PluginClose>& plugin) {
    plugin.reset(::dlopen(kPreviewPlugin, RTLD_NOW | RTLD_LOCAL));
    if (!plugin) throw Failure(std::string("cannot draw the preview: ") + ::dlerror());
    void* draw = ::dlsym(plugin.get(), kDrawPreviewSymbol);
    if (!draw) throw Failure(std::string("cannot draw the preview: ") + ::dlerror());
    static_assert(std::is_same_v<DrawPreviewFn, decltype(&QelTorucaDrawPreview)>);
    return reinterpret_cast<DrawPreviewFn>(draw);
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

    std::unique_ptr<void, PluginClose> plugin;
    std::string png;
    const PngBytesFn append = [](void* closure, const unsigned char* bytes, unsigned length) {
        static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(bytes), length);
    };
    if (!OpenDrawing(plugin)(shown, append, &png)) throw Failure("cannot draw the preview");
    WriteOutput(out, u"card.png", png);
    return 0;
}

}  // namespace qel::apps
