#include "platform/window/clipboard.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/gdiplus/dib.h"

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
gdiplus::Status imageOfContent(const std::variant<gdi::DibSection, std::vector<uint8_t>>& content,
                               std::unique_ptr<gdiplus::Image>& out) {
    if (const auto* section = std::get_if<gdi::DibSection>(&content))
        return gdiplus::createBitmapFromSection(*section, out);
    return gdiplus::createBitmapFromPackedDib(std::get<std::vector<uint8_t>>(content), out);
}

// A new handle of `format` made from the picture of another bitmap format.
uint32_t deriveBitmapFormat(uint32_t format, const gdiplus::Image& image) {
    if (format == CF_BITMAP) {
        gdi::HBITMAP bitmap = 0;
        return gdiplus::createHBITMAPFromBitmap(image, 0, bitmap) == gdiplus::Status::Ok ? bitmap : 0;
    }
    std::vector<uint8_t> dib;
    auto kind = format == CF_DIBV5 ? gdiplus::DibHeaderKind::V5 : gdiplus::DibHeaderKind::Info;
    if (gdiplus::packDib(image, kind, dib) != gdiplus::Status::Ok) return 0;
    return globalOfBytes(dib);
}

}  // namespace

void Clipboard::empty() { entries_.clear(); }

bool Clipboard::setData(uint32_t format, uint32_t handle) {
    Content content;
    if (format == CF_BITMAP) {
        gdi::DibSection section;
        if (!gdi::takeBitmap(handle, section)) return false;
        content = std::move(section);
    } else {
        const uint8_t* bytes = gdi::globalLock(handle);
        std::vector<uint8_t> copy;
        if (bytes) {
            copy.assign(bytes, bytes + gdi::globalSize(handle));
            gdi::globalUnlock(handle);
        }
        // A block of size 0 cannot be locked but is taken all the same.
        if (!gdi::globalFree(handle)) return false;
        content = std::move(copy);
    }
    auto it = std::find_if(entries_.begin(), entries_.end(), [&](const auto& e) { return e.first == format; });
    if (it != entries_.end()) entries_.erase(it);
    entries_.emplace_back(format, std::move(content));
    return true;
}

const Clipboard::Content* Clipboard::find(uint32_t format) const {
    for (const auto& [f, content] : entries_)
        if (f == format) return &content;
    return nullptr;
}

uint32_t Clipboard::sourceOf(uint32_t format) const {
    if (!inBitmapGroup(format)) return 0;
    for (const auto& entry : entries_)
        if (inBitmapGroup(entry.first)) return entry.first;
    return 0;
}

bool Clipboard::isFormatAvailable(uint32_t format) const {
    return find(format) != nullptr || sourceOf(format) != 0;
}

std::vector<uint32_t> Clipboard::formats() const {
    std::vector<uint32_t> list;
    for (const auto& entry : entries_) list.push_back(entry.first);
    for (uint32_t format : kBitmapGroup)
        if (!find(format) && sourceOf(format)) list.push_back(format);
    return list;
}

uint32_t Clipboard::getData(uint32_t format) const {
    if (const Content* content = find(format)) {
        if (const auto* section = std::get_if<gdi::DibSection>(content)) return gdi::createBitmap(*section);
        return globalOfBytes(std::get<std::vector<uint8_t>>(*content));
    }
    uint32_t source = sourceOf(format);
    if (!source) return 0;
    std::unique_ptr<gdiplus::Image> image;
    if (imageOfContent(*find(source), image) != gdiplus::Status::Ok) return 0;
    return deriveBitmapFormat(format, *image);
}

}  // namespace orrery::window
