#include "orrery/window/headless_backend.h"
#include "platform/window/control_window.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

using namespace orrery::window;

namespace {

// Records timer firings with the clock reading, and runs a hook per firing.
class TimerOwner : public WindowOwner {
public:
    explicit TimerOwner(HeadlessBackend& b) : backend(b) {}
    void onTimer(uint32_t id) override {
        fired.emplace_back(id, backend.now());
        if (hook) hook(id);
    }
    HeadlessBackend& backend;
    std::vector<std::pair<uint32_t, int64_t>> fired;
    std::function<void(uint32_t)> hook;
};

using Firings = std::vector<std::pair<uint32_t, int64_t>>;

// A window whose owner records timer firings.
struct Clocked {
    Clocked() { w.setOwner(&owner); }
    HeadlessBackend backend;
    ControlWindow w{backend};
    TimerOwner owner{backend};
};

}  // namespace

TEST(HeadlessTimers, FireInOrderOfDueTimeWithTheClockAtEachFiring) {
    Clocked c;
    HeadlessBackend& backend = c.backend;
    ControlWindow& w = c.w;
    TimerOwner& owner = c.owner;
    w.setTimer(1, 30);
    w.setTimer(2, 20);
    const auto r = backend.advance(65);
    EXPECT_EQ(r.fired, 5u);
    EXPECT_FALSE(r.truncated);
    // At 60 both are due; timer 1 was rescheduled earlier (at 30), so it goes first.
    EXPECT_EQ(owner.fired, (Firings{{2, 20}, {1, 30}, {2, 40}, {1, 60}, {2, 60}}));
    EXPECT_EQ(backend.now(), 65);
    EXPECT_TRUE(backend.hasTimer(w, 1));
}

TEST(HeadlessTimers, EqualDueTimesFireInOrderOfScheduling) {
    Clocked c;
    HeadlessBackend& backend = c.backend;
    ControlWindow& w = c.w;
    TimerOwner& owner = c.owner;
    w.setTimer(9, 50);
    w.setTimer(2, 50);
    w.setTimer(5, 25);
    backend.advance(50);
    // 5 fires at 25 and is rescheduled for 50 after 9 and 2 were.
    EXPECT_EQ(owner.fired, (Firings{{5, 25}, {9, 50}, {2, 50}, {5, 50}}));
}

TEST(HeadlessTimers, ResettingRestartsTheIntervalAndShortIntervalsAreRaised) {
    Clocked c;
    HeadlessBackend& backend = c.backend;
    ControlWindow& w = c.w;
    TimerOwner& owner = c.owner;
    w.setTimer(7, 100);
    backend.advance(90);
    w.setTimer(7, 100);  // restarts from 90
    backend.advance(50);
    EXPECT_TRUE(owner.fired.empty());
    backend.advance(50);
    EXPECT_EQ(owner.fired, (Firings{{7, 190}}));
    w.setTimer(8, 0);
    EXPECT_EQ(backend.timerInterval(w, 8), 10u);
    EXPECT_FALSE(w.setTimer(kReservedTimerBase + 5, 100));
    EXPECT_FALSE(backend.hasTimer(w, kReservedTimerBase + 5));
}

TEST(HeadlessTimers, KillInsideTheCallbackStopsIt) {
    Clocked c;
    HeadlessBackend& backend = c.backend;
    ControlWindow& w = c.w;
    TimerOwner& owner = c.owner;
    // A one-shot timer is the owner's business: it kills itself when it fires.
    owner.hook = [&](uint32_t id) { w.killTimer(id); };
    w.setTimer(3, 1000);
    w.setTimer(4, 1000);
    backend.advance(5000);
    EXPECT_EQ(owner.fired, (Firings{{3, 1000}, {4, 1000}}));
    EXPECT_EQ(backend.timerCount(), 0u);
}

TEST(HeadlessTimers, KillingAnotherDueTimerInsideACallbackPreventsItsFiring) {
    Clocked c;
    HeadlessBackend& backend = c.backend;
    ControlWindow& w = c.w;
    TimerOwner& owner = c.owner;
    owner.hook = [&](uint32_t id) {
        if (id == 1) w.killTimer(2);
    };
    w.setTimer(1, 50);
    w.setTimer(2, 50);
    backend.advance(200);
    EXPECT_EQ(owner.fired, (Firings{{1, 50}, {1, 100}, {1, 150}, {1, 200}}));
}

TEST(HeadlessTimers, TimersSetByCallbacksFireInTheSameAdvance) {
    Clocked c;
    HeadlessBackend& backend = c.backend;
    ControlWindow& w = c.w;
    TimerOwner& owner = c.owner;
    owner.hook = [&](uint32_t id) {
        w.killTimer(id);
        if (id < 3) w.setTimer(id + 1, 100);  // a chain of one-shots
    };
    w.setTimer(1, 100);
    backend.advance(1000);
    EXPECT_EQ(owner.fired, (Firings{{1, 100}, {2, 200}, {3, 300}}));
}

