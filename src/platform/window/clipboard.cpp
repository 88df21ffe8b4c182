#include "platform/window/clipboard.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/gdiplus/dib.h"
#include "platform/gdiplus/little_endian.h"

namespace orrery::window {

namespace {

// The bitmap formats, each of which the platform derives from the others.
constexpr uint32_t kBitmapGroup[] = {CF_BITMAP, CF_DIB, CF_DIBV5};

bool inBitmapGroup(uint32_t format) {
    return std::find(std::begin(kBitmapGroup), std::end(kBitmapGroup), format) != std::end(kBitmapGroup);
}

uint32_t globalOfBytes(const std::vector<uint8_t>& bytes) {
    gdi::HGLOBAL block = gdi::globalAlloc(bytes.size());
    if (!block) return 0;
    if (!bytes.empty()) {
        std::memcpy(gdi::globalLock(block), bytes.data(), bytes.size());
        gdi::globalUnlock(block);
    }
    return block;
}

// The picture behind a bitmap-group format's content.
template <class Content>
gdiplus::Status imageOfContent(const Content& content, std::unique_ptr<gdiplus::Image>& out) {
    if (const auto* section = std::get_if<gdi::DibSection>(&content))
        return gdiplus::createBitmapFromSection(*section, out);
    return gdiplus::createBitmapFromPackedDib(std::get<std::vector<uint8_t>>(content), out);
}

void put32(uint8_t* p, int32_t value) { gdiplus::storeLe32(p, static_cast<uint32_t>(value)); }
int32_t get32(const uint8_t* p) { return static_cast<int32_t>(gdiplus::le32(p)); }

}  // namespace

uint32_t handleOfPicture(uint32_t format, const gdiplus::Image& picture) {
    if (format == CF_BITMAP) {
        gdi::HBITMAP bitmap = 0;
        return gdiplus::createHBITMAPFromBitmap(picture, 0, bitmap) == gdiplus::Status::Ok ? bitmap : 0;
    }
    if (format != CF_DIB && format != CF_DIBV5) return 0;
    std::vector<uint8_t> dib;
    auto kind = format == CF_DIBV5 ? gdiplus::DibHeaderKind::V5 : gdiplus::DibHeaderKind::Info;
    if (gdiplus::packDib(picture, kind, dib) != gdiplus::Status::Ok) return 0;
    return globalOfBytes(dib);
}

gdi::HGLOBAL globalOfMetafilePict(const MetafilePict& pict) {
    gdi::HGLOBAL block = gdi::globalAlloc(kMetafilePictSize);
    uint8_t* p = gdi::globalLock(block);
    if (!p) return 0;
    put32(p, pict.mappingMode);
    put32(p + 4, pict.xExt);
    put32(p + 8, pict.yExt);
    put32(p + 12, static_cast<int32_t>(pict.metafile));
    gdi::globalUnlock(block);
    return block;
}

bool readMetafilePict(gdi::HGLOBAL block, MetafilePict& out) {
    if (gdi::globalSize(block) < kMetafilePictSize) return false;
    const uint8_t* p = gdi::globalLock(block);
    if (!p) return false;
    out.mappingMode = get32(p);
    out.xExt = get32(p + 4);
    out.yExt = get32(p + 8);
    out.metafile = static_cast<gdi::HMETAFILE>(get32(p + 12));
    gdi::globalUnlock(block);
    return true;
}

void InProcessClipboard::empty() { entries_.clear(); }

// Takes the handle's object (and for a metafile picture the metafile it
// names) into `out`; nothing is taken unless everything is there.
bool InProcessClipboard::take(uint32_t format, uint32_t handle, Content& out) const {
    switch (format) {
        case CF_BITMAP: {
            gdi::DibSection section;
            if (!gdi::takeBitmap(handle, section)) return false;
            out = std::move(section);
            return true;
        }
        case CF_ENHMETAFILE: {
            const std::vector<uint8_t>* bits = gdi::enhMetaFileBits(handle);
            if (!bits) return false;
            out = EnhancedMetafile{*bits};
            return gdi::deleteEnhMetaFile(handle);
        }
        case CF_PALETTE: {
            const std::vector<uint32_t>* colors = gdi::palette(handle);
            if (!colors) return false;
            out = PaletteColors{*colors};
            return gdi::deletePalette(handle);
        }
        case CF_METAFILEPICT: {
            MetafilePict pict;
            if (!readMetafilePict(handle, pict)) return false;
            const std::vector<uint8_t>* bits = gdi::metaFileBits(pict.metafile);
            if (!bits) return false;
            out = MetafilePicture{pict.mappingMode, pict.xExt, pict.yExt, *bits};
            gdi::deleteMetaFile(pict.metafile);
            return gdi::globalFree(handle);
        }
        default: {
            const uint8_t* bytes = gdi::globalLock(handle);
            std::vector<uint8_t> copy;
            if (bytes) {
                copy.assign(bytes, bytes + gdi::globalSize(handle));
                gdi::globalUnlock(handle);
            }
            // A block of size 0 cannot be locked but is taken all the same.
            if (!gdi::globalFree(handle)) return false;
            out = std::move(copy);
            return true;
        }
    }
}

bool InProcessClipboard::setData(uint32_t format, uint32_t handle) {
    Content content;
    if (!take(format, handle, content)) return false;
    auto it = std::find_if(entries_.begin(), entries_.end(), [&](const auto& e) { return e.first == format; });
    if (it != entries_.end()) entries_.erase(it);
    entries_.emplace_back(format, std::move(content));
    return true;
}

const InProcessClipboard::Content* InProcessClipboard::find(uint32_t format) const {
    for (const auto& [f, content] : entries_)
        if (f == format) return &content;
    return nullptr;
}

uint32_t InProcessClipboard::sourceOf(uint32_t format) const {
    if (format == CF_METAFILEPICT) return find(CF_ENHMETAFILE) ? uint32_t{CF_ENHMETAFILE} : 0u;
    if (!inBitmapGroup(format)) return 0;
    for (const auto& entry : entries_)
        if (inBitmapGroup(entry.first)) return entry.first;
    return 0;
}

bool InProcessClipboard::isFormatAvailable(uint32_t format) const {
    return find(format) != nullptr || sourceOf(format) != 0;
}

std::vector<uint32_t> InProcessClipboard::formats() const {
    std::vector<uint32_t> list;
    for (const auto& entry : entries_) list.push_back(entry.first);
    for (uint32_t format : kBitmapGroup)
        if (!find(format) && sourceOf(format)) list.push_back(format);
    if (!find(CF_METAFILEPICT) && sourceOf(CF_METAFILEPICT)) list.push_back(CF_METAFILEPICT);
    return list;
}

uint32_t InProcessClipboard::getData(uint32_t format) const {
    if (const Content* content = find(format)) {
        if (const auto* section = std::get_if<gdi::DibSection>(content)) return gdi::createBitmap(*section);
        if (const auto* emf = std::get_if<EnhancedMetafile>(content)) return gdi::setEnhMetaFileBits(emf->bits);
        if (const auto* colors = std::get_if<PaletteColors>(content)) return gdi::createPalette(colors->colors);
        if (const auto* picture = std::get_if<MetafilePicture>(content)) {
            const gdi::HMETAFILE metafile = gdi::setMetaFileBits(picture->bits);
            const gdi::HGLOBAL block =
                metafile ? globalOfMetafilePict({picture->mappingMode, picture->xExt, picture->yExt, metafile}) : 0;
            if (!block) gdi::deleteMetaFile(metafile);
            return block;
        }
        return globalOfBytes(std::get<std::vector<uint8_t>>(*content));
    }
    const uint32_t source = sourceOf(format);
    if (!source || !inBitmapGroup(format)) return 0;
    std::unique_ptr<gdiplus::Image> image;
    if (imageOfContent(*find(source), image) != gdiplus::Status::Ok) return 0;
    return handleOfPicture(format, *image);
}

}  // namespace orrery::window
