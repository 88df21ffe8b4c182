// Input in progress on this thread. All controls of a user-interface thread
// share one record: a wheel turn is acted on only while no mouse press, key,
// mouse move, layout or refresh of any of them is being handled, so that a
// wheel step never runs inside another handler through the nested key
// messages it sends.
#pragma once

namespace orrery::viewer {

struct ThreadInputFlags {
    bool mouseButtonHeld = false;      // from mouse-down handling to the end of mouse-up handling
    bool keyHeld = false;              // from key-down to the end of key-up handling
    bool mouseMoveInProgress = false;  // during mouse-move handling
    bool busy = false;                 // during a layout pass or a refresh
    bool wheelStep = false;            // during a wheel step

    bool wheelBlocked() const { return wheelStep || keyHeld || mouseButtonHeld || mouseMoveInProgress || busy; }
    // What terminating a control clears.
    void clearForTerminate() { mouseButtonHeld = keyHeld = mouseMoveInProgress = busy = false; }
};

inline ThreadInputFlags& threadInputFlags() {
    thread_local ThreadInputFlags flags;
    return flags;
}

// Sets one flag for a scope and gives it back the value it had, so that a
// nested handler does not clear what an outer one set.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag), saved_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = saved_; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
    bool saved_;
};

}  // namespace orrery::viewer
