// The window layer's modal dialogs as Qt shows them. Each takes the widget
// the dialog belongs to (null for none) and answers as the window layer
// expects: a button number, a menu item id or 0, a path or "", a text or "".
#pragma once
#include <cstdint>
#include <string>

#include <QPoint>
#include <QString>

#include "orrery/window/window.h"

class QWidget;

namespace orrery::qt {

// The box's buttons, icon and default button; the application's display
// name when the title is empty. Closed without a choice (Escape where the
// box allows it), it answers Cancel when it has one, else its default button.
int32_t showMessageBox(QWidget* parent, const window::MessageBoxRequest& request);

// The menu at `globalPos`; the chosen item's id, or 0 when dismissed.
int32_t showPopupMenu(QWidget* parent, const window::PopupMenuRequest& request, QPoint globalPos);

// "Images|*.png;*.jpg|All files|*.*" as Qt writes it:
// "Images (*.png *.jpg);;All files (*.*)". A trailing description without a
// pattern is dropped.
QString qtFileFilter(const std::string& filter);

std::string showOpenFileDialog(QWidget* parent, const window::OpenFileRequest& request);
std::string showInputBox(QWidget* parent, const window::InputBoxRequest& request);

}  // namespace orrery::qt
