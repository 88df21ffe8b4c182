// Frames, pages and animation: which frame or page of the shown document is
// current, the page-navigation menu items, GIF animation on a one-shot window
// timer, and the frame part of the reset before a new document.
#pragma once
#include <cstdint>
#include <string>

#include "viewer/layout.h"
#include "viewer/render.h"
#include "viewer/view_state.h"

namespace orrery::viewer {

// The animation timer's identifier on the control's window.
inline constexpr uint32_t kAnimationTimerId = 2;

// The context-menu items whose enabled state follows the pages.
enum class FrameMenuItem { GotoNext, GotoPrevious, GotoFirst, GotoLast, PlayGif, StopGifAnimation };

// What the frame engine needs from the control around it.
class FramesHost {
public:
    virtual ~FramesHost() = default;
    virtual void enableMenuItem(FrameMenuItem item, bool enabled) = 0;
    // Clears the control's drawing surface (a frame that cannot be shown).
    virtual void clearDrawingSurface() = 0;
    virtual void raisePageChange() = 0;
    // One-shot timer: the host kills it when it fires, before the step runs.
    virtual void startAnimationTimer(uint32_t delayMs) = 0;
    virtual void killAnimationTimer() = 0;
    virtual std::string formatName(int32_t image) const = 0;
    // Renders page `page` of the open PDF and shows it; returns the status.
    virtual int32_t renderPdfPage(int32_t page) = 0;
};

class Frames {
public:
    Frames(ViewState& state, FramesHost& host, Layout& layout, Renderer& renderer)
        : s_(state), host_(host), layout_(layout), renderer_(renderer) {}

    // The frame structure of the current document: page count, GIF delays,
    // whether it animates, and the menu items.
    void ReadFrameStructure();
    // The metrics of the current image, then its frame structure: what a new
    // document, DisplayFrame and Redraw read.
    void ReadCurrentImage();

    int32_t DisplayFrame(int32_t frame);
    int32_t DisplayNextFrame();
    int32_t DisplayPreviousFrame();
    int32_t DisplayFirstFrame();
    int32_t DisplayLastFrame();

    // Continuous view turns pages when a drag or the wheel goes past the top
    // of a page (the previous page shows from its bottom) or past its bottom
    // (the next page shows from its top); the alignment and the kept
    // position are the host's again afterwards.
    enum class PageTurn { Previous, Next };
    void TurnPageInContinuousView(PageTurn turn);

    int32_t PlayGif();
    void StopGif();
    // The AnimateGIF let.
    void SetAnimateGif(bool value);
    // The animation timer fired (already killed by the host).
    void OnAnimationTimer();

    // The frame steps of the reset for a new document: the GIF items
    // disabled, the page count cleared unless kept, the current page
    // cleared, a playing animation stopped, no animation.
    void ResetForNewDocument(bool keepPageCount);
    // The page of the first frame after a new image is shown.
    void SetCurrentPageOfNewImage(int32_t page) { s_.currentPage = page; }

private:
    void animationStep();
    void stopPlaying();
    int32_t selectFrame(int32_t frame);
    void updateNavigationItems();
    void readGifDelays();

    ViewState& s_;
    FramesHost& host_;
    Layout& layout_;
    Renderer& renderer_;
};

}  // namespace orrery::viewer