TEST(HeadlessTimers, NestedAdvanceMovesNoTime) {
    Clocked c;
    HeadlessBackend& backend = c.backend;
    ControlWindow& w = c.w;
    TimerOwner& owner = c.owner;
    int64_t seenInside = -1;
    owner.hook = [&](uint32_t) {
        w.killTimer(1);
        backend.advance(10000);  // a callback that lets the loop run
        seenInside = backend.now();
    };
    w.setTimer(1, 100);
    backend.advance(500);
    EXPECT_EQ(seenInside, 100);
    EXPECT_EQ(backend.now(), 500);
}

TEST(HeadlessTimers, ProcessPendingEventsFiresOnlyWhatIsDue) {
    Clocked c;
    HeadlessBackend& backend = c.backend;
    ControlWindow& w = c.w;
    TimerOwner& owner = c.owner;
    w.setTimer(1, 10);
    backend.processPendingEvents();
    EXPECT_TRUE(owner.fired.empty());
    EXPECT_EQ(backend.now(), 0);
}

TEST(HeadlessTimers, FiringsAreBounded) {
    Clocked c;
    HeadlessBackend& backend = c.backend;
    ControlWindow& w = c.w;
    TimerOwner& owner = c.owner;
    w.setTimer(1, 10);
    const auto r = backend.advance(int64_t{10} * (HeadlessBackend::kMaxFirings + 50));
    EXPECT_TRUE(r.truncated);
    EXPECT_EQ(r.fired, HeadlessBackend::kMaxFirings);
    EXPECT_EQ(owner.fired.size(), HeadlessBackend::kMaxFirings);
}

TEST(HeadlessTimers, TheClockSaturatesInsteadOfOverflowing) {
    HeadlessBackend backend;
    backend.advance(INT64_MAX);
    backend.advance(INT64_MAX);
    EXPECT_EQ(backend.now(), HeadlessBackend::kClockLimit);
    ControlWindow w(backend);
    w.setTimer(1, 0xFFFFFFFFu);
    EXPECT_EQ(backend.timerInterval(w, 1), 0x7FFFFFFFu);
}

TEST(HeadlessTimers, DestroyingAWindowForgetsItsTimers) {
    HeadlessBackend backend;
    TimerOwner owner(backend);
    {
        ControlWindow w(backend);
        w.setOwner(&owner);
        w.setTimer(1, 10);
        EXPECT_EQ(backend.timerCount(), 1u);
    }
    EXPECT_EQ(backend.timerCount(), 0u);
    backend.advance(100);
    EXPECT_TRUE(owner.fired.empty());
}

TEST(HeadlessMessageBoxes, RecordedAndAnsweredByTheDefaultButton) {
    HeadlessBackend backend;
    ControlWindow w(backend);
    EXPECT_EQ(w.messageBox("Can not display image error no: 3", vbCritical), vbOK);
    EXPECT_EQ(w.messageBox("Save?", vbYesNo + vbQuestion + vbDefaultButton2, "Viewer"), vbNo);
    EXPECT_EQ(w.messageBox("Retry?", vbRetryCancel + vbExclamation), vbRetry);
    ASSERT_EQ(backend.messageBoxes().size(), 3u);
    const auto& first = backend.messageBoxes()[0];
    EXPECT_EQ(first.hwnd, w.hwnd());
    EXPECT_EQ(first.request.text, "Can not display image error no: 3");
    EXPECT_EQ(first.request.title, "");  // the platform's default title
    EXPECT_EQ(first.request.buttons, vbOKOnly);
    EXPECT_EQ(first.request.icon, vbCritical);
    const auto& second = backend.messageBoxes()[1];
    EXPECT_EQ(second.request.title, "Viewer");
    EXPECT_EQ(second.request.buttons, vbYesNo);
    EXPECT_EQ(second.request.icon, vbQuestion);
    EXPECT_EQ(second.request.defaultButton, 1);
    EXPECT_EQ(second.answer, vbNo);
    EXPECT_EQ(backend.messageBoxes()[2].request.icon, vbExclamation);
}

TEST(HeadlessMessageBoxes, ScriptedAnswersInOrderAndInvalidOnesFallBack) {
    HeadlessBackend backend;
    ControlWindow w(backend);
    backend.queueMessageBoxAnswer(vbNo);
    backend.queueMessageBoxAnswer(vbCancel);  // not a button of vbYesNo
    backend.queueMessageBoxAnswer(vbCancel);
    EXPECT_EQ(w.messageBox("a", vbYesNo), vbNo);
    EXPECT_EQ(w.messageBox("b", vbYesNo), vbYes);
    EXPECT_EQ(w.messageBox("c", vbOKCancel + vbInformation), vbCancel);
    EXPECT_EQ(w.messageBox("d", vbOKCancel), vbOK);  // queue used up
    EXPECT_EQ(backend.messageBoxes()[1].answer, vbYes);
    backend.clearRecords();
    EXPECT_TRUE(backend.messageBoxes().empty());
}

