#include "support/frame_builders.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstring>

namespace orrery::test {

namespace {

int appendBytes(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

// Graphic control extension: the frame's delay, nothing transparent.
void putDelay(GifFileType* gif, int delayCs) {
    GraphicsControlBlock gcb{};
    gcb.DisposalMode = DISPOSAL_UNSPECIFIED;
    gcb.DelayTime = delayCs;
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType block[4];
    EGifGCBToExtension(&gcb, block);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block);
}

void putLoops(GifFileType* gif, int loops) {
    const GifByteType app[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    const GifByteType count[] = {1, static_cast<GifByteType>(loops & 0xff), static_cast<GifByteType>(loops >> 8)};
    EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
    EGifPutExtensionBlock(gif, sizeof app, app);
    EGifPutExtensionBlock(gif, sizeof count, count);
    EGifPutExtensionTrailer(gif);
}

}  // namespace

std::vector<uint8_t> animatedGif(const std::vector<SolidFrame>& frames, int loops) {
    std::vector<uint8_t> out;
    if (frames.empty()) return out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, appendBytes, &error);
    if (!gif) return out;
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, frames[0].width, frames[0].height, 1, 0, nullptr);
    putLoops(gif, loops);
    for (const SolidFrame& f : frames) {
        putDelay(gif, f.delayCs);
        GifColorType colors[2] = {{static_cast<GifByteType>(f.rgb >> 16), static_cast<GifByteType>(f.rgb >> 8),
                                   static_cast<GifByteType>(f.rgb)},
                                  {0, 0, 0}};
        ColorMapObject* map = GifMakeMapObject(2, colors);
        EGifPutImageDesc(gif, 0, 0, f.width, f.height, false, map);
        std::vector<GifPixelType> row(static_cast<size_t>(f.width), 0);
        for (int y = 0; y < f.height; ++y) EGifPutLine(gif, row.data(), f.width);
        GifFreeMapObject(map);
    }
    EGifCloseFile(gif, &error);
    return out;
}

void writeMultiPageTiff(const std::filesystem::path& path, const std::vector<SolidFrame>& pages, bool bilevel) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    for (const SolidFrame& p : pages) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, p.width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, p.height);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bilevel ? 1 : 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, bilevel ? 1 : 3);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, bilevel ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, bilevel ? COMPRESSION_CCITTFAX4 : COMPRESSION_LZW);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, p.height);
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        std::vector<uint8_t> row(bilevel ? static_cast<size_t>((p.width + 7) / 8) : static_cast<size_t>(p.width) * 3);
        for (size_t x = 0; x < row.size(); ++x)
            row[x] = bilevel ? (p.rgb ? 0xFF : 0x00) : static_cast<uint8_t>(p.rgb >> (16 - 8 * (x % 3)));
        for (int y = 0; y < p.height; ++y) ASSERT_EQ(TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0), 1);
        ASSERT_EQ(TIFFWriteDirectory(tif), 1);
    }
    TIFFClose(tif);
}

}  // namespace orrery::test
