// The plug-in's calls into MuPDF. Each function runs its MuPDF calls inside
// one fz_try/fz_catch and holds nothing with a destructor while it does
// (plain pointers and numbers), so that an error unwinding with longjmp skips
// no destructor.
// Failures come back as null, 0 or false; MuPDF's message goes to standard
// error only when PAGRENT_WARNINGS is set.
#pragma once
#include <cstddef>
#include <cstdint>

extern "C" {
#include <mupdf/fitz.h>
}

namespace pagrent {

// A new MuPDF context whose allocations are capped by `allocationLimit`
// (read at each allocation), or null.
fz_context* newContext(const uint64_t* allocationLimit);
void dropContext(fz_context* ctx);

// Opened documents are PDF only; null when MuPDF cannot open or repair it.
fz_document* openPdfFile(fz_context* ctx, const char* path);
fz_document* openPdfMemory(fz_context* ctx, const unsigned char* data, size_t size);
void dropDocument(fz_context* ctx, fz_document* doc);

bool needsPassword(fz_context* ctx, fz_document* doc);
bool authenticate(fz_context* ctx, fz_document* doc, const char* password);
int countPages(fz_context* ctx, fz_document* doc);
// PDF version times ten (17 for 1.7), 0 when unknown.
int pdfVersion(fz_context* ctx, fz_document* doc);

// `index` from 0; null when the page cannot be loaded.
fz_page* loadPage(fz_context* ctx, fz_document* doc, int index);
void dropPage(fz_context* ctx, fz_page* page);
// The page's inherited /Rotate as MuPDF applies it (snapped to a multiple of
// 90), keeping the sign it was written with: -270, -180, -90, 0, 90, 180, 270.
int pageRotation(fz_context* ctx, fz_page* page);
// The page's crop box before rotation, in points; false when unreadable.
bool pageSize(fz_context* ctx, fz_page* page, double& width, double& height);

// Draws the rotated page so that it fills the width x height premultiplied
// BGRA pixels exactly, on white, with its annotations and, when asked, its
// form fields.
enum class Widgets { Skip, Draw };
bool drawPage(fz_context* ctx, fz_page* page, unsigned char* pixels, int stride, int width, int height,
              Widgets widgets);

// An Info text ("info:Title", ...) as UTF-8: the bytes needed with the
// terminator, or -1 when absent. Writes at most `size` bytes into `buffer`.
int lookupInfo(fz_context* ctx, fz_document* doc, const char* key, char* buffer, int size);
// The document's XMP packet, or null; the caller drops the buffer.
fz_buffer* loadXmp(fz_context* ctx, fz_document* doc);

}  // namespace pagrent
