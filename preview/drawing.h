// What both pictures of `toruca preview` (the list entry and the page) draw
// with: owners of cairo and GLib objects, a gdk-pixbuf image as a cairo
// surface, and a surface handed over as PNG bytes.
#pragma once

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include "preview/preview_draw.h"

namespace qel::apps {

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
