#include "imaging/loaders.h"

#include "imaging/image_info.h"
#include "imaging/image_table.h"
#include "imaging/picture_sources.h"
#include "platform/automation/picture_file.h"
#include "platform/gdiplus/factory.h"

namespace orrery::imaging {

using gdiplus::Image;
using gdiplus::Status;

namespace {

int32_t code(Status s) { return static_cast<int32_t>(s); }

// GDI+-first loading, with the check that a decoded image has a pixel format.
int32_t loadWithGdiPlusChecked(int32_t& id, const std::string& path, bool useIcm) {
    int32_t s = LoadWithGdiPlus(id, path, useIcm);
    if (s != 0) return s;
    Image* image = modMain::GetGdiImage(id);
    if (!image || image->pixelFormat() == gdiplus::PixelFormatUndefined) {
        modMain::ReleaseImage(id);
        id = 0;
        return code(Status::UnknownImageFormat);
    }
    return 0;
}

}  // namespace

std::string ResolveFilePath(const std::string& path, const OpenFileDialog& dialog) {
    return NormalizePath(dialog && Trim(path).empty() ? dialog() : path);
}

int32_t LoadResolvedFile(int32_t& id, const std::string& path, ColorManagement colors, Decoders decoders) {
    if (Trim(path).empty() || FileExistsPath(path).empty()) return code(Status::FileNotFound);
    const bool useIcm = colors == ColorManagement::On;
    const bool layerOnly = decoders == Decoders::ImagingLayerOnly;
    if (useIcm || layerOnly) {
        int32_t s = loadWithGdiPlusChecked(id, path, useIcm);
        if (s == 0 || layerOnly) return s;
    }
    const int32_t pluginStatus = LoadWithPlugin(id, path, useIcm);
    if (pluginStatus == 0) return 0;
    if (loadWithGdiPlusChecked(id, path, useIcm) == 0) return 0;
    if (LoadWithPictureLoader(id, path) == 0) return 0;
    return pluginStatus;
}

int32_t LoadImageFromFile(int32_t& id, const std::string& path, ColorManagement colors, Decoders decoders,
                          const OpenFileDialog& dialog) {
    return LoadResolvedFile(id, ResolveFilePath(path, dialog), colors, decoders);
}

int32_t LoadWithGdiPlus(int32_t& id, const std::string& path, bool useIcm) {
    if (!modMain::IsSessionOpen()) return code(Status::GdiplusNotInitialized);
    std::unique_ptr<Image> image;
    gdiplus::DecodeOptions options;
    options.useEmbeddedColorManagement = useIcm;
    Status s = gdiplus::createBitmapFromFile(path, options, image);
    if (s != Status::Ok) return code(s);
    int32_t newId = 0;
    modMain::AddImage(newId, std::move(image), "", "", SourceFile);
    int32_t result = newId;
    int32_t frames = modMain::RegisterFrames(path, newId, result, modMain::FrameStorage::InOneImage,
                                          modMain::FrameStorage::InOneImage);
    if (frames != 0) {
        modMain::ReleaseImage(newId);
        return frames;
    }
    id = result;
    return 0;
}

// The picture route: the file becomes a picture object (bitmaps, JPEG, GIF,
// icons, placeable WMF, EMF), which turns into the entry as any picture does.
int32_t LoadWithPictureLoader(int32_t& id, const std::string& path) {
    std::shared_ptr<automation::Picture> picture;
    if (automation::loadPictureFile(path, picture) != automation::S_OK) return code(Status::UnknownImageFormat);
    return LoadFromPicture(id, *picture) == 0 ? 0 : code(Status::UnknownImageFormat);
}

}  // namespace orrery::imaging
