#include "tools/orrery/memory_commands.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "platform/automation/picture_file.h"
#include "platform/automation/stream_object.h"
#include "platform/gdi/handles.h"
#include "platform/gdiplus/byte_source.h"
#include "platform/gdiplus/dib.h"
#include "platform/gdiplus/factory.h"
#include "orrery/gdiplus/guid.h"
#include "platform/gdiplus/metafile_format.h"

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
    else if (word == "metafile") format = window::CF_METAFILEPICT;
    else if (word == "enhmetafile") format = window::CF_ENHMETAFILE;
    else if (word == "palette") format = window::CF_PALETTE;
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

// A Windows metafile handle of a WMF file, placeable or plain, with its size
// in HIMETRIC: the placeable header's box, or the window extent as pixels.
gdi::HMETAFILE metafileOf(const std::vector<uint8_t>& bytes, int32_t& width, int32_t& height) {
    std::shared_ptr<automation::Picture> picture;
    if (gdiplus::metafile::isPlaceableWmf(bytes)) {
        if (automation::loadPicture(bytes, picture) != automation::S_OK) return 0;
        width = picture->width();
        height = picture->height();
        return gdi::setMetaFileBits(*gdi::metaFileBits(picture->handle()));
    }
    std::unique_ptr<gdiplus::Image> measured;
    if (gdiplus::loadImageFromBytes(gdiplus::ByteSource::copyOf(bytes), {}, measured) != gdiplus::Status::Ok ||
        measured->rawFormat() != gdiplus::ImageFormat::WMF)
        return 0;
    width = automation::himetricOfPixels(measured->width());
    height = automation::himetricOfPixels(measured->height());
    return gdi::setMetaFileBits(bytes);
}

// A handle of the metafile and palette formats made of a file's bytes: a
// metafile picture block (anisotropic, sized in HIMETRIC) naming a new
// metafile, an enhanced metafile, or the palette of an indexed picture.
uint32_t handleOfObjectFormat(uint32_t format, const std::vector<uint8_t>& bytes) {
    if (format == window::CF_ENHMETAFILE) return gdi::setEnhMetaFileBits(bytes);
    if (format == window::CF_METAFILEPICT) {
        window::MetafilePict pict{window::MM_ANISOTROPIC, 0, 0, 0};
        pict.metafile = metafileOf(bytes, pict.xExt, pict.yExt);
        const gdi::HGLOBAL block = pict.metafile ? window::globalOfMetafilePict(pict) : 0;
        if (!block) gdi::deleteMetaFile(pict.metafile);
        return block;
    }
    std::unique_ptr<gdiplus::Image> image;
    if (gdiplus::loadImageFromBytes(gdiplus::ByteSource::copyOf(bytes), {}, image) != gdiplus::Status::Ok) return 0;
    return gdi::createPalette(image->palette().entries);
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
    static const char* const commands[] = {"bytes",   "string", "stream",    "global", "dib",
                                           "hbitmap", "hicon",  "clipboard", "picture"};
    return std::any_of(std::begin(commands), std::end(commands), [&](const char* c) { return word == c; });
}

const Variant* MemoryValues::find(const std::string& name) const {
    auto it = values_.find(name);
    return it == values_.end() ? nullptr : &it->second;
}

bool MemoryValues::run(const std::vector<std::string>& w, window::Clipboard& clipboard, std::ostream& out) {
    const std::string& cmd = w[0];
    if (cmd == "clipboard") return clipboardCommand(w, clipboard, out);
    if (cmd == "picture") return pictureCommand(w, out);
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

bool MemoryValues::pictureCommand(const std::vector<std::string>& w, std::ostream& out) {
    static const std::map<std::string, int16_t> kTypes = {{"bitmap", automation::PICTYPE_BITMAP},
                                                          {"icon", automation::PICTYPE_ICON},
                                                          {"wmf", automation::PICTYPE_METAFILE},
                                                          {"emf", automation::PICTYPE_ENHMETAFILE}};
    const auto type = w.size() == 4 ? kTypes.find(w[2]) : kTypes.end();
    if (type == kTypes.end()) {
        out << "  picture takes a name, bitmap, icon, wmf or emf, and a file\n";
        return false;
    }
    const std::string path = pathOf(w[3]);
    std::vector<uint8_t> bytes;
    if (!readBytes(path, bytes)) {
        out << "  cannot read " << path << "\n";
        return false;
    }
    automation::PictureDescription description;
    description.type = type->second;
    if (description.type == automation::PICTYPE_BITMAP) {
        description.handle = handleOfPicture(window::CF_BITMAP, path);
    } else if (description.type == automation::PICTYPE_ICON) {
        std::unique_ptr<gdiplus::Image> image;
        if (gdiplus::createBitmapFromFile(path, {}, image) == gdiplus::Status::Ok)
            gdiplus::createHICONFromBitmap(*image, description.handle);
    } else if (description.type == automation::PICTYPE_METAFILE) {
        description.handle = metafileOf(bytes, description.metafileWidth, description.metafileHeight);
    } else {
        description.handle = gdi::setEnhMetaFileBits(bytes);
    }
    std::shared_ptr<automation::Picture> picture;
    if (!description.handle || automation::Picture::create(description, true, picture) != automation::S_OK) {
        out << "  picture " << w[1] << ": no " << w[2] << " picture made of " << path << "\n";
        return false;
    }
    out << "  picture " << w[1] << ": type " << picture->type() << ", " << picture->width() << " x "
        << picture->height() << " HIMETRIC\n";
    values_[w[1]] = Variant(automation::DispatchPtr(picture));
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
        std::vector<uint8_t> bytes;
        if (format == window::CF_BITMAP || format == window::CF_DIB || format == window::CF_DIBV5) {
            handle = handleOfPicture(format, pathOf(w[3]));
        } else if (!readBytes(pathOf(w[3]), bytes)) {
            handle = 0;
        } else if (format == window::CF_METAFILEPICT || format == window::CF_ENHMETAFILE ||
                   format == window::CF_PALETTE) {
            handle = handleOfObjectFormat(format, bytes);
        } else {
            handle = globalOf(bytes);
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
