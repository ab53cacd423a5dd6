// The drawing of `toruca preview`, in a plug-in of its own
// (libtoruca_preview.so, next to the module's libraries) that the program
// opens only when it previews: cairo, pango, fontconfig, gdk-pixbuf and
// litehtml are loaded by that command alone, and every other one starts
// without them.
// The program reads the card and hands over what is drawn, as UTF-8 text;
// the plug-in knows nothing of cards.
#pragma once

#include <cstddef>
#include <map>
#include <string>

namespace qel::apps {

// What a handset shows of a card in its list.
struct PreviewCard {
    int colourId = 0;                 // Color-ID; outside 0..9 drawn grey
    std::string iconPath;             // the unique icon's file (native); empty: none
    std::string data1, data2, data3;  // heading, introduction, third line
    std::string footer;               // "Cat NNNN genre   色 colour"
};

// A card's detail page, as a handset shows it.
struct PreviewPage {
    std::string html;                           // UTF-8
    std::map<std::string, std::string> images;  // content id (after "cid:") to its file (native)
    int width = 240;                            // the screen's width in pixels
};

// Why a page was not drawn.
enum class PageDrawn { ok, tablesTooDeep, cannotDraw };
// Tables nested deeper than this are refused: each level multiplies the
// layout's time (about 2.5 times; 16 levels take seconds), and handset
// pages nest two or three.
inline constexpr int kMaxPageTableDepth = 8;

// The layout engine walks the tree by recursion, several calls deep for
// each level: a page nesting its elements deeper than this (any handset page
// would) is refused before it is drawn, as the import's pre-scan measures
// it (host/html/htmldepth.h).
inline constexpr std::size_t kMaxPageDepth = 512;

// A page drawn longer than this is cut here: no handset scrolls that far,
// and a hostile page cannot ask for a picture of any size.
inline constexpr int kMaxPageHeight = 16384;

// The plug-in's file name (found as qel::host::ProgramLibraryPath finds it) and the
// names of its functions, of types DrawPreviewFn and DrawPageFn.
inline constexpr char kPreviewPlugin[] = "libtoruca_preview.so";
inline constexpr char kDrawPreviewSymbol[] = "QelTorucaDrawPreview";
inline constexpr char kDrawPageSymbol[] = "QelTorucaDrawPage";
// Receives the bytes of the PNG picture as they are made, in order.
using PngBytesFn = void (*)(void* closure, const unsigned char* bytes, unsigned length);
// Draws `card` as a PNG picture, handing its bytes to `write`; false when
// cairo cannot.
using DrawPreviewFn = bool (*)(const PreviewCard& card, PngBytesFn write, void* closure);
// Lays out and draws `page` as a PNG picture as tall as the page (cut at
// kMaxPageHeight), handing its bytes to `write`; `laidOut` is set to the
// page's height as laid out, before any cut.
using DrawPageFn = PageDrawn (*)(const PreviewPage& page, PngBytesFn write, void* closure, int& laidOut);

}  // namespace qel::apps

// The plug-in's functions, looked up by their plain names.
extern "C" bool QelTorucaDrawPreview(const qel::apps::PreviewCard& card, qel::apps::PngBytesFn write, void* closure);
extern "C" qel::apps::PageDrawn QelTorucaDrawPage(const qel::apps::PreviewPage& page, qel::apps::PngBytesFn write,
                                                  void* closure, int& laidOut);
