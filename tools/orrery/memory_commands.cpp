#include "tools/orrery/memory_commands.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "platform/automation/stream_object.h"
#include "platform/gdi/handles.h"
#include "platform/gdiplus/dib.h"
#include "platform/gdiplus/factory.h"
#include "platform/gdiplus/guid.h"

namespace orrery::tool {

using automation::Variant;

namespace {

constexpr size_t kBmpFileHeaderBytes = 14;

// A script word as a path: a quoted word keeps its opening quote.
std::string pathOf(const std::string& word) { return !word.empty() && word[0] == '"' ? word.substr(1) : word; }

bool readBytes(const std::string& path, std::vector<uint8_t>& out) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    out.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

// Each byte as the character of the same number, in UTF-8.
std::string latin1Text(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (uint8_t b : bytes) {
        if (b < 0x80) {
            text += static_cast<char>(b);
        } else {
            text += static_cast<char>(0xC0 | (b >> 6));
            text += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return text;
}

gdi::HGLOBAL globalOf(const std::vector<uint8_t>& bytes) {
    const gdi::HGLOBAL block = gdi::globalAlloc(bytes.size());
    if (block && !bytes.empty()) {
        std::memcpy(gdi::globalLock(block), bytes.data(), bytes.size());
        gdi::globalUnlock(block);
    }
    return block;
}

bool formatNumber(const std::string& word, uint32_t& format) {
    if (word == "bitmap") format = window::CF_BITMAP;
    else if (word == "dib") format = window::CF_DIB;
    else if (word == "dibv5") format = window::CF_DIBV5;
    else {
        char* end = nullptr;
        const unsigned long n = std::strtoul(word.c_str(), &end, 0);
        if (word.empty() || *end != 0 || n == 0 || n > UINT32_MAX) return false;
        format = static_cast<uint32_t>(n);
    }
    return true;
}

// A handle of `format` holding the picture of an image file.
uint32_t handleOfPicture(uint32_t format, const std::string& path) {
    std::unique_ptr<gdiplus::Image> image;
    if (gdiplus::createBitmapFromFile(path, {}, image) != gdiplus::Status::Ok) return 0;
    if (format == window::CF_BITMAP) {
        gdi::HBITMAP bitmap = 0;
        return gdiplus::createHBITMAPFromBitmap(*image, 0, bitmap) == gdiplus::Status::Ok ? bitmap : 0;
    }
    std::vector<uint8_t> dib;
    const auto kind = format == window::CF_DIBV5 ? gdiplus::DibHeaderKind::V5 : gdiplus::DibHeaderKind::Info;
    return gdiplus::packDib(*image, kind, dib) == gdiplus::Status::Ok ? globalOf(dib) : 0;
}

// The picture a bitmap-format handle holds; the handle is freed.
std::unique_ptr<gdiplus::Image> takePicture(uint32_t format, uint32_t handle) {
    std::unique_ptr<gdiplus::Image> image;
    if (format == window::CF_BITMAP) {
        gdiplus::createBitmapFromHBITMAP(handle, image);
        gdi::deleteBitmap(handle);
        return image;
    }
    const uint8_t* bytes = gdi::globalLock(handle);
    if (bytes) {
        gdiplus::createBitmapFromPackedDib({bytes, gdi::globalSize(handle)}, image);
        gdi::globalUnlock(handle);
    }
    gdi::globalFree(handle);
    return image;
}

}  // namespace

MemoryValues::~MemoryValues() {
    for (uint32_t h : bitmaps_) gdi::deleteBitmap(h);
    for (uint32_t h : icons_) gdi::destroyIcon(h);
    for (uint32_t h : blocks_) gdi::globalFree(h);
}

bool MemoryValues::isCommand(const std::string& word) {
    static const char* const commands[] = {"bytes", "string", "stream", "global", "dib", "hbitmap", "hicon", "clipboard"};
    return std::any_of(std::begin(commands), std::end(commands), [&](const char* c) { return word == c; });
}

const Variant* MemoryValues::find(const std::string& name) const {
    auto it = values_.find(name);
    return it == values_.end() ? nullptr : &it->second;
}

bool MemoryValues::run(const std::vector<std::string>& w, window::Clipboard& clipboard, std::ostream& out) {
    const std::string& cmd = w[0];
    if (cmd == "clipboard") return clipboardCommand(w, clipboard, out);
    if (w.size() != 3) {
        out << "  " << cmd << " takes a name and a file\n";
        return false;
    }
    const std::string& name = w[1];
    const std::string path = pathOf(w[2]);
    std::vector<uint8_t> bytes;
    if (!readBytes(path, bytes)) {
        out << "  cannot read " << path << "\n";
        return false;
    }
    uint32_t handle = 0;
    if (cmd == "bytes") {
        values_[name] = Variant(automation::ByteArray{0, std::move(bytes)});
    } else if (cmd == "string") {
        values_[name] = Variant(latin1Text(bytes));
    } else if (cmd == "stream") {
        auto stream = std::make_shared<automation::StreamObject>(std::make_shared<automation::MemoryStream>(std::move(bytes)));
        values_[name] = Variant(automation::DispatchPtr(stream));
    } else if (cmd == "global" || cmd == "dib") {
        if (cmd == "dib") {
            if (bytes.size() < kBmpFileHeaderBytes || bytes[0] != 'B' || bytes[1] != 'M') {
                out << "  " << path << " is no BMP file\n";
                return false;
            }
            bytes.erase(bytes.begin(), bytes.begin() + kBmpFileHeaderBytes);
        }
        handle = globalOf(bytes);
        if (handle) blocks_.push_back(handle);
        values_[name + "_len"] = Variant(static_cast<int32_t>(bytes.size()));
    } else if (cmd == "hbitmap") {
        handle = handleOfPicture(window::CF_BITMAP, path);
        if (handle) bitmaps_.push_back(handle);
    } else {  // hicon
        std::unique_ptr<gdiplus::Image> image;
        if (gdiplus::createBitmapFromFile(path, {}, image) == gdiplus::Status::Ok)
            gdiplus::createHICONFromBitmap(*image, handle);
        if (handle) icons_.push_back(handle);
    }
    if (cmd != "bytes" && cmd != "string" && cmd != "stream") {
        if (!handle) {
            out << "  " << cmd << " " << name << ": no handle made of " << path << "\n";
            return false;
        }
        values_[name] = Variant(static_cast<int32_t>(handle));
    }
    return true;
}

bool MemoryValues::clipboardCommand(const std::vector<std::string>& w, window::Clipboard& clipboard, std::ostream& out) {
    uint32_t format = 0;
    if (w.size() == 2 && w[1] == "clear") {
        clipboard.empty();
        return true;
    }
    if (w.size() == 2 && w[1] == "list") {
        out << "  clipboard:";
        for (uint32_t f : clipboard.formats()) out << " " << f;
        out << "\n";
        return true;
    }
    if (w.size() == 4 && w[1] == "put" && formatNumber(w[2], format)) {
        uint32_t handle = 0;
        if (format == window::CF_BITMAP || format == window::CF_DIB || format == window::CF_DIBV5) {
            handle = handleOfPicture(format, pathOf(w[3]));
        } else {
            std::vector<uint8_t> bytes;
            if (readBytes(pathOf(w[3]), bytes)) handle = globalOf(bytes);
        }
        if (handle && clipboard.setData(format, handle)) return true;
        out << "  clipboard put " << w[2] << ": nothing made of " << w[3] << "\n";
        return false;
    }
    if (w.size() == 4 && w[1] == "save" && formatNumber(w[2], format) &&
        (format == window::CF_BITMAP || format == window::CF_DIB || format == window::CF_DIBV5)) {
        const uint32_t handle = clipboard.getData(format);
        std::unique_ptr<gdiplus::Image> image = handle ? takePicture(format, handle) : nullptr;
        if (image && image->save(pathOf(w[3]), gdiplus::CodecClsid::PNG, {}) == gdiplus::Status::Ok) {
            out << "  clipboard " << w[2] << " saved as " << pathOf(w[3]) << " (" << image->width() << " x "
                << image->height() << ")\n";
            return true;
        }
        out << "  clipboard save " << w[2] << " failed\n";
        return false;
    }
    out << "  cannot read this clipboard line\n";
    return false;
}

}  // namespace orrery::tool
