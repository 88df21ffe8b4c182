// Qt's keys as the platform's virtual-key numbers, and the open-file
// dialog's filter in Qt's form.
#include <gtest/gtest.h>

#include "key_codes.h"
#include "orrery/window/window.h"
#include "qt_dialogs.h"

namespace orrery::qt {
namespace {

TEST(VirtualKey, KeypadKeysHaveNumbersOfTheirOwn) {
    EXPECT_EQ(virtualKey(Qt::Key_Plus, Qt::KeypadModifier), 107);
    EXPECT_EQ(virtualKey(Qt::Key_Minus, Qt::KeypadModifier), 109);
    EXPECT_EQ(virtualKey(Qt::Key_0, Qt::KeypadModifier), 0x60);
    EXPECT_EQ(virtualKey(Qt::Key_7, Qt::KeypadModifier), 0x67);
    EXPECT_EQ(virtualKey(Qt::Key_Asterisk, Qt::KeypadModifier), 0x6A);
    EXPECT_EQ(virtualKey(Qt::Key_Slash, Qt::KeypadModifier), 0x6F);
    // The main keyboard's plus, minus and digits are other keys.
    EXPECT_EQ(virtualKey(Qt::Key_Plus, Qt::NoModifier), 0xBB);
    EXPECT_EQ(virtualKey(Qt::Key_Minus, Qt::NoModifier), 0xBD);
    EXPECT_EQ(virtualKey(Qt::Key_7, Qt::NoModifier), '7');
    // Keypad keys without a number of their own (navigation with Num Lock
    // off) keep the main key's.
    EXPECT_EQ(virtualKey(Qt::Key_Home, Qt::KeypadModifier), window::VK_HOME);
    EXPECT_EQ(virtualKey(Qt::Key_Enter, Qt::KeypadModifier), 0x0D);
}

TEST(VirtualKey, NavigationLettersAndFunctionKeys) {
    const struct {
        int qt;
        int32_t vk;
    } keys[] = {{Qt::Key_PageUp, window::VK_PRIOR}, {Qt::Key_PageDown, window::VK_NEXT},
                {Qt::Key_End, window::VK_END},      {Qt::Key_Home, window::VK_HOME},
                {Qt::Key_Left, window::VK_LEFT},    {Qt::Key_Up, window::VK_UP},
                {Qt::Key_Right, window::VK_RIGHT},  {Qt::Key_Down, window::VK_DOWN},
                {Qt::Key_A, 'A'},                   {Qt::Key_Z, 'Z'},
                {Qt::Key_F1, 0x70},                 {Qt::Key_F12, 0x7B},
                {Qt::Key_F24, 0x87},                {Qt::Key_Escape, 0x1B},
                {Qt::Key_Return, 0x0D},             {Qt::Key_Delete, 0x2E},
                {Qt::Key_Shift, 0x10},              {Qt::Key_Control, 0x11}};
    for (const auto& key : keys) EXPECT_EQ(virtualKey(key.qt, Qt::NoModifier), key.vk) << key.qt;
    // Keys the platform does not number.
    EXPECT_EQ(virtualKey(Qt::Key_MediaPlay, Qt::NoModifier), 0);
    EXPECT_EQ(virtualKey(Qt::Key_unknown, Qt::NoModifier), 0);
}

TEST(ShiftMask, ModifiersAddUp) {
    EXPECT_EQ(shiftMask(Qt::NoModifier), 0);
    EXPECT_EQ(shiftMask(Qt::ShiftModifier), window::vbShiftMask);
    EXPECT_EQ(shiftMask(Qt::ControlModifier | Qt::AltModifier), window::vbCtrlMask | window::vbAltMask);
    EXPECT_EQ(shiftMask(Qt::ShiftModifier | Qt::KeypadModifier | Qt::MetaModifier), window::vbShiftMask);
}

TEST(QtFileFilter, PairsBecomeQtEntries) {
    EXPECT_EQ(qtFileFilter("Images|*.png;*.jpg|All files|*.*"),
              QStringLiteral("Images (*.png *.jpg);;All files (*.*)"));
    EXPECT_EQ(qtFileFilter("Pictures|*.bmp; *.gif"), QStringLiteral("Pictures (*.bmp *.gif)"));
    EXPECT_EQ(qtFileFilter(""), QString());
    // A description without patterns is dropped.
    EXPECT_EQ(qtFileFilter("Bitmaps|*.bmp|Broken"), QStringLiteral("Bitmaps (*.bmp)"));
}

}  // namespace
}  // namespace orrery::qt
