// The exports of libpagrent. A document is a MuPDF context of its own with
// the document and its selected page; the table below names it by a handle
// that is never given out twice.
#include <sys/stat.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "documents.h"
#include "mupdf_calls.h"

namespace pagrent {

namespace {

// Without a host's limit no single allocation may exceed 1 GiB.
constexpr uint64_t kDefaultAllocationLimit = uint64_t{1} << 30;

struct Document {
    fz_context* ctx = nullptr;
    fz_document* doc = nullptr;
    fz_page* page = nullptr;  // the selected page, or null
    std::string text;         // the last text handed out

    Document() = default;
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
    ~Document() {
        if (page) dropPage(ctx, page);
        if (doc) dropDocument(ctx, doc);
        if (ctx) dropContext(ctx);
    }
};

struct State {
    std::mutex lock;
    std::map<int32_t, std::unique_ptr<Document>> documents;
    int32_t lastHandle = 0;
    PagrentHost host{};
    bool hostBound = false;
    uint64_t allocationLimit = kDefaultAllocationLimit;
};

State& state() {
    static State s;
    return s;
}

Document* find(int32_t handle) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const auto it = s.documents.find(handle);
    return it == s.documents.end() ? nullptr : it->second.get();
}

// Takes an opened document into the table. Handles run up from 1; once the
// 32-bit range is used up no more documents open.
int32_t adopt(std::unique_ptr<Document> document) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.lastHandle == INT32_MAX) return 0;
    const int32_t handle = ++s.lastHandle;
    s.documents.emplace(handle, std::move(document));
    return handle;
}

std::unique_ptr<Document> newDocument() {
    auto document = std::make_unique<Document>();
    document->ctx = newContext(&state().allocationLimit);
    if (!document->ctx) return nullptr;
    return document;
}

// UTF-8 text in PDFDocEncoding, the encoding of passwords of the older
// security handlers; false when a character has no code there.
bool toPdfDocEncoding(const char* utf8, std::string& out) {
    out.clear();
    const auto* p = reinterpret_cast<const unsigned char*>(utf8);
    while (*p) {
        int rune = 0;
        const int length = fz_chartorune(&rune, reinterpret_cast<const char*>(p));
        p += length;
        int code = -1;
        for (int c = 0; c < 256 && code < 0; ++c)
            if (fz_unicode_from_pdf_doc_encoding[c] == rune && c != 0) code = c;
        if (code < 0) return false;
        out += static_cast<char>(code);
    }
    return true;
}

bool isAscii(const char* text) {
    for (const char* p = text; *p; ++p)
        if (static_cast<unsigned char>(*p) >= 0x80) return false;
    return true;
}

// The text of an Info entry, kept on the document; null when absent.
const char* infoText(Document& d, const char* key) {
    const int needed = lookupInfo(d.ctx, d.doc, key, nullptr, 0);
    if (needed <= 0) return nullptr;
    d.text.assign(static_cast<size_t>(needed), '\0');
    if (lookupInfo(d.ctx, d.doc, key, d.text.data(), needed) != needed) return nullptr;
    d.text.resize(std::strlen(d.text.c_str()));
    return d.text.c_str();
}

const char* versionText(Document& d) {
    const int version = pdfVersion(d.ctx, d.doc);
    if (version <= 0) return nullptr;
    d.text = std::to_string(version / 10) + "." + std::to_string(version % 10);
    return d.text.c_str();
}

bool isRegularFile(const char* path) {
    struct stat info {};
    return ::stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

int32_t openMemory(const unsigned char* data, size_t size) {
    std::unique_ptr<Document> document = newDocument();
    if (!document) return 0;
    document->doc = openPdfMemory(document->ctx, data, size);
    if (!document->doc) return 0;
    return adopt(std::move(document));
}

}  // namespace pagrent

using namespace pagrent;

