#include "viewer/render.h"

#include <algorithm>
#include <string>

#include "color/color.h"
#include "imaging/image_table.h"
#include "platform/gdiplus/factory.h"
#include "viewer/saturating.h"

namespace orrery::viewer {

using gdiplus::Image;
using gdiplus::RectF;
using gdiplus::Status;

namespace {
constexpr int32_t kOutOfMemory = static_cast<int32_t>(Status::OutOfMemory);
constexpr int32_t kInvalidParameter = static_cast<int32_t>(Status::InvalidParameter);
constexpr uint32_t kNoMaskColor = 0x00010000;  // RGB(0, 0, 1)
}  // namespace

uint32_t Renderer::backColorArgb() const {
    color::cColor c;
    const uint32_t rgb = window::resolveOleColor(host_.window().backColor());  // 0x00RRGGBB
    c.FromRGB(static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb));
    return c.GetValue();
}

gdiplus::InterpolationMode Renderer::ChooseInterpolation() {
    if (s_.zoom == 1.0) return gdiplus::InterpolationModeNearestNeighbor;
    if (s_.viewerQualityAuto) {
        if (s_.highQualityPass) {
            s_.viewerQuality = ViewerQualityBicubicHQ;
            return gdiplus::InterpolationModeHighQualityBicubic;
        }
        s_.viewerQuality = ViewerQualityLow;
        return gdiplus::InterpolationModeNearestNeighbor;
    }
    switch (s_.viewerQuality) {
        case ViewerQualityLow: return gdiplus::InterpolationModeNearestNeighbor;
        case ViewerQualityBilinear: return gdiplus::InterpolationModeBilinear;
        case ViewerQualityBicubic: return gdiplus::InterpolationModeBicubic;
        case ViewerQualityBilinearHQ: return gdiplus::InterpolationModeHighQualityBilinear;
        case ViewerQualityBicubicHQ: return gdiplus::InterpolationModeHighQualityBicubic;
        default: return gdiplus::InterpolationModeDefault;
    }
}

int32_t Renderer::MakeWorkingCopy() {
    DiscardWorkingCopy();
    Image* image = imaging::modMain::GetGdiImage(s_.currentImage);
    if (!image) return static_cast<int32_t>(Status::InvalidParameter);
    std::unique_ptr<Image> copy;
    const Status cloned =
        image->cloneArea({0, 0, image->width(), image->height()}, gdiplus::PixelFormat32bppPARGB, copy);
    if (cloned != Status::Ok) return static_cast<int32_t>(cloned);
    imaging::modMain::AddImage(s_.workingImage, std::move(copy), "", "", imaging::SourcePlain);
    s_.workingFrame = s_.currentPage;
    return 0;
}

void Renderer::DiscardWorkingCopy() {
    if (s_.workingImage != 0) imaging::modMain::ReleaseImage(s_.workingImage);
    s_.workingImage = 0;
    s_.workingFrame = 0;
}

