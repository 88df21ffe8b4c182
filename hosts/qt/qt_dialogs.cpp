#include "qt_dialogs.h"

#include <algorithm>
#include <vector>

#include <QAbstractButton>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

namespace orrery::qt {

namespace {

QString fromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QMessageBox::StandardButton standardButton(int32_t answer) {
    switch (answer) {
        case window::vbOK: return QMessageBox::Ok;
        case window::vbCancel: return QMessageBox::Cancel;
        case window::vbAbort: return QMessageBox::Abort;
        case window::vbRetry: return QMessageBox::Retry;
        case window::vbIgnore: return QMessageBox::Ignore;
        case window::vbYes: return QMessageBox::Yes;
        case window::vbNo: return QMessageBox::No;
        default: return QMessageBox::NoButton;
    }
}

QMessageBox::Icon boxIcon(int32_t icon) {
    switch (icon) {
        case window::vbCritical: return QMessageBox::Critical;
        case window::vbQuestion: return QMessageBox::Question;
        case window::vbExclamation: return QMessageBox::Warning;
        case window::vbInformation: return QMessageBox::Information;
        default: return QMessageBox::NoIcon;
    }
}

void addItems(QMenu& menu, const std::vector<window::MenuItem>& items) {
    for (const window::MenuItem& item : items) {
        if (item.separator) {
            menu.addSeparator();
            continue;
        }
        if (item.isSubmenu()) {
            QMenu* sub = menu.addMenu(fromUtf8(item.caption));
            sub->setEnabled(item.enabled);
            addItems(*sub, item.items);
            continue;
        }
        QAction* action = menu.addAction(fromUtf8(item.caption));
        action->setEnabled(item.enabled && item.id != 0);
        action->setCheckable(item.checked);
        action->setChecked(item.checked);
        action->setData(item.id);
    }
}

}  // namespace

int32_t showMessageBox(QWidget* parent, const window::MessageBoxRequest& request) {
    const QString title =
        request.title.empty() ? QGuiApplication::applicationDisplayName() : fromUtf8(request.title);
    QMessageBox box(boxIcon(request.icon), title, fromUtf8(request.text), QMessageBox::NoButton, parent);
    const std::vector<int32_t> answers = window::buttonsOf(request.buttons);
    std::vector<std::pair<QPushButton*, int32_t>> buttons;
    for (const int32_t answer : answers) buttons.emplace_back(box.addButton(standardButton(answer)), answer);
    box.setDefaultButton(buttons[static_cast<size_t>(request.defaultButton)].first);
    const bool hasCancel = std::find(answers.begin(), answers.end(), window::vbCancel) != answers.end();
    if (hasCancel) box.setEscapeButton(box.button(QMessageBox::Cancel));
    else if (answers.size() == 1) box.setEscapeButton(buttons.front().first);
    box.exec();
    for (const auto& [button, answer] : buttons)
        if (box.clickedButton() == button) return answer;
    return hasCancel ? static_cast<int32_t>(window::vbCancel) : window::defaultAnswer(request);
}

int32_t showPopupMenu(QWidget* parent, const window::PopupMenuRequest& request, QPoint globalPos) {
    QMenu menu(parent);
    addItems(menu, request.items);
    const QAction* chosen = menu.exec(globalPos);
    if (!chosen) return 0;
    const int32_t id = chosen->data().toInt();
    return window::isChoosable(request.items, id) ? id : 0;
}

QString qtFileFilter(const std::string& filter) {
    const QStringList parts = fromUtf8(filter).split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        entries << QStringLiteral("%1 (%2)").arg(parts[i], patterns.simplified());
    }
    return entries.join(QStringLiteral(";;"));
}

std::string showOpenFileDialog(QWidget* parent, const window::OpenFileRequest& request) {
    const QString path = QFileDialog::getOpenFileName(parent, fromUtf8(request.title), fromUtf8(request.initialDir),
                                                      qtFileFilter(request.filter));
    return path.toStdString();
}

std::string showInputBox(QWidget* parent, const window::InputBoxRequest& request) {
    bool accepted = false;
    const QString text = QInputDialog::getText(parent, fromUtf8(request.title), fromUtf8(request.prompt),
                                               QLineEdit::Normal, fromUtf8(request.defaultText), &accepted);
    return accepted ? text.toStdString() : std::string();
}

}  // namespace orrery::qt