extern "C" {

int32_t PAGRENT_BindHost(const PagrentHost* host) {
    if (!host || host->size != sizeof(PagrentHost) || !host->createBitmap || !host->disposeBitmap) return 0;
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.host = *host;
    s.hostBound = true;
    s.allocationLimit = host->allocationLimit != 0 ? host->allocationLimit : kDefaultAllocationLimit;
    return 1;
}

int32_t PAGRENT_LoadFromFileW(const char* path) {
    if (!path || !isRegularFile(path)) return 0;
    std::unique_ptr<Document> document = newDocument();
    if (!document) return 0;
    document->doc = openPdfFile(document->ctx, path);
    if (!document->doc) return 0;
    return adopt(std::move(document));
}

int32_t PAGRENT_HasEncryption(int32_t handle) {
    Document* d = find(handle);
    return d && needsPassword(d->ctx, d->doc) ? 1 : 0;
}

int32_t PAGRENT_SetPasswordW(int32_t handle, const char* password) {
    Document* d = find(handle);
    if (!d || !password) return 0;
    if (authenticate(d->ctx, d->doc, password)) return 1;
    // Older security handlers compare PDFDocEncoding bytes.
    std::string encoded;
    if (!isAscii(password) && toPdfDocEncoding(password, encoded) && authenticate(d->ctx, d->doc, encoded.c_str()))
        return 1;
    return 0;
}

int32_t PAGRENT_PageCount(int32_t handle) {
    Document* d = find(handle);
    return d ? countPages(d->ctx, d->doc) : 0;
}

int32_t PAGRENT_SelectPage(int32_t handle, int32_t page) {
    Document* d = find(handle);
    if (!d) return 0;
    if (d->page) {
        dropPage(d->ctx, d->page);
        d->page = nullptr;
    }
    if (page < 1 || page > countPages(d->ctx, d->doc)) return 0;
    d->page = loadPage(d->ctx, d->doc, page - 1);
    return d->page ? 1 : 0;
}

double PAGRENT_PageWidth(int32_t handle) {
    Document* d = find(handle);
    double width = 0, height = 0;
    if (!d || !d->page || !pageSize(d->ctx, d->page, width, height)) return 0.0;
    return width;
}

double PAGRENT_PageHeight(int32_t handle) {
    Document* d = find(handle);
    double width = 0, height = 0;
    if (!d || !d->page || !pageSize(d->ctx, d->page, width, height)) return 0.0;
    return height;
}

int32_t PAGRENT_PageRotation(int32_t handle) {
    Document* d = find(handle);
    return d && d->page ? pageRotation(d->ctx, d->page) : 0;
}

int32_t PAGRENT_Rasterize(int32_t handle, double /*dpi*/, int32_t* output, int32_t width, int32_t height,
                          int32_t /*reserved*/, int16_t drawFormFields) {
    if (output) *output = 0;
    Document* d = find(handle);
    State& s = state();
    if (!output || !d || !d->page || !s.hostBound || width < 1 || height < 1) return 0;
    const uint64_t bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4;
    if (bytes > s.allocationLimit || width > INT32_MAX / 4) return 0;
    uint8_t* pixels = nullptr;
    int32_t stride = 0;
    const int32_t bitmap = s.host.createBitmap(s.host.context, width, height, &pixels, &stride);
    if (bitmap == 0) return 0;
    if (!pixels || stride < width * 4 ||
        !drawPage(d->ctx, d->page, pixels, stride, width, height,
                  drawFormFields == -1 ? Widgets::Draw : Widgets::Skip)) {
        s.host.disposeBitmap(s.host.context, bitmap);
        return 0;
    }
    *output = bitmap;
    return 1;
}

const char* PAGRENT_GetDescriptionW(int32_t handle, int32_t field) {
    static const char* const kInfoKeys[] = {nullptr,        "info:Author",   "info:Title",
                                            "info:Subject", "info:Keywords", "info:Creator",
                                            "info:Producer", "info:CreationDate", "info:ModDate"};
    Document* d = find(handle);
    if (!d || field < 0 || field > PAGRENT_FIELD_MODIFICATION_DATE) return nullptr;
    if (field == PAGRENT_FIELD_VERSION) return versionText(*d);
    return infoText(*d, kInfoKeys[field]);
}

const char* PAGRENT_GetMetadataW(int32_t handle) {
    Document* d = find(handle);
    if (!d) return nullptr;
    fz_buffer* xmp = loadXmp(d->ctx, d->doc);
    if (!xmp) return nullptr;
    unsigned char* data = nullptr;
    const size_t size = fz_buffer_storage(d->ctx, xmp, &data);
    d->text.assign(reinterpret_cast<const char*>(data), size);
    fz_drop_buffer(d->ctx, xmp);
    // Text ends at its first NUL, as the callers read it.
    d->text.resize(std::strlen(d->text.c_str()));
    return d->text.c_str();
}

void PAGRENT_Close(int32_t handle) {
    std::unique_ptr<Document> closing;
    {
        State& s = state();
        std::lock_guard<std::mutex> guard(s.lock);
        const auto it = s.documents.find(handle);
        if (it == s.documents.end()) return;
        closing = std::move(it->second);
        s.documents.erase(it);
    }
}

}  // extern "C"
