#include "support/jpeg_builder.h"

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace orrery::test {

std::vector<uint8_t> compressJpeg(const std::vector<uint8_t>& samples, const JpegParams& layout) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buf = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buf, &size);
    cinfo.image_width = static_cast<JDIMENSION>(layout.width);
    cinfo.image_height = static_cast<JDIMENSION>(layout.height);
    cinfo.input_components = layout.components;
    cinfo.in_color_space = layout.components == 4 ? JCS_CMYK : layout.components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    if (layout.ycck) jpeg_set_colorspace(&cinfo, JCS_YCCK);
    jpeg_set_quality(&cinfo, layout.quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    if (!layout.icc.empty())
        jpeg_write_icc_profile(&cinfo, layout.icc.data(), static_cast<unsigned int>(layout.icc.size()));
    const size_t rowBytes = static_cast<size_t>(layout.width) * layout.components;
    for (int y = 0; y < layout.height; ++y) {
        JSAMPROW row = const_cast<uint8_t*>(samples.data()) + rowBytes * y;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> out(buf, buf + size);
    std::free(buf);
    return out;
}

}  // namespace orrery::test
