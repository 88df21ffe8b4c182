#include "mupdf_calls.h"

#include <cstdio>
#include <cstdlib>

extern "C" {
#include <mupdf/pdf.h>
}

namespace pagrent {

namespace {

// --- Allocation under the host's limit ------------------------------------

void* cappedMalloc(void* user, size_t size) {
    const uint64_t limit = *static_cast<const uint64_t*>(user);
    if (limit != 0 && size > limit) return nullptr;
    return std::malloc(size);
}

void* cappedRealloc(void* user, void* old, size_t size) {
    const uint64_t limit = *static_cast<const uint64_t*>(user);
    if (limit != 0 && size > limit) return nullptr;
    return std::realloc(old, size);
}

void plainFree(void*, void* p) { std::free(p); }

// --- Messages ---------------------------------------------------------------

void printMessage(void*, const char* message) { std::fprintf(stderr, "pagrent: %s\n", message); }
void dropMessage(void*, const char*) {}

bool messagesWanted() {
    const char* env = std::getenv("PAGRENT_WARNINGS");
    return env && *env && *env != '0';
}

// Runs `call`, a few MuPDF calls that hold only pointers and numbers, under
// fz_try; `fallback` when MuPDF throws.
template <typename T, typename Call>
T guarded(fz_context* ctx, T fallback, Call call) {
    T value = fallback;
    fz_var(value);
    fz_try(ctx) value = call();
    fz_catch(ctx) value = fallback;
    return value;
}

}  // namespace

fz_context* newContext(const uint64_t* allocationLimit) {
    fz_alloc_context alloc = {const_cast<uint64_t*>(allocationLimit), cappedMalloc, cappedRealloc, plainFree};
    fz_context* ctx = fz_new_context(&alloc, nullptr, FZ_STORE_DEFAULT);
    if (!ctx) return nullptr;
    fz_warning_cb* sink = messagesWanted() ? printMessage : dropMessage;
    fz_set_warning_callback(ctx, sink, nullptr);
    fz_set_error_callback(ctx, sink, nullptr);
    return ctx;
}

void dropContext(fz_context* ctx) { fz_drop_context(ctx); }

fz_document* openPdfFile(fz_context* ctx, const char* path) {
    return guarded<fz_document*>(ctx, nullptr,
                                 [&] { return reinterpret_cast<fz_document*>(pdf_open_document(ctx, path)); });
}

fz_document* openPdfMemory(fz_context* ctx, const unsigned char* data, size_t size) {
    fz_document* doc = nullptr;
    fz_stream* stream = nullptr;
    fz_var(doc);
    fz_var(stream);
    fz_try(ctx) {
        stream = fz_open_memory(ctx, data, size);
        doc = reinterpret_cast<fz_document*>(pdf_open_document_with_stream(ctx, stream));
    }
    fz_always(ctx) fz_drop_stream(ctx, stream);
    fz_catch(ctx) doc = nullptr;
    return doc;
}

void dropDocument(fz_context* ctx, fz_document* doc) {
    fz_try(ctx) fz_drop_document(ctx, doc);
    fz_catch(ctx) {}
}

bool needsPassword(fz_context* ctx, fz_document* doc) {
    return guarded(ctx, 0, [&] { return fz_needs_password(ctx, doc); }) != 0;
}

bool authenticate(fz_context* ctx, fz_document* doc, const char* password) {
    return guarded(ctx, 0, [&] { return fz_authenticate_password(ctx, doc, password); }) != 0;
}

int countPages(fz_context* ctx, fz_document* doc) {
    const int count = guarded(ctx, 0, [&] { return fz_count_pages(ctx, doc); });
    return count < 0 ? 0 : count;
}

int pdfVersion(fz_context* ctx, fz_document* doc) {
    return guarded(ctx, 0, [&] { return pdf_version(ctx, pdf_document_from_fz_document(ctx, doc)); });
}

fz_page* loadPage(fz_context* ctx, fz_document* doc, int index) {
    return guarded<fz_page*>(ctx, nullptr, [&] { return fz_load_page(ctx, doc, index); });
}

void dropPage(fz_context* ctx, fz_page* page) {
    fz_try(ctx) fz_drop_page(ctx, page);
    fz_catch(ctx) {}
}

int pageRotation(fz_context* ctx, fz_page* page) {
    const int stored = guarded(ctx, 0, [&] {
        pdf_page* p = pdf_page_from_fz_page(ctx, page);
        return p ? pdf_to_int(ctx, pdf_dict_get_inheritable(ctx, p->obj, PDF_NAME(Rotate))) : 0;
    });
    // The same snapping MuPDF applies when it draws the page.
    const int positive = stored < 0 ? 360 - (-(stored % 360)) : stored % 360;
    const int snapped = (90 * ((positive + 45) / 90)) % 360;
    return stored < 0 && snapped != 0 ? snapped - 360 : snapped;
}

bool pageSize(fz_context* ctx, fz_page* page, double& width, double& height) {
    const fz_rect bounds = guarded(ctx, fz_empty_rect, [&] { return fz_bound_page(ctx, page); });
    if (fz_is_empty_rect(bounds)) return false;
    // MuPDF bounds the page as it is shown, rotated; undo the swap.
    const bool quarterTurn = pageRotation(ctx, page) % 180 != 0;
    const double w = static_cast<double>(bounds.x1) - bounds.x0;
    const double h = static_cast<double>(bounds.y1) - bounds.y0;
    width = quarterTurn ? h : w;
    height = quarterTurn ? w : h;
    return true;
}

bool drawPage(fz_context* ctx, fz_page* page, unsigned char* pixels, int stride, int width, int height,
              Widgets widgets) {
    fz_pixmap* target = nullptr;
    fz_device* device = nullptr;
    int ok = 1;
    fz_var(ok);
    fz_var(target);
    fz_var(device);
    fz_try(ctx) {
        const fz_rect bounds = fz_bound_page(ctx, page);
        if (fz_is_empty_rect(bounds)) fz_throw(ctx, FZ_ERROR_GENERIC, "page has no area");
        // Page space onto exactly width x height pixels.
        const fz_matrix ctm = fz_concat(fz_translate(-bounds.x0, -bounds.y0),
                                        fz_scale(width / (bounds.x1 - bounds.x0), height / (bounds.y1 - bounds.y0)));
        target = fz_new_pixmap_with_data(ctx, fz_device_bgr(ctx), width, height, nullptr, 1, stride, pixels);
        fz_clear_pixmap_with_value(ctx, target, 255);
        device = fz_new_draw_device(ctx, fz_identity, target);
        fz_run_page_contents(ctx, page, device, ctm, nullptr);
        fz_run_page_annots(ctx, page, device, ctm, nullptr);
        if (widgets == Widgets::Draw) fz_run_page_widgets(ctx, page, device, ctm, nullptr);
        fz_close_device(ctx, device);
    }
    fz_always(ctx) {
        fz_drop_device(ctx, device);
        fz_drop_pixmap(ctx, target);
    }
    fz_catch(ctx) ok = 0;
    return ok != 0;
}

int lookupInfo(fz_context* ctx, fz_document* doc, const char* key, char* buffer, int size) {
    return guarded(ctx, -1, [&] { return fz_lookup_metadata(ctx, doc, key, buffer, size); });
}

fz_buffer* loadXmp(fz_context* ctx, fz_document* doc) {
    return guarded<fz_buffer*>(ctx, nullptr, [&]() -> fz_buffer* {
        pdf_document* pdf = pdf_document_from_fz_document(ctx, doc);
        pdf_obj* stream = pdf ? pdf_dict_getp(ctx, pdf_trailer(ctx, pdf), "Root/Metadata") : nullptr;
        return pdf_is_stream(ctx, stream) ? pdf_load_stream(ctx, stream) : nullptr;
    });
}

}  // namespace pagrent
