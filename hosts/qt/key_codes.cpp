#include "key_codes.h"

#include "orrery/window/window.h"

namespace orrery::qt {

namespace {

// Keypad keys with numbers of their own.
int32_t keypadKey(int qtKey) {
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return 0x60 + (qtKey - Qt::Key_0);  // VK_NUMPAD0..9
    switch (qtKey) {
        case Qt::Key_Asterisk: return 0x6A;  // VK_MULTIPLY
        case Qt::Key_Plus: return window::VK_ADD;
        case Qt::Key_Minus: return window::VK_SUBTRACT;
        case Qt::Key_Period:
        case Qt::Key_Comma: return 0x6E;  // VK_DECIMAL
        case Qt::Key_Slash: return 0x6F;  // VK_DIVIDE
        default: return 0;
    }
}

int32_t namedKey(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Backspace: return 0x08;
        case Qt::Key_Tab:
        case Qt::Key_Backtab: return 0x09;
        case Qt::Key_Clear: return 0x0C;
        case Qt::Key_Return:
        case Qt::Key_Enter: return 0x0D;
        case Qt::Key_Shift: return 0x10;
        case Qt::Key_Control: return 0x11;
        case Qt::Key_Alt: return 0x12;
        case Qt::Key_Pause: return 0x13;
        case Qt::Key_CapsLock: return 0x14;
        case Qt::Key_Escape: return 0x1B;
        case Qt::Key_Space: return 0x20;
        case Qt::Key_PageUp: return window::VK_PRIOR;
        case Qt::Key_PageDown: return window::VK_NEXT;
        case Qt::Key_End: return window::VK_END;
        case Qt::Key_Home: return window::VK_HOME;
        case Qt::Key_Left: return window::VK_LEFT;
        case Qt::Key_Up: return window::VK_UP;
        case Qt::Key_Right: return window::VK_RIGHT;
        case Qt::Key_Down: return window::VK_DOWN;
        case Qt::Key_Print: return 0x2C;
        case Qt::Key_Insert: return 0x2D;
        case Qt::Key_Delete: return 0x2E;
        case Qt::Key_Help: return 0x2F;
        case Qt::Key_Meta: return 0x5B;
        case Qt::Key_Menu: return 0x5D;
        case Qt::Key_NumLock: return 0x90;
        case Qt::Key_ScrollLock: return 0x91;
        // The main keyboard's punctuation (US layout numbers).
        case Qt::Key_Semicolon:
        case Qt::Key_Colon: return 0xBA;
        case Qt::Key_Plus:
        case Qt::Key_Equal: return 0xBB;
        case Qt::Key_Comma:
        case Qt::Key_Less: return 0xBC;
        case Qt::Key_Minus:
        case Qt::Key_Underscore: return 0xBD;
        case Qt::Key_Period:
        case Qt::Key_Greater: return 0xBE;
        case Qt::Key_Slash:
        case Qt::Key_Question: return 0xBF;
        case Qt::Key_QuoteLeft:
        case Qt::Key_AsciiTilde: return 0xC0;
        case Qt::Key_BracketLeft:
        case Qt::Key_BraceLeft: return 0xDB;
        case Qt::Key_Backslash:
        case Qt::Key_Bar: return 0xDC;
        case Qt::Key_BracketRight:
        case Qt::Key_BraceRight: return 0xDD;
        case Qt::Key_Apostrophe:
        case Qt::Key_QuoteDbl: return 0xDE;
        default: return 0;
    }
}

}  // namespace

int32_t virtualKey(int qtKey, Qt::KeyboardModifiers modifiers) {
    if (modifiers.testFlag(Qt::KeypadModifier)) {
        if (const int32_t key = keypadKey(qtKey)) return key;
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return 'A' + (qtKey - Qt::Key_A);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return '0' + (qtKey - Qt::Key_0);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return 0x70 + (qtKey - Qt::Key_F1);  // VK_F1..VK_F24
    return namedKey(qtKey);
}

int32_t shiftMask(Qt::KeyboardModifiers modifiers) {
    int32_t mask = 0;
    if (modifiers.testFlag(Qt::ShiftModifier)) mask |= window::vbShiftMask;
    if (modifiers.testFlag(Qt::ControlModifier)) mask |= window::vbCtrlMask;
    if (modifiers.testFlag(Qt::AltModifier)) mask |= window::vbAltMask;
    return mask;
}

}  // namespace orrery::qt
