#include "support/pdf_writer.h"

#include <cstdio>
#include <stdexcept>

namespace orrery::test {

namespace {

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", v);
    std::string s = text;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s;
}

// Code points of UTF-8 text (no validation: the tests write their own).
std::vector<uint32_t> codePoints(const std::string& utf8) {
    std::vector<uint32_t> out;
    for (size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        uint32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < utf8.size(); ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
        out.push_back(cp);
        i += 1 + extra;
    }
    return out;
}

// A literal string in PDFDocEncoding, which agrees with Latin-1 for the
// characters the tests use.
std::string docEncodedString(const std::string& utf8) {
    std::string out = "(";
    for (uint32_t cp : codePoints(utf8)) {
        if (cp > 0xFF) throw std::invalid_argument("not a Latin-1 character");
        if (cp == '(' || cp == ')' || cp == '\\') {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (cp < 0x20 || cp >= 0x7F) {
            char octal[8];
            std::snprintf(octal, sizeof octal, "\\%03o", cp);
            out += octal;
        } else {
            out += static_cast<char>(cp);
        }
    }
    return out + ")";
}

std::string utf16String(const std::string& utf8) {
    std::string out = "<FEFF";
    char hex[16];
    for (uint32_t cp : codePoints(utf8)) {
        if (cp >= 0x10000) {
            const uint32_t v = cp - 0x10000;
            std::snprintf(hex, sizeof hex, "%04X%04X", 0xD800 + (v >> 10), 0xDC00 + (v & 0x3FF));
        } else {
            std::snprintf(hex, sizeof hex, "%04X", cp);
        }
        out += hex;
    }
    return out + ">";
}

class Body {
public:
    // Reserves an object number, so that objects may refer forward.
    int reserve() {
        offsets_.push_back(0);
        return static_cast<int>(offsets_.size());
    }
    void put(int id, const std::string& object) { putBytes(id, object, {}, ""); }
    void putStream(int id, const std::string& dictionary, const std::vector<uint8_t>& data) {
        putBytes(id, dictionary, data, "stream");
    }
    std::vector<uint8_t> finish(int root, int info) {
        const size_t xref = out_.size();
        append("xref\n0 " + std::to_string(offsets_.size() + 1) + "\n0000000000 65535 f \n");
        for (size_t offset : offsets_) {
            char line[24];
            std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
            append(line);
        }
        append("trailer\n<< /Size " + std::to_string(offsets_.size() + 1) + " /Root " + ref(root) +
               (info ? " /Info " + ref(info) : std::string()) + " >>\nstartxref\n" + std::to_string(xref) +
               "\n%%EOF\n");
        return out_;
    }
    void header(const std::string& version) { append("%PDF-" + version + "\n%\xE2\xE3\xCF\xD3\n"); }
    static std::string ref(int id) { return std::to_string(id) + " 0 R"; }

private:
    void putBytes(int id, const std::string& dictionary, const std::vector<uint8_t>& data, const char* kind) {
        offsets_[static_cast<size_t>(id - 1)] = out_.size();
        append(std::to_string(id) + " 0 obj\n" + dictionary + "\n");
        if (*kind) {
            append("stream\n");
            out_.insert(out_.end(), data.begin(), data.end());
            append("\nendstream\n");
        }
        append("endobj\n");
    }
    void append(const std::string& s) { out_.insert(out_.end(), s.begin(), s.end()); }

    std::vector<uint8_t> out_;
    std::vector<size_t> offsets_;
};

std::vector<uint8_t> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }

}  // namespace

std::string filledRect(double x, double y, double w, double h, double r, double g, double b) {
    return number(r) + " " + number(g) + " " + number(b) + " rg " + number(x) + " " + number(y) + " " + number(w) +
           " " + number(h) + " re f\n";
}

std::vector<uint8_t> writePdf(const PdfPlan& plan) {
    Body body;
    body.header(plan.version);
    const int catalog = body.reserve();
    const int pages = body.reserve();
    const int font = body.reserve();
    body.put(font, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");

    std::string kids;
    for (const PdfPagePlan& page : plan.pages) {
        const int pageId = body.reserve();
        const int contentId = body.reserve();
        std::string resources = "<< /Font << /F1 " + Body::ref(font) + " >>";
        if (page.jpeg) {
            const int imageId = body.reserve();
            body.putStream(imageId,
                           "<< /Type /XObject /Subtype /Image /Width " + std::to_string(page.jpeg->width) +
                               " /Height " + std::to_string(page.jpeg->height) +
                               " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /DCTDecode /Length " +
                               std::to_string(page.jpeg->bytes.size()) + " >>",
                           page.jpeg->bytes);
            resources += " /XObject << /Im0 " + Body::ref(imageId) + " >>";
        }
        resources += " >>";
        std::string dict = "<< /Type /Page /Parent " + Body::ref(pages) + " /MediaBox [0 0 " + number(page.width) +
                           " " + number(page.height) + "]";
        if (page.cropBox) {
            const auto& c = *page.cropBox;
            dict += " /CropBox [" + number(c[0]) + " " + number(c[1]) + " " + number(c[2]) + " " + number(c[3]) + "]";
        }
        if (page.rotate) dict += " /Rotate " + std::to_string(*page.rotate);
        dict += " /Resources " + resources + " /Contents " + Body::ref(contentId) + " >>";
        body.put(pageId, dict);
        body.putStream(contentId, "<< /Length " + std::to_string(page.content.size()) + " >>", bytesOf(page.content));
        kids += Body::ref(pageId) + " ";
    }
    std::string pagesDict = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(plan.pages.size());
    if (plan.inheritedRotate) pagesDict += " /Rotate " + std::to_string(*plan.inheritedRotate);
    body.put(pages, pagesDict + " >>");

    std::string catalogDict = "<< /Type /Catalog /Pages " + Body::ref(pages);
    if (!plan.xmp.empty()) {
        const int metadata = body.reserve();
        body.putStream(metadata,
                       "<< /Type /Metadata /Subtype /XML /Length " + std::to_string(plan.xmp.size()) + " >>",
                       bytesOf(plan.xmp));
        catalogDict += " /Metadata " + Body::ref(metadata);
    }
    body.put(catalog, catalogDict + " >>");

    int info = 0;
    if (!plan.info.empty()) {
        info = body.reserve();
        std::string infoDict = "<<";
        for (const auto& [key, value] : plan.info)
            infoDict += " /" + key + " " +
                        (plan.infoEncoding == PdfTextEncoding::Utf16BE ? utf16String(value) : docEncodedString(value));
        body.put(info, infoDict + " >>");
    }
    return body.finish(catalog, info);
}

}  // namespace orrery::test