TEST(HeadlessMessageBoxes, StyleSplitsAndUnknownSetsShowOk) {
    const MessageBoxRequest r = MessageBoxRequest::fromStyle("t", vbYesNoCancel + vbCritical + vbDefaultButton3, "x");
    EXPECT_EQ(r.buttons, vbYesNoCancel);
    EXPECT_EQ(r.icon, vbCritical);
    EXPECT_EQ(r.defaultButton, 2);
    EXPECT_EQ(defaultAnswer(r), vbCancel);
    // A default button beyond the set is the first one.
    EXPECT_EQ(MessageBoxRequest::fromStyle("t", vbOKOnly + vbDefaultButton3, "").defaultButton, 0);
    EXPECT_EQ(buttonsOf(9), std::vector<int32_t>{vbOK});
    EXPECT_EQ(buttonsOf(vbAbortRetryIgnore), (std::vector<int32_t>{vbAbort, vbRetry, vbIgnore}));
}

TEST(HeadlessMenus, ScriptedChoiceMustBeSelectable) {
    HeadlessBackend backend;
    ControlWindow w(backend);
    PopupMenuRequest menu;
    menu.items = {{1, "Zoom in", true, false, false, {}},
                  {0, "", true, false, true, {}},
                  {2, "Print", false, false, false, {}},
                  {3, "Scroll bars", true, true, false, {}}};
    menu.x = 10;
    menu.y = 20;
    backend.queuePopupMenuAnswer(3);
    backend.queuePopupMenuAnswer(2);   // disabled
    backend.queuePopupMenuAnswer(42);  // no such item
    EXPECT_EQ(w.popupMenu(menu), 3);
    EXPECT_EQ(w.popupMenu(menu), 0);
    EXPECT_EQ(w.popupMenu(menu), 0);
    EXPECT_EQ(w.popupMenu(menu), 0);  // dismissed when nothing is scripted
    ASSERT_EQ(backend.popupMenus().size(), 4u);
    EXPECT_EQ(backend.popupMenus()[0].request.items[3].caption, "Scroll bars");
    EXPECT_TRUE(backend.popupMenus()[0].request.items[3].checked);
    EXPECT_EQ(backend.popupMenus()[0].request.y, 20);
}

TEST(HeadlessFileDialogs, ScriptedPathsThenCancel) {
    HeadlessBackend backend;
    ControlWindow w(backend);
    backend.queueOpenFileAnswer("/tmp/a.png");
    OpenFileRequest req;
    req.title = "Open";
    req.filter = "Images|*.png";
    EXPECT_EQ(w.openFileDialog(req), "/tmp/a.png");
    EXPECT_EQ(w.openFileDialog(req), "");
    ASSERT_EQ(backend.openFileDialogs().size(), 2u);
    EXPECT_EQ(backend.openFileDialogs()[0].request.filter, "Images|*.png");
    EXPECT_EQ(backend.openFileDialogs()[1].answer, "");
}

TEST(HeadlessFocus, FocusMovesBetweenWindows) {
    struct FocusOwner : WindowOwner {
        void onFocus(FocusTarget t, FocusChange c) override { log.emplace_back(t, c); }
        std::vector<std::pair<FocusTarget, FocusChange>> log;
    };
    HeadlessBackend backend;
    ControlWindow a(backend), b(backend);
    FocusOwner oa, ob;
    a.setOwner(&oa);
    b.setOwner(&ob);
    backend.focus(a);
    EXPECT_EQ(backend.focusedWindow(), &a);
    EXPECT_EQ(a.focus(), FocusTarget::Control);
    EXPECT_TRUE(b.setFocus(FocusTarget::Control));  // b asks the host for the focus
    EXPECT_EQ(backend.focusedWindow(), &b);
    EXPECT_EQ(a.focus(), FocusTarget::None);
    using P = std::pair<FocusTarget, FocusChange>;
    EXPECT_EQ(oa.log, (std::vector<P>{{FocusTarget::Control, FocusChange::Gained},
                                      {FocusTarget::Control, FocusChange::Lost}}));
    EXPECT_EQ(ob.log, (std::vector<P>{{FocusTarget::Control, FocusChange::Gained}}));
    backend.blur();
    EXPECT_EQ(backend.focusedWindow(), nullptr);
    EXPECT_EQ(ob.log.back(), (P{FocusTarget::Control, FocusChange::Lost}));
}
