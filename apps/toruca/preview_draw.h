// The drawing of `toruca preview`, in a plug-in of its own
// (libtoruca_preview.so, next to the module's libraries) that the program
// opens only when it previews: cairo, pango, fontconfig and gdk-pixbuf are
// loaded by that command alone, and every other one starts without them.
// The program reads the card and hands over what is drawn, as UTF-8 text;
// the plug-in knows nothing of cards.
#pragma once

#include <string>

namespace qel::apps {

// What a handset shows of a card in its list.
struct PreviewCard {
    int colourId = 0;                 // Color-ID; outside 0..9 drawn grey
    std::string iconPath;             // the unique icon's file (native); empty: none
    std::string data1, data2, data3;  // heading, introduction, third line
    std::string footer;               // "Cat NNNN genre   色 colour"
};

// The plug-in's file name (found through the program's RUNPATH) and the name
// of its one function, of type DrawPreviewFn.
inline constexpr char kPreviewPlugin[] = "libtoruca_preview.so";
inline constexpr char kDrawPreviewSymbol[] = "QelTorucaDrawPreview";
// Receives the bytes of the PNG picture as they are made, in order.
using PngBytesFn = void (*)(void* closure, const unsigned char* bytes, unsigned length);
// Draws `card` as a PNG picture, handing its bytes to `write`; false when
// cairo cannot.
using DrawPreviewFn = bool (*)(const PreviewCard& card, PngBytesFn write, void* closure);

}  // namespace qel::apps

// The plug-in's function (a DrawPreviewFn), looked up by its plain name.
extern "C" bool QelTorucaDrawPreview(const qel::apps::PreviewCard& card, qel::apps::PngBytesFn write, void* closure);
