// A small PDF writer for tests and benchmarks: pages of chosen sizes, crop
// boxes and rotations (on the page or inherited from the page tree), content
// streams, a JPEG per page, Info strings in PDFDocEncoding or UTF-16BE, and
// an XMP packet. Everything it writes is plain, uncompressed PDF.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orrery::test {

struct PdfJpeg {
    std::vector<uint8_t> bytes;  // a baseline RGB JPEG
    int width = 0;
    int height = 0;
};

struct PdfPagePlan {
    double width = 595;  // MediaBox [0 0 width height], in points
    double height = 842;
    std::optional<std::array<double, 4>> cropBox;
    std::optional<int> rotate;  // /Rotate of the page itself
    // Content stream operators; a JPEG, when given, is the resource /Im0.
    std::string content;
    std::optional<PdfJpeg> jpeg;
};

enum class PdfTextEncoding { DocEncoding, Utf16BE };

struct PdfPlan {
    std::string version = "1.7";
    std::vector<PdfPagePlan> pages;
    std::optional<int> inheritedRotate;  // /Rotate on the page tree's root
    // Info entries by key ("Title", "CreationDate", ...), as UTF-8; written
    // in `infoEncoding` (PDFDocEncoding takes Latin-1 characters only).
    std::map<std::string, std::string> info;
    PdfTextEncoding infoEncoding = PdfTextEncoding::DocEncoding;
    std::string xmp;  // the catalogue's /Metadata stream when not empty
};

std::vector<uint8_t> writePdf(const PdfPlan& plan);

// Content that fills the rectangle (x, y, w, h) of the page, in points from
// the lower left corner, with an RGB colour of 0 to 1.
std::string filledRect(double x, double y, double w, double h, double r, double g, double b);

}  // namespace orrery::test
