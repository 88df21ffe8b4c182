/* libpagrent: the PDF plug-in of OrreryCtl, for the control's binding and for
 * hosts that drive an open document themselves (the control's GetnativePDF
 * gives its handle).
 *
 * Every function has C linkage. Handles and counts are 32-bit integers;
 * document handles are positive and never reused within a process, and a
 * function given an unknown handle answers 0, 0.0 or null. Strings in and out
 * are NUL-terminated UTF-8 (the "W" in the names is kept for the callers that
 * know them by those names). A returned string belongs to the plug-in and
 * stays valid until the next text call on the same handle or until the
 * document is closed.
 *
 * Order of calls: PAGRENT_BindHost once the library is loaded;
 * PAGRENT_LoadFromFileW; PAGRENT_HasEncryption and, when it says so,
 * PAGRENT_SetPasswordW; PAGRENT_PageCount; for each page PAGRENT_SelectPage
 * and then the page queries and PAGRENT_Rasterize; the text queries at any
 * time while open; PAGRENT_Close once.
 *
 * Page images are made by the host: PAGRENT_BindHost hands the plug-in a
 * table that creates and disposes 32-bit premultiplied BGRA bitmaps of the
 * host's imaging layer, named by 32-bit handles. PAGRENT_Rasterize draws
 * into such a bitmap and returns its handle; from then on the host owns it.
 */
#ifndef ORRERY_PAGRENT_H
#define ORRERY_PAGRENT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Creates a width x height bitmap, premultiplied BGRA (blue in the lowest
 * byte of each pixel), and returns its handle (0 when it cannot be made) with
 * the address of its first row and the distance in bytes between rows. */
typedef int32_t (*PagrentCreateBitmap)(void* context, int32_t width, int32_t height, uint8_t** pixels,
                                       int32_t* stride);
/* Disposes a bitmap the plug-in created and will not hand out. */
typedef void (*PagrentDisposeBitmap)(void* context, int32_t bitmap);

typedef struct PagrentHost {
    uint32_t size; /* sizeof(PagrentHost) */
    void* context; /* passed back to the functions below */
    PagrentCreateBitmap createBitmap;
    PagrentDisposeBitmap disposeBitmap;
    /* No single allocation of the plug-in, page images included, may
     * exceed this many bytes; 0 keeps the plug-in's own limit. */
    uint64_t allocationLimit;
} PagrentHost;

/* Description fields of PAGRENT_GetDescriptionW. */
enum PagrentField {
    PAGRENT_FIELD_VERSION = 0, /* "1.7" */
    PAGRENT_FIELD_AUTHOR = 1,
    PAGRENT_FIELD_TITLE = 2,
    PAGRENT_FIELD_SUBJECT = 3,
    PAGRENT_FIELD_KEYWORDS = 4,
    PAGRENT_FIELD_CREATOR = 5,
    PAGRENT_FIELD_PRODUCER = 6,
    PAGRENT_FIELD_CREATION_DATE = 7,    /* as stored: "D:20240102030405Z" */
    PAGRENT_FIELD_MODIFICATION_DATE = 8 /* as stored */
};

/* 1 when the table was taken; 0 for a null table or one of another size.
 * Without a bound host PAGRENT_Rasterize makes no images. */
int32_t PAGRENT_BindHost(const PagrentHost* host);

/* A handle of the PDF document in the regular file `path`; 0 when it cannot
 * be opened (missing, not a regular file, not a PDF, damaged past repair). */
int32_t PAGRENT_LoadFromFileW(const char* path);
/* 1 while the document needs a password before its pages can be read. */
int32_t PAGRENT_HasEncryption(int32_t document);
/* 1 when `password` (user or owner) opens the document. */
int32_t PAGRENT_SetPasswordW(int32_t document, const char* password);
int32_t PAGRENT_PageCount(int32_t document);
/* Makes page `page` (from 1) the one the page queries and PAGRENT_Rasterize
 * use: 1 when it could be loaded, 0 otherwise. */
int32_t PAGRENT_SelectPage(int32_t document, int32_t page);
/* The selected page's crop box before rotation, in points. */
double PAGRENT_PageWidth(int32_t document);
double PAGRENT_PageHeight(int32_t document);
/* The page's inherited /Rotate in degrees (between -270 and 270). */
int32_t PAGRENT_PageRotation(int32_t document);
/* Draws the selected page, rotated, onto a new host bitmap of exactly
 * width x height pixels (white paper, annotations drawn; form fields only
 * when drawFormFields is -1) and stores its handle in *output. 1 on success;
 * 0, with *output 0, when there is no such page, no bound host, the image
 * would exceed the allocation limit, or drawing failed. `dpi` and the
 * argument that is always 0 are accepted for the callers that pass them; the
 * size alone decides the scale. */
int32_t PAGRENT_Rasterize(int32_t document, double dpi, int32_t* output, int32_t width, int32_t height,
                          int32_t reserved, int16_t drawFormFields);
/* A field of the document's Info dictionary (see PagrentField) as UTF-8, or
 * null when the document has none. */
const char* PAGRENT_GetDescriptionW(int32_t document, int32_t field);
/* The document's XMP metadata packet, or null. */
const char* PAGRENT_GetMetadataW(int32_t document);
void PAGRENT_Close(int32_t document);

#ifdef __cplusplus
}
#endif

#endif