int32_t Renderer::drawDirect(Image& image, const RectF& dst, const RectF& src,
                             const gdiplus::ImageAttributes* attributes) {
    window::ControlWindow& w = host_.window();
    w.setPersistentDrawing(window::PersistentDrawing::On);
    std::unique_ptr<gdiplus::Graphics> g;
    int32_t status = static_cast<int32_t>(gdiplus::Graphics::fromSurface(w.surface(), g));
    if (status != 0) return status;
    const uint32_t background = backColorArgb();
    g->setSmoothingMode(gdiplus::SmoothingModeNone);
    g->setPixelOffsetMode(gdiplus::PixelOffsetModeHalf);
    g->setCompositingQuality(gdiplus::CompositingQualityHighSpeed);
    status = static_cast<int32_t>(g->setInterpolationMode(ChooseInterpolation()));
    if (status != 0) {
        backdrop_.known = false;
        g->clear(background);
        return status;
    }
    if (w.surfaceEpoch() != backdropEpoch_) backdrop_.known = false;
    status = static_cast<int32_t>(g->drawImageOnBackground(image, dst, src, background,
                                                           s_.animatedGif ? nullptr : attributes, &backdrop_));
    backdropEpoch_ = w.surfaceEpoch();
    if (status != kOutOfMemory) return status;

    // Out of memory: cheaper settings, no attributes, smaller intermediates,
    // on the background again, whose extent the next painting cannot know.
    backdrop_.known = false;
    g->clear(background);
    g->setPixelOffsetMode(gdiplus::PixelOffsetModeNone);
    g->setSmoothingMode(gdiplus::SmoothingModeNone);
    g->setInterpolationMode(gdiplus::InterpolationModeNearestNeighbor);
    status = static_cast<int32_t>(g->drawImageRectRect(image, dst, src, gdiplus::UnitPixel, nullptr));
    if (status != kOutOfMemory) return status;
    if (src.width >= image.width() && src.height >= image.height()) {
        status = static_cast<int32_t>(g->drawImageRect(image, dst));
        if (status == kOutOfMemory) {
            std::unique_ptr<Image> thumb;
            status = static_cast<int32_t>(image.thumbnail(roundEven(dst.width), roundEven(dst.height), thumb));
            if (status == 0) status = static_cast<int32_t>(g->drawImageRect(*thumb, dst));
        }
        return status;
    }
    std::unique_ptr<Image> part;
    const gdiplus::Rect area{roundEven(src.x), roundEven(src.y), roundEven(src.width), roundEven(src.height)};
    status = static_cast<int32_t>(image.cloneArea(area, image.pixelFormat(), part));
    if (status == 0) status = static_cast<int32_t>(g->drawImageRect(*part, dst));
    return status;
}

int32_t Renderer::renderToPicture(int drawW, int drawH, Image& image, const RectF& dst, const RectF& src,
                                  std::shared_ptr<const Image>& picture) {
    std::unique_ptr<Image> bitmap;
    Status s = gdiplus::createBitmapFromScan0(std::max(drawW, 1), std::max(drawH, 1), 0,
                                              gdiplus::PixelFormat32bppARGB, nullptr, bitmap);
    if (s != Status::Ok) return static_cast<int32_t>(s);
    std::unique_ptr<gdiplus::Graphics> g;
    s = gdiplus::Graphics::fromImage(*bitmap, g);
    if (s != Status::Ok) return static_cast<int32_t>(s);
    const bool opaque = host_.window().backStyle() == window::BackStyle::Opaque;
    if (opaque) g->clear(backColorArgb());
    gdiplus::ImageAttributes attributes;
    bool useAttributes = false;
    if (s_.gamma != 1.0f) useAttributes = attributes.setGamma(s_.gamma) == Status::Ok;
    if (!opaque && s_.imageMaskColor != kNoMaskColor) {
        color::cColor mask;
        mask.SetFromCOLORREF(s_.imageMaskColor);
        attributes.setRemapTable({{mask.GetValue(), 0x00000000}});
        useAttributes = true;
    }
    g->setCompositingQuality(gdiplus::CompositingQualityHighSpeed);
    g->setSmoothingMode(gdiplus::SmoothingModeNone);
    g->setInterpolationMode(ChooseInterpolation());
    g->setPixelOffsetMode(gdiplus::PixelOffsetModeHalf);
    s = g->drawImageRectRect(image, dst, src, gdiplus::UnitPixel,
                             useAttributes && !s_.animatedGif ? &attributes : nullptr);
    g.reset();
    picture = std::shared_ptr<const Image>(std::move(bitmap));
    return static_cast<int32_t>(s);
}

