// What both pictures of `toruca preview` (the list entry and the page) draw
// with: owners of cairo and GLib objects, a gdk-pixbuf image as a cairo
// surface, and a surface handed over as PNG bytes.
#pragma once

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdint>

#include "preview/preview_draw.h"

namespace qel::apps {

// The most pixels an image may have to be decoded: 4096 x 4096 (64 MiB as
// decoded). Each picture reads an image's size from its header first and
// decodes none larger.
inline constexpr std::uint64_t kImagePixelBudget = std::uint64_t{4096} * 4096;
// True when the image file `path` is one gdk-pixbuf reads and its header
// gives a size within kImagePixelBudget; its size in `width` x `height`.
bool ImageWithinBudget(const char* path, int& width, int& height);

struct SurfaceFree {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoFree {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct ObjectFree {
    void operator()(void* o) const { g_object_unref(o); }
};

// A copy of `pixbuf` as a cairo image surface (premultiplied ARGB); null
// when it cannot be made.
cairo_surface_t* SurfaceOfPixbuf(GdkPixbuf* pixbuf);

// Hands `surface` as a PNG picture to `write`; false when cairo cannot.
bool WritePng(cairo_surface_t* surface, PngBytesFn write, void* closure);

}  // namespace qel::apps
