#include "imaging/worker_wire.h"

#include <unistd.h>

#include <cstring>

#include "platform/gdiplus/image.h"
#include "platform/gdiplus/pixel_data.h"
#include "platform/kernel/memory_file.h"

namespace orrery::imaging::wire {

namespace {

constexpr uint32_t kRequestMagic = 0x4F525131;  // "ORQ1"
constexpr uint32_t kReplyMagic = 0x4F525031;    // "ORP1"
constexpr uint32_t kPictureMagic = 0x4F504931;  // "OPI1"
// Bounds on what a picture description may hold: far above any real file's
// metadata, far below what could exhaust the host.
constexpr uint32_t kMaxItems = 1 << 16;
constexpr uint32_t kMaxText = 4096;
constexpr uint32_t kMaxPaletteEntries = 256;

class Writer {
public:
    void u32(uint32_t v) { raw(&v, sizeof v); }
    void i32(int32_t v) { raw(&v, sizeof v); }
    void u64(uint64_t v) { raw(&v, sizeof v); }
    void f32(float v) { raw(&v, sizeof v); }
    void bytes(const void* p, size_t n) {
        u32(static_cast<uint32_t>(n));
        raw(p, n);
    }
    void text(const std::string& s) { bytes(s.data(), s.size()); }
    std::vector<uint8_t>& out() { return out_; }

private:
    void raw(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        out_.insert(out_.end(), b, b + n);
    }
    std::vector<uint8_t> out_;
};

// Reads fields in order; any read past the end fails this and every later
// read.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool ok() const { return ok_; }
    bool atEnd() const { return ok_ && pos_ == size_; }
    uint32_t u32() { return scalar<uint32_t>(); }
    int32_t i32() { return scalar<int32_t>(); }
    uint64_t u64() { return scalar<uint64_t>(); }
    float f32() { return scalar<float>(); }
    // A length-prefixed byte string of at most `limit` bytes.
    bool bytes(std::vector<uint8_t>& out, uint32_t limit) {
        const uint32_t n = u32();
        if (!ok_ || n > limit || n > size_ - pos_) return ok_ = false;
        out.assign(data_ + pos_, data_ + pos_ + n);
        pos_ += n;
        return true;
    }
    bool text(std::string& out, uint32_t limit) {
        std::vector<uint8_t> b;
        if (!bytes(b, limit)) return false;
        out.assign(b.begin(), b.end());
        return true;
    }
    size_t position() const { return pos_; }

private:
    template <typename T>
    T scalar() {
        T v{};
        if (!ok_ || sizeof(T) > size_ - pos_) {
            ok_ = false;
            return v;
        }
        std::memcpy(&v, data_ + pos_, sizeof(T));
        pos_ += sizeof(T);
        return v;
    }
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

bool knownOp(uint32_t op) { return op >= uint32_t(Op::Version) && op <= uint32_t(Op::Save); }
bool knownAnswer(uint32_t a) { return a <= uint32_t(Answer::Version); }

size_t pageSize() {
    const long page = ::sysconf(_SC_PAGESIZE);
    return page > 0 ? static_cast<size_t>(page) : 4096;
}

}  // namespace

std::vector<uint8_t> encode(const Request& r) {
    Writer w;
    w.u32(kRequestMagic);
    w.u32(static_cast<uint32_t>(r.op));
    w.i32(r.format);
    w.i32(r.index);
    w.u32(r.container);
    w.u32(r.useIcm ? 1 : 0);
    w.u64(r.allocationLimit);
    w.text(r.path);
    return std::move(w.out());
}

bool decode(std::span<const uint8_t> bytes, Request& r) {
    Reader in(bytes.data(), bytes.size());
    if (in.u32() != kRequestMagic) return false;
    const uint32_t op = in.u32();
    r.format = in.i32();
    r.index = in.i32();
    r.container = in.u32();
    const uint32_t icm = in.u32();
    r.allocationLimit = in.u64();
    if (!in.text(r.path, static_cast<uint32_t>(kMaxMessageBytes)) || !in.atEnd() || !knownOp(op) || icm > 1)
        return false;
    r.op = static_cast<Op>(op);
    r.useIcm = icm == 1;
    return true;
}

std::vector<uint8_t> encode(const Reply& r) {
    Writer w;
    w.u32(kReplyMagic);
    w.u32(static_cast<uint32_t>(r.answer));
    w.i32(r.status);
    w.i32(r.value);
    w.u32(r.container);
    w.u64(r.pixels);
    w.text(r.text);
    return std::move(w.out());
}

bool decode(std::span<const uint8_t> bytes, Reply& r) {
    Reader in(bytes.data(), bytes.size());
    if (in.u32() != kReplyMagic) return false;
    const uint32_t answer = in.u32();
    r.status = in.i32();
    r.value = in.i32();
    r.container = in.u32();
    r.pixels = in.u64();
    if (!in.text(r.text, kMaxText) || !in.atEnd() || !knownAnswer(answer)) return false;
    r.answer = static_cast<Answer>(answer);
    return true;
}

bool writePicture(const gdiplus::Image& image, const std::vector<PluginMetadataTag>& iptc, bool modified,
                  const std::string& formatName, kernel::UniqueFd& out) {
    const gdiplus::PixelData& px = image.pixels();
    if (px.empty()) return false;
    const size_t rowBytes = gdiplus::strideFor(px.format(), px.width());
    Writer w;
    w.u32(kPictureMagic);
    w.i32(px.width());
    w.i32(px.height());
    w.u32(static_cast<uint32_t>(px.format()));
    w.u64(rowBytes);
    w.f32(image.horizontalResolution());
    w.f32(image.verticalResolution());
    w.u32(image.palette().flags);
    w.u32(static_cast<uint32_t>(image.palette().entries.size()));
    for (gdiplus::ARGB c : image.palette().entries) w.u32(c);
    w.u32(static_cast<uint32_t>(image.properties().size()));
    for (const gdiplus::PropertyItem& item : image.properties()) {
        w.u32(item.id);
        w.u32(item.type);
        w.bytes(item.value.data(), item.value.size());
    }
    w.u32(static_cast<uint32_t>(iptc.size()));
    for (const PluginMetadataTag& t : iptc) {
        w.i32(t.id);
        w.u32(t.length);
        w.u32(t.type);
        w.u32(t.count);
        w.bytes(t.value.data(), t.value.size());
    }
    w.u32(modified ? 1 : 0);
    w.text(formatName);
    const std::vector<uint8_t>& head = w.out();
    const size_t page = pageSize();
    const size_t offset = (head.size() + sizeof(uint64_t) + page - 1) / page * page;
    kernel::MemoryFileWriter file;
    const uint64_t offset64 = offset;
    if (!file.create(offset + rowBytes * static_cast<size_t>(px.height())) ||
        !file.write(0, head.data(), head.size()) || !file.write(head.size(), &offset64, sizeof offset64) ||
        !file.writeRows(offset, px.row(0), px.stride(), rowBytes, px.height()))
        return false;
    out = file.seal();
    return static_cast<bool>(out);
}

bool readPicture(const uint8_t* data, size_t size, Picture& out) {
    Reader in(data, size);
    if (in.u32() != kPictureMagic) return false;
    out.width = in.i32();
    out.height = in.i32();
    out.format = static_cast<gdiplus::PixelFormat>(in.u32());
    const uint64_t stride = in.u64();
    out.dpiX = in.f32();
    out.dpiY = in.f32();
    out.palette.flags = in.u32();
    const uint32_t colors = in.u32();
    if (!in.ok() || colors > kMaxPaletteEntries) return false;
    out.palette.entries.resize(colors);
    for (gdiplus::ARGB& c : out.palette.entries) c = in.u32();
    const uint32_t properties = in.u32();
    if (!in.ok() || properties > kMaxItems) return false;
    out.properties.resize(properties);
    for (gdiplus::PropertyItem& item : out.properties) {
        item.id = in.u32();
        const uint32_t type = in.u32();
        if (type > 0xFFFF || !in.bytes(item.value, static_cast<uint32_t>(size))) return false;
        item.type = static_cast<uint16_t>(type);
    }
    const uint32_t tags = in.u32();
    if (!in.ok() || tags > kMaxItems) return false;
    out.iptc.resize(tags);
    for (PluginMetadataTag& t : out.iptc) {
        t.id = in.i32();
        t.length = in.u32();
        const uint32_t type = in.u32();
        t.count = in.u32();
        if (type > 0xFFFF || !in.bytes(t.value, static_cast<uint32_t>(size)) || t.value.size() != t.length)
            return false;
        t.type = static_cast<uint16_t>(type);
    }
    const uint32_t modified = in.u32();
    if (!in.text(out.formatName, kMaxText) || modified > 1) return false;
    out.modified = modified == 1;
    const uint64_t offset = in.u64();
    if (!in.ok()) return false;
    // The description's own checks: a size and format an image can have,
    // whole rows within the allocation limit, all of them inside the file.
    if (out.width < 1 || out.height < 1 || !gdiplus::isValidPixelFormat(out.format) ||
        !gdiplus::fitsAllocationLimit(out.width, out.height, out.format))
        return false;
    const size_t minimum = gdiplus::strideFor(out.format, out.width);
    if (stride < minimum || stride % 4 != 0 || stride > gdiplus::pixelAllocationLimit()) return false;
    if (gdiplus::isIndexed(out.format) != (colors > 0)) return false;
    if (offset < in.position() || offset % pageSize() != 0 || offset > size) return false;
    if (static_cast<uint64_t>(out.height) > (size - offset) / stride) return false;
    out.stride = static_cast<size_t>(stride);
    out.pixelOffset = static_cast<size_t>(offset);
    return true;
}

}  // namespace orrery::imaging::wire