void Renderer::DrawView(int32_t image, DrawPass pass) {
    window::ControlWindow& w = host_.window();
    w.killTimer(kQualityTimerId);
    if (image == 0) image = s_.workingImage != 0 ? s_.workingImage : s_.currentImage;
    if (s_.optimizeDrawingSpeed && image == s_.currentImage && host_.formatName(image) != "GIF") {
        Image* current = imaging::modMain::GetGdiImage(image);
        if (current && current->pixelFormat() != gdiplus::PixelFormat32bppPARGB && MakeWorkingCopy() == 0)
            image = s_.workingImage;
    }
    host_.updateScrollBarVisibility();
    if (s_.drawFailed) s_.status = 0;

    Image* img = imaging::modMain::GetGdiImage(image);
    if (s_.status == 0 && image != 0 && img && s_.zoom > 0) {
        bool raiseChanged = false, raisePage = false;
        const int32_t document = host_.documentId();
        if (document != s_.lastDrawnImage) {
            host_.raisePictureChange();
            raiseChanged = true;
            s_.lastDrawnImage = document;
            raisePage = !host_.documentIsPdf();
            // The host's PictureChange handler may have released the image.
            img = imaging::modMain::GetGdiImage(image);
        }
        if (!host_.lockControl()) {
            if (s_.viewerQualityAuto && pass == DrawPass::Interactive) s_.highQualityPass = false;
            const int drawW = w.clientWidth() - (s_.vScroll.visible ? window::kScrollBarThickness : 0);
            const int drawH = w.clientHeight() - (s_.hScroll.visible ? window::kScrollBarThickness : 0);
            gdiplus::ImageAttributes attributes;
            const bool gamma = s_.gamma != 1.0f && attributes.setGamma(s_.gamma) == Status::Ok;

            RectF src, dst;
            if (s_.displayWidth <= drawW) {
                src.x = 0, src.width = static_cast<float>(s_.imageWidth);
                dst.x = static_cast<float>(s_.offsetLeft), dst.width = static_cast<float>(s_.displayWidth);
            } else {
                src.x = static_cast<float>(roundEven(-static_cast<double>(s_.offsetLeft) / s_.zoom));
                src.width = static_cast<float>(roundEven(drawW / s_.zoom));
                dst.x = 0, dst.width = static_cast<float>(drawW);
            }
            if (s_.displayHeight <= drawH) {
                src.y = 0, src.height = static_cast<float>(s_.imageHeight);
                dst.y = static_cast<float>(s_.offsetTop), dst.height = static_cast<float>(s_.displayHeight);
            } else {
                src.y = static_cast<float>(roundEven(-static_cast<double>(s_.offsetTop) / s_.zoom * s_.aspectCorrection));
                src.height = static_cast<float>(roundEven(drawH / s_.zoom * s_.aspectCorrection));
                dst.y = 0, dst.height = static_cast<float>(drawH);
            }
            s_.displayedArea = {roundEven(src.x), roundEven(src.y), roundEven(src.width), roundEven(src.height)};
            // The drawing call shifts a source that runs past the image's
            // right or bottom edge back inside, so the edges meet.
            if (src.x + src.width > s_.imageWidth) src.x = s_.imageWidth - src.width;
            if (src.y + src.height > s_.imageHeight) src.y = s_.imageHeight - src.height;

            if (!img) {
                s_.status = kInvalidParameter;  // what drawing a released image reports
            } else if (w.backStyle() != window::BackStyle::Opaque || s_.forcePictureMode) {
                w.setPersistentDrawing(window::PersistentDrawing::Off);
                std::shared_ptr<const Image> picture;
                s_.status = renderToPicture(drawW, drawH, *img, dst, src, picture);
                w.setPicture(picture);
                w.setMaskPicture(w.backStyle() != window::BackStyle::Opaque ? picture : nullptr);
            } else {
                s_.status = drawDirect(*img, dst, src, gamma ? &attributes : nullptr);
            }
            if (s_.status == 0) {
                host_.ensureWheelHook();
                host_.raiseDisplay();
                w.refresh();
                if (!s_.highQualityPass && s_.viewerQualityAuto)
                    w.setTimer(kQualityTimerId, kQualityTimerIntervalMs);
            } else if (!host_.silentMode()) {
                host_.showCriticalMessage("Can not display image error no: " + std::to_string(s_.status));
            }
        }
        if (raiseChanged) host_.raisePictureChanged();
        if (raisePage) host_.raisePageChange();
        s_.drawFailed = s_.status != 0;
    }
    if (image != 0) host_.redrawSelection(image);
    if (!host_.disableAutoFocus() && host_.focusOwner() != 0 && w.cornerVisible())
        w.setFocus(window::FocusTarget::Corner);
    s_.scrollEventsArmed = true;
}

void Renderer::OnQualityTimer() {
    host_.window().killTimer(kQualityTimerId);
    if (!s_.viewerQualityAuto || s_.highQualityPass) return;
    s_.highQualityPass = true;
    DrawView(0, DrawPass::Quality);
    host_.refreshQualityMenuChecks();
}

}  // namespace orrery::viewer
