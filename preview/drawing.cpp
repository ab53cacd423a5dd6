#include "preview/drawing.h"

#include <cstdint>
#include <memory>

namespace qel::apps {

namespace {

struct PngReceiver {
    PngBytesFn write;
    void* closure;
};

cairo_status_t HandPng(void* receiver, const unsigned char* data, unsigned int length) {
    const auto* r = static_cast<const PngReceiver*>(receiver);
    r->write(r->closure, data, length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

bool ImageWithinBudget(const char* path, int& width, int& height) {
    width = height = 0;
    return gdk_pixbuf_get_file_info(path, &width, &height) && width > 0 && height > 0 &&
           static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) <= kImagePixelBudget;
}

cairo_surface_t* SurfaceOfPixbuf(GdkPixbuf* pixbuf) {
    std::unique_ptr<GdkPixbuf, ObjectFree> rgba(gdk_pixbuf_add_alpha(pixbuf, FALSE, 0, 0, 0));
    if (!rgba) return nullptr;
    const int w = gdk_pixbuf_get_width(rgba.get()), h = gdk_pixbuf_get_height(rgba.get());
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    // Cairo refuses a surface it cannot make (too wide, no memory) with a
    // surface in an error state, whose data is null.
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS || !cairo_image_surface_get_data(surface)) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_surface_flush(surface);
    const unsigned char* src = gdk_pixbuf_read_pixels(rgba.get());
    const int srcStride = gdk_pixbuf_get_rowstride(rgba.get());
    unsigned char* dst = cairo_image_surface_get_data(surface);
    const int dstStride = cairo_image_surface_get_stride(surface);
    for (int row = 0; row < h; ++row) {
        for (int col = 0; col < w; ++col) {
            const unsigned char* p = src + row * srcStride + col * 4;
            const unsigned a = p[3];
            // Cairo wants premultiplied native-endian ARGB.
            const std::uint32_t pixel =
                (a << 24) | ((p[0] * a / 255) << 16) | ((p[1] * a / 255) << 8) | (p[2] * a / 255);
            *reinterpret_cast<std::uint32_t*>(dst + row * dstStride + col * 4) = pixel;
        }
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

bool WritePng(cairo_surface_t* surface, PngBytesFn write, void* closure) {
    PngReceiver receiver{write, closure};
    return cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS &&
           cairo_surface_write_to_png_stream(surface, HandPng, &receiver) == CAIRO_STATUS_SUCCESS;
}

}  // namespace qel::apps
