#include "platform/gdi/handles.h"

#include <cstdint>
#include <memory>
#include <new>
#include <unordered_map>

#include "platform/gdiplus/metafile_format.h"

namespace orrery::gdi {

namespace {

// Largest global block handed out; a host asking for more gets 0, as the
// platform fails an allocation it cannot satisfy.
constexpr size_t kMaxGlobalBytes = size_t{1} << 30;
// Colour tables hold at most 256 entries (8 bpp).
constexpr size_t kMaxColors = 256;

struct GlobalBlock {
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
    uint32_t locks = 0;
};

// All tables of one thread share one counter, so a handle never names two
// objects at once and a freed number is not handed out again until the
// counter wraps (after about two thousand million handles).
struct Tables {
    uint32_t next = 0x1000;
    std::unordered_map<uint32_t, DibSection> bitmaps;
    std::unordered_map<uint32_t, IconInfo> icons;
    std::unordered_map<uint32_t, GlobalBlock> globals;
    std::unordered_map<uint32_t, std::vector<uint8_t>> metafiles;
    std::unordered_map<uint32_t, std::vector<uint8_t>> enhMetafiles;
    std::unordered_map<uint32_t, std::vector<uint32_t>> palettes;

    bool inUse(uint32_t h) const {
        return bitmaps.count(h) || icons.count(h) || globals.count(h) || metafiles.count(h) ||
               enhMetafiles.count(h) || palettes.count(h);
    }
    uint32_t allocate() {
        do {
            next = next >= 0x7fffffffu ? 1u : next + 1;
        } while (inUse(next));
        return next;
    }
};

Tables& tables() {
    thread_local Tables t;
    return t;
}

bool validSection(const DibSection& s) {
    if (s.width < 1 || s.height == 0 || s.height == INT32_MIN) return false;
    switch (s.bitCount) {
        case 1: case 4: case 8: case 16: case 24: case 32: break;
        default: return false;
    }
    // stride() computes in 32 bits: keep width * bitCount + 31 inside them.
    if (static_cast<uint64_t>(s.width) * static_cast<uint64_t>(s.bitCount) > UINT32_MAX - 31u)
        return false;
    if (s.colors.size() > kMaxColors) return false;
    uint64_t rows = static_cast<uint64_t>(s.height < 0 ? -static_cast<int64_t>(s.height) : s.height);
    return s.bits.size() / s.stride() >= rows;
}

template <class Object>
uint32_t addObject(std::unordered_map<uint32_t, Object>& table, Object object) {
    const uint32_t h = tables().allocate();
    table.emplace(h, std::move(object));
    return h;
}

template <class Object>
const Object* findObject(const std::unordered_map<uint32_t, Object>& table, uint32_t handle) {
    auto it = table.find(handle);
    return it == table.end() ? nullptr : &it->second;
}

}  // namespace

HBITMAP createBitmap(DibSection section) {
    if (!validSection(section)) return 0;
    Tables& t = tables();
    uint32_t h = t.allocate();
    t.bitmaps.emplace(h, std::move(section));
    return h;
}

const DibSection* bitmap(HBITMAP handle) {
    auto& m = tables().bitmaps;
    auto it = m.find(handle);
    return it == m.end() ? nullptr : &it->second;
}

bool deleteBitmap(HBITMAP handle) { return tables().bitmaps.erase(handle) != 0; }

bool takeBitmap(HBITMAP handle, DibSection& out) {
    auto& m = tables().bitmaps;
    auto it = m.find(handle);
    if (it == m.end()) return false;
    out = std::move(it->second);
    m.erase(it);
    return true;
}

HICON createIcon(IconInfo info) {
    if (!validSection(info.color) || !validSection(info.mask)) return 0;
    if (info.mask.bitCount != 1 || info.mask.width != info.color.width) return 0;
    int64_t colourRows = info.color.height < 0 ? -int64_t{info.color.height} : info.color.height;
    int64_t maskRows = info.mask.height < 0 ? -int64_t{info.mask.height} : info.mask.height;
    if (colourRows != maskRows) return 0;
    Tables& t = tables();
    uint32_t h = t.allocate();
    t.icons.emplace(h, std::move(info));
    return h;
}

const IconInfo* icon(HICON handle) {
    auto& m = tables().icons;
    auto it = m.find(handle);
    return it == m.end() ? nullptr : &it->second;
}

bool destroyIcon(HICON handle) { return tables().icons.erase(handle) != 0; }

HGLOBAL globalAlloc(size_t size) {
    if (size > kMaxGlobalBytes) return 0;
    GlobalBlock block;
    if (size > 0) {
        block.bytes.reset(new (std::nothrow) uint8_t[size]());
        if (!block.bytes) return 0;
    }
    block.size = size;
    Tables& t = tables();
    uint32_t h = t.allocate();
    t.globals.emplace(h, std::move(block));
    return h;
}

// A block of size 0 cannot be locked, as on the platform.
uint8_t* globalLock(HGLOBAL handle) {
    auto& m = tables().globals;
    auto it = m.find(handle);
    if (it == m.end() || it->second.size == 0) return nullptr;
    ++it->second.locks;
    return it->second.bytes.get();
}

// True while the block stays locked after this call, as the platform's
// GlobalUnlock reports; false once unlocked, or for a handle that names no block.
bool globalUnlock(HGLOBAL handle) {
    auto& m = tables().globals;
    auto it = m.find(handle);
    if (it == m.end() || it->second.locks == 0) return false;
    return --it->second.locks > 0;
}

size_t globalSize(HGLOBAL handle) {
    auto& m = tables().globals;
    auto it = m.find(handle);
    return it == m.end() ? 0 : it->second.size;
}

bool globalFree(HGLOBAL handle) { return tables().globals.erase(handle) != 0; }

HMETAFILE setMetaFileBits(std::span<const uint8_t> bytes) {
    if (bytes.size() > kMaxGlobalBytes || !gdiplus::metafile::isWmfHeader(bytes, 0)) return 0;
    return addObject(tables().metafiles, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

const std::vector<uint8_t>* metaFileBits(HMETAFILE handle) { return findObject(tables().metafiles, handle); }
bool deleteMetaFile(HMETAFILE handle) { return tables().metafiles.erase(handle) != 0; }

HENHMETAFILE setEnhMetaFileBits(std::span<const uint8_t> bytes) {
    if (bytes.size() > kMaxGlobalBytes || bytes.size() < gdiplus::metafile::kEmfHeaderMin ||
        !gdiplus::metafile::isEmf(bytes))
        return 0;
    return addObject(tables().enhMetafiles, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

const std::vector<uint8_t>* enhMetaFileBits(HENHMETAFILE handle) {
    return findObject(tables().enhMetafiles, handle);
}
bool deleteEnhMetaFile(HENHMETAFILE handle) { return tables().enhMetafiles.erase(handle) != 0; }

HPALETTE createPalette(std::vector<uint32_t> colors) {
    if (colors.empty() || colors.size() > kMaxColors) return 0;
    for (uint32_t& c : colors) c &= 0x00FFFFFFu;
    return addObject(tables().palettes, std::move(colors));
}

const std::vector<uint32_t>* palette(HPALETTE handle) { return findObject(tables().palettes, handle); }
bool deletePalette(HPALETTE handle) { return tables().palettes.erase(handle) != 0; }

size_t liveBitmapCount() { return tables().bitmaps.size(); }
size_t liveIconCount() { return tables().icons.size(); }
size_t liveGlobalCount() { return tables().globals.size(); }
size_t liveMetaFileCount() { return tables().metafiles.size(); }
size_t liveEnhMetaFileCount() { return tables().enhMetafiles.size(); }
size_t livePaletteCount() { return tables().palettes.size(); }

}  // namespace orrery::gdi
