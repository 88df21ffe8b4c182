#include "viewer/frames.h"

#include <algorithm>

#include "imaging/image_table.h"
#include "platform/gdiplus/image.h"

namespace orrery::viewer {

namespace modMain = imaging::modMain;

namespace {
constexpr int32_t kDefaultFrameDelayMs = 100;  // a delay of 0 in the file
}  // namespace

// ---------------------------------------------------------------------------
// Frame structure

void Frames::ReadFrameStructure() {
    for (FrameMenuItem item : {FrameMenuItem::GotoNext, FrameMenuItem::GotoPrevious, FrameMenuItem::GotoFirst,
                               FrameMenuItem::GotoLast})
        host_.enableMenuItem(item, false);
    if (s_.documentType == DocumentTypeImage) {
        const std::string format = host_.formatName(s_.currentImage);
        int32_t count = 0;
        if (format == "GIF") {
            s_.pageCount = modMain::GetGifFrameCount(s_.currentImage, count) == 0 ? count : 1;
            if (s_.pageCount >= 2) readGifDelays();
            s_.animatedGif = s_.pageCount >= 2;
        } else if (format == "TIFF") {
            s_.pageCount = modMain::GetTiffPageCount(s_.currentImage, count) == 0 ? count : 1;
            s_.animatedGif = false;
        } else {
            s_.pageCount = 1;
            s_.animatedGif = false;
        }
    }
    if (s_.animatedGif && s_.animateGif) PlayGif();
    else host_.enableMenuItem(FrameMenuItem::PlayGif, s_.animatedGif);
    if (s_.pageCount >= 2) {
        host_.enableMenuItem(FrameMenuItem::GotoNext, true);
        host_.enableMenuItem(FrameMenuItem::GotoLast, true);
    }
}

void Frames::ReadCurrentImage() {
    layout_.ReadImageMetrics(s_.currentImage);
    ReadFrameStructure();
}

// Delays in hundredths of a second become milliseconds; 0 plays at 100 ms.
// A frame without a delay of its own reads as 0.
void Frames::readGifDelays() {
    std::vector<int32_t> delays;
    modMain::GetFrameDelays(s_.currentImage, delays);
    s_.frameDelaysMs.assign(static_cast<size_t>(s_.pageCount), kDefaultFrameDelayMs);
    for (size_t i = 0; i < s_.frameDelaysMs.size() && i < delays.size(); ++i)
        s_.frameDelaysMs[i] = delays[i] > 0 ? delays[i] * 10 : kDefaultFrameDelayMs;
}

// ---------------------------------------------------------------------------
// Navigation

int32_t Frames::DisplayFrame(int32_t frame) {
    // Nothing is shown (a property bag may still have given a page count):
    // there is no page to move to.
    if (s_.documentType == DocumentTypeNone) return s_.status;
    s_.status = 0;
    const bool pageWasCurrent = s_.currentPage != 0;
    if (frame >= 1 && frame <= s_.pageCount) {
        s_.laidOutOnce = false;
        if (s_.documentType == DocumentTypePDF) {
            s_.laidOutOnce = true;
            s_.status = host_.renderPdfPage(frame);
        } else if (s_.documentType == DocumentTypeImage) {
            if (!s_.playing) s_.resetHorizontal = s_.resetVertical = true;
            renderer_.DiscardWorkingCopy();
            s_.status = selectFrame(frame);
            if (s_.status != 0) {
                host_.clearDrawingSurface();
            } else {
                ReadCurrentImage();
                layout_.UpdateLayout(0);
            }
        }
    }
    updateNavigationItems();
    if (pageWasCurrent) host_.raisePageChange();
    return s_.status;
}

// Selects frame `frame` (1-based) of the current image in the image store
// and makes it the current page.
int32_t Frames::selectFrame(int32_t frame) {
    const int32_t id = s_.currentImage;
    if (s_.animatedGif) {
        const int32_t status = modMain::SelectGifFrame(id, frame - 1);
        s_.currentPage = frame;
        return status;
    }
    if (modMain::IsMultiPageTiff(id)) {
        const int32_t status = modMain::SelectTiffPage(id, frame - 1);
        s_.currentPage = modMain::GetCurrentTiffPage(id) + 1;
        return status;
    }
    // Any other image selects the frame on its own first dimension.
    gdiplus::Image* image = modMain::GetGdiImage(id);
    if (!image) return static_cast<int32_t>(gdiplus::Status::InvalidParameter);
    const std::vector<gdiplus::Guid> dimensions = image->frameDimensions();
    if (dimensions.empty()) return static_cast<int32_t>(gdiplus::Status::InvalidParameter);
    const int32_t status =
        static_cast<int32_t>(image->selectActiveFrame(dimensions.front(), static_cast<uint32_t>(frame - 1)));
    if (status == 0) s_.currentPage = frame;
    return status;
}

void Frames::updateNavigationItems() {
    const bool several = s_.pageCount >= 2;
    host_.enableMenuItem(FrameMenuItem::GotoNext, several && s_.currentPage < s_.pageCount);
    host_.enableMenuItem(FrameMenuItem::GotoLast, several && s_.currentPage < s_.pageCount);
    host_.enableMenuItem(FrameMenuItem::GotoPrevious, several && s_.currentPage >= 2);
    host_.enableMenuItem(FrameMenuItem::GotoFirst, several && s_.currentPage >= 2);
}

int32_t Frames::DisplayNextFrame() {
    if (s_.currentPage < s_.pageCount) DisplayFrame(s_.currentPage + 1);
    return s_.status;
}

int32_t Frames::DisplayPreviousFrame() {
    if (s_.currentPage > 1) DisplayFrame(s_.currentPage - 1);
    return s_.status;
}

void Frames::TurnPageInContinuousView(PageTurn turn) {
    const int32_t alignment = s_.imageAlignment;
    const bool keepPosition = s_.keepImagePosition;
    s_.imageAlignment = turn == PageTurn::Previous ? BottomCenter : TopCenter;
    s_.keepImagePosition = false;
    s_.pageTransition = true;
    if (turn == PageTurn::Previous) DisplayPreviousFrame();
    else DisplayNextFrame();
    s_.pageTransition = false;
    s_.imageAlignment = alignment;
    s_.keepImagePosition = keepPosition;
}

int32_t Frames::DisplayFirstFrame() {
    if (s_.currentPage != 1) DisplayFrame(1);
    return s_.status;
}

int32_t Frames::DisplayLastFrame() {
    if (s_.currentPage != s_.pageCount) DisplayFrame(s_.pageCount);
    return s_.status;
}

// ---------------------------------------------------------------------------
// Animation

int32_t Frames::PlayGif() {
    if (s_.status == 0 && !s_.playing && s_.animatedGif) {
        s_.animateGif = true;
        s_.playing = true;
        host_.killAnimationTimer();
        s_.animTimer = 0;
        s_.nextAnimFrame = 1;
        animationStep();
        host_.enableMenuItem(FrameMenuItem::StopGifAnimation, true);
        host_.enableMenuItem(FrameMenuItem::PlayGif, false);
    }
    return s_.status;
}

void Frames::StopGif() {
    stopPlaying();
    s_.animateGif = false;
}

// Stops a running animation; the shown frame stays.
void Frames::stopPlaying() {
    host_.killAnimationTimer();
    s_.animTimer = 0;
    host_.enableMenuItem(FrameMenuItem::StopGifAnimation, false);
    host_.enableMenuItem(FrameMenuItem::PlayGif, s_.animatedGif);
    s_.playing = false;
}

// A new value is stored and plays or stops. Writing true again keeps the
// animation and the flag (stopping there would turn the animation off and
// store False for a host that only repeated itself).
void Frames::SetAnimateGif(bool value) {
    if (value) {
        s_.animateGif = true;
        PlayGif();
    } else {
        StopGif();
    }
}

void Frames::OnAnimationTimer() {
    s_.animTimer = 0;
    animationStep();
}

void Frames::animationStep() {
    if (!s_.playing) return;
    if (s_.workingImage != 0) {
        renderer_.DiscardWorkingCopy();
        layout_.ReadImageMetrics(s_.currentImage);
        layout_.UpdateLayout(s_.currentImage);
    }
    // Frames may have gone while playing: start again from the first.
    if (s_.nextAnimFrame < 1 || s_.nextAnimFrame > s_.pageCount) s_.nextAnimFrame = 1;
    DisplayFrame(s_.nextAnimFrame);
    if (!s_.playing) return;  // a handler of the page change stopped it
    const size_t index = static_cast<size_t>(s_.nextAnimFrame - 1);
    const int32_t delay = index < s_.frameDelaysMs.size() ? s_.frameDelaysMs[index] : kDefaultFrameDelayMs;
    host_.startAnimationTimer(static_cast<uint32_t>(std::max(delay, 0)));
    s_.animTimer = static_cast<int32_t>(kAnimationTimerId);
    s_.nextAnimFrame = s_.nextAnimFrame >= s_.pageCount ? 1 : s_.nextAnimFrame + 1;
}

// ---------------------------------------------------------------------------
// Reset

void Frames::ResetForNewDocument(bool keepPageCount) {
    host_.enableMenuItem(FrameMenuItem::PlayGif, false);
    host_.enableMenuItem(FrameMenuItem::StopGifAnimation, false);
    if (!keepPageCount) s_.pageCount = 0;
    s_.currentPage = 0;
    s_.documentType = DocumentTypeNone;
    if (s_.playing) stopPlaying();
    s_.animatedGif = false;
}

}  // namespace orrery::viewer
