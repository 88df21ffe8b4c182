#include "viewer_window.h"

#include <cmath>

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QKeySequence>
#include <QLocale>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>

#include "control/document_url.h"
#include "control/orrery.h"
#include "net/cinet.h"
#include "orrery/quillon_status.h"
#include "platform/inet/wininet.h"
#include "tag_list.h"

namespace orrery::view {

namespace {

constexpr int kZoomFit = 2;
const QString kApplyOrientationKey = QStringLiteral("applyExifOrientation");

bool IsDocumentUrlText(const QString& text) { return control::IsDocumentUrl(text.toStdString()); }

QString fileFilter() {
    return QStringLiteral("Pictures and documents (%1);;All files (*)").arg(viewablePatterns().join(' '));
}

}  // namespace

ViewerWindow::ViewerWindow(QWidget* parent)
    : QMainWindow(parent),
      viewer_(new qt::OrreryWidget(this)),
      infoDock_(new QDockWidget(tr("Information"), this)),
      info_(new QTreeWidget(infoDock_)),
      name_(new QLabel(this)),
      format_(new QLabel(this)),
      size_(new QLabel(this)),
      zoom_(new QLabel(this)),
      page_(new QLabel(this)),
      progress_(new QProgressBar(this)),
      cancel_(new QPushButton(tr("Cancel"), this)) {
    setWindowTitle(QStringLiteral("orrery-view"));
    setCentralWidget(viewer_);
    control::Orrery& c = viewer_->control();
    c.setSilentMode(true);
    c.setZoomMode(kZoomFit);
    c.setViewerDrop(true);
    connect(viewer_, &qt::OrreryWidget::controlEvent, this, &ViewerWindow::onControlEvent);

    info_->setColumnCount(2);
    info_->setHeaderLabels({tr("Fact"), tr("Value")});
    info_->setRootIsDecorated(false);
    info_->setContextMenuPolicy(Qt::ActionsContextMenu);
    infoDock_->setObjectName(QStringLiteral("information"));
    infoDock_->setWidget(info_);
    addDockWidget(Qt::RightDockWidgetArea, infoDock_);
    infoDock_->hide();

    statusBar()->addWidget(name_, 1);
    for (QLabel* label : {format_, size_, zoom_, page_}) statusBar()->addPermanentWidget(label);
    progress_->setFormat(tr("%v of %m bytes"));
    statusBar()->addPermanentWidget(progress_);
    statusBar()->addPermanentWidget(cancel_);
    connect(cancel_, &QPushButton::clicked, this, [this] {
        cancelRequested_ = true;
        viewer_->control().DisplayFromURLStop();
    });
    showTransfer(false);
    buildMenus();

    QSettings settings;
    restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray());
    restoreState(settings.value(QStringLiteral("state")).toByteArray());
    lastFolder_ = settings.value(QStringLiteral("lastFolder")).toString();
    if (!settings.contains(QStringLiteral("geometry"))) resize(1024, 768);
    viewer_->setFocus();
    refreshStatus();
}

ViewerWindow::~ViewerWindow() = default;

template <class Call>
void ViewerWindow::act(Call call) {
    call(viewer_->control());
    refreshStatus();
}

void ViewerWindow::buildMenus() {
    auto add = [this](QMenu* menu, const QString& text, const QKeySequence& key, auto handler) {
        QAction* action = menu->addAction(text, this, handler);
        action->setShortcut(key);
        return action;
    };
    using control::Orrery;
    QMenu* file = menuBar()->addMenu(tr("&File"));
    add(file, tr("&Open..."), QKeySequence::Open, [this] { chooseFile(); });
    add(file, tr("Open &URL..."), QKeySequence(Qt::CTRL | Qt::Key_L), [this] { chooseUrl(); });
    add(file, tr("&Next File"), Qt::Key_Space, [this] { step(Step::Next); });
    add(file, tr("&Previous File"), Qt::Key_Backspace, [this] { step(Step::Previous); });
    file->addSeparator();
    add(file, tr("&Quit"), QKeySequence::Quit, [this] { close(); });

    QMenu* view = menuBar()->addMenu(tr("&View"));
    add(view, tr("&Fit"), Qt::Key_F, [this] { act([](Orrery& c) { c.SetZoomFitControl(); }); });
    add(view, tr("&Actual Size (100 %)"), Qt::Key_1, [this] { act([](Orrery& c) { c.SetZoom100(); }); });
    add(view, tr("Fit &Width"), Qt::Key_W, [this] { act([](Orrery& c) { c.SetZoomWidthControl(); }); });
    add(view, tr("Fit &Height"), Qt::Key_H, [this] { act([](Orrery& c) { c.SetZoomHeightControl(); }); });
    QAction* zoomIn = add(view, tr("Zoom &In"), Qt::Key_Plus, [this] { act([](Orrery& c) { c.ZoomIN(); }); });
    zoomIn->setShortcuts({Qt::Key_Plus, Qt::Key_Equal, QKeySequence::ZoomIn});
    QAction* zoomOut = add(view, tr("Zoom &Out"), Qt::Key_Minus, [this] { act([](Orrery& c) { c.ZoomOUT(); }); });
    zoomOut->setShortcuts({Qt::Key_Minus, QKeySequence::ZoomOut});
    view->addSeparator();
    add(view, tr("Full &Screen"), Qt::Key_F11, [this] { toggleFullScreen(); });
    QAction* information = infoDock_->toggleViewAction();
    information->setShortcut(Qt::Key_I);
    view->addAction(information);
    QAction* copy = add(view, tr("Copy &Tags"), Qt::CTRL | Qt::SHIFT | Qt::Key_C, [this] { copyTags(); });
    info_->addAction(copy);
    applyOrientation_ = view->addAction(tr("Apply EXIF &Orientation"));
    applyOrientation_->setCheckable(true);
    applyOrientation_->setChecked(QSettings().value(kApplyOrientationKey, true).toBool());
    connect(applyOrientation_, &QAction::toggled, this,
            [](bool on) { QSettings().setValue(kApplyOrientationKey, on); });

    QMenu* picture = menuBar()->addMenu(tr("&Picture"));
    add(picture, tr("Rotate &Right"), Qt::Key_R, [this] { act([](Orrery& c) { c.Rotate90(); }); });
    add(picture, tr("Rotate &Left"), Qt::SHIFT | Qt::Key_R, [this] { act([](Orrery& c) { c.Rotate270(); }); });
    add(picture, tr("Flip &Horizontally"), Qt::Key_M, [this] { act([](Orrery& c) { c.FlipX(); }); });
    add(picture, tr("Flip &Vertically"), Qt::SHIFT | Qt::Key_M, [this] { act([](Orrery& c) { c.FlipX180(); }); });
    picture->addSeparator();
    add(picture, tr("&Next Page or Frame"), Qt::Key_BracketRight,
        [this] { act([](Orrery& c) { c.DisplayNextFrame(); }); });
    add(picture, tr("P&revious Page or Frame"), Qt::Key_BracketLeft,
        [this] { act([](Orrery& c) { c.DisplayPreviousFrame(); }); });
    add(picture, tr("&Play Animation"), Qt::Key_P, [this] { act([](Orrery& c) { c.PlayGif(); }); });
    add(picture, tr("&Stop Animation"), Qt::SHIFT | Qt::Key_P, [this] { act([](Orrery& c) { c.StopGif(); }); });
    // Escape leaves full screen; elsewhere it is the control's key.
    auto* leave = new QAction(this);
    leave->setShortcut(Qt::Key_Escape);
    connect(leave, &QAction::triggered, this, [this] {
        if (isFullScreen()) toggleFullScreen();
    });
    addAction(leave);
}

// --- Files ----------------------------------------------------------------------

bool ViewerWindow::open(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const int32_t status = viewer_->control().DisplayFromFile(absolute.toStdString());
    current_ = absolute;
    folder_.showing(absolute);
    lastFolder_ = QFileInfo(absolute).absolutePath();
    setWindowTitle(QStringLiteral("%1 - orrery-view").arg(QFileInfo(absolute).fileName()));
    if (status != 0) {
        reportFailure(absolute, status);
        return false;
    }
    // As photo viewers do; the control itself shows pictures as stored.
    if (applyOrientation_->isChecked()) turnUpright(viewer_->control(), exifOrientation(viewer_->control()));
    refreshStatus();
    return true;
}

bool ViewerWindow::step(Step direction) {
    const QString next = folder_.neighbour(direction);
    return !next.isEmpty() && open(next);
}

void ViewerWindow::chooseFile() {
    const QString path = QFileDialog::getOpenFileName(this, tr("Open"), lastFolder_, fileFilter());
    if (!path.isEmpty()) open(path);
}

void ViewerWindow::chooseUrl() {
    bool ok = false;
    const QString url = QInputDialog::getText(this, tr("Open URL"), tr("http, https or ftp URL:"), QLineEdit::Normal,
                                              QString(), &ok);
    if (ok && !url.trimmed().isEmpty()) openUrl(url.trimmed());
}

bool ViewerWindow::openUrl(const QString& text) {
    if (transferring_) return false;
    control::DocumentUrl url;
    if (!control::ParseDocumentUrl(text.toStdString(), url)) {
        name_->setText(tr("Not an http, https or ftp URL: %1").arg(text));
        return false;
    }
    if (url.scheme == control::DocumentUrl::Scheme::Ftp && !url.user.empty() && !url.hasPassword) {
        bool ok = false;
        const QString password = QInputDialog::getText(this, tr("Open URL"), tr("Password of %1:")
                                                       .arg(QString::fromStdString(url.user)),
                                                       QLineEdit::Password, QString(), &ok);
        if (!ok) return false;
        url.password = password.toStdString();
    }
    current_.clear();
    setWindowTitle(QStringLiteral("%1 - orrery-view").arg(text));
    showTransfer(true);
    const int32_t status = control::DisplayDocumentUrl(viewer_->control(), url);
    const uint32_t platformError = inet::GetLastError();
    showTransfer(false);
    if (closeAfterTransfer_) {
        closeAfterTransfer_ = false;
        close();
        return false;
    }
    if (status != 0) {
        // The platform's sentence for what failed, where a platform call failed.
        const bool platformFailure = status >= static_cast<int32_t>(QuillonStatus::InternetConnectError) &&
                                     status <= static_cast<int32_t>(QuillonStatus::InternetHttpSendRequestError);
        reportFailure(text, status,
                      platformFailure && platformError != 0
                              ? QString::fromStdString(net::cInet::TranslateErrorCode(static_cast<int32_t>(platformError)))
                              : QString());
        return false;
    }
    refreshStatus();
    name_->setText(text);
    return true;
}

void ViewerWindow::showTransfer(bool running) {
    transferring_ = running;
    cancelRequested_ = false;
    progress_->setRange(0, 0);  // busy until the first block tells the length
    progress_->setVisible(running);
    cancel_->setVisible(running);
}

void ViewerWindow::transferProgressed(const QVariantList& args) {
    if (args.size() != 3) return;
    const int total = args[2].toInt();
    progress_->setRange(0, total);
    progress_->setValue(total - args[1].toInt());
    // A stop asked for while the transfer was still connecting is asked again.
    if (cancelRequested_) viewer_->control().DisplayFromURLStop();
}

void ViewerWindow::reportFailure(const QString& path, int32_t status, const QString& reason) {
    refreshStatus();
    const QString name = IsDocumentUrlText(path) ? path : QFileInfo(path).fileName();
    QString text = tr("Cannot show %1: status %2 (%3)")
                       .arg(name)
                       .arg(status)
                       .arg(QString::fromStdString(statusName(static_cast<QuillonStatus>(status))));
    if (!reason.isEmpty()) text += QStringLiteral(": ") + reason;
    name_->setText(text);
}

void ViewerWindow::toggleFullScreen() {
    if (isFullScreen()) {
        showNormal();
        menuBar()->show();
        statusBar()->show();
    } else {
        menuBar()->hide();
        statusBar()->hide();
        showFullScreen();
    }
}

void ViewerWindow::closeEvent(QCloseEvent* event) {
    if (transferring_) {
        // The transfer runs below this event: the window goes once it returns.
        closeAfterTransfer_ = true;
        cancelRequested_ = true;
        viewer_->control().DisplayFromURLStop();
        event->ignore();
        return;
    }
    QSettings settings;
    if (isFullScreen()) toggleFullScreen();
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("state"), saveState());
    settings.setValue(QStringLiteral("lastFolder"), lastFolder_);
    QMainWindow::closeEvent(event);
}

// --- What the window tells -------------------------------------------------------

void ViewerWindow::onControlEvent(const QString& name, const QVariantList& args) {
    if (name == QLatin1String("DataReceived")) {
        transferProgressed(args);
        return;
    }
    if (name == QLatin1String("FileDrop") && !args.isEmpty()) {
        open(args.front().toString());
        return;
    }
    if (name == QLatin1String("ZoomChange") || name == QLatin1String("PageChange") ||
        name == QLatin1String("Rotation") || name == QLatin1String("PictureChanged") || name == QLatin1String("Display"))
        refreshStatus();
}

QString ViewerWindow::statusText() const {
    QStringList parts{name_->text()};
    for (const QLabel* label : {format_, size_, zoom_, page_})
        if (!label->text().isEmpty()) parts << label->text();
    return parts.join(QStringLiteral(" | "));
}

void ViewerWindow::refreshStatus() {
    const control::Orrery& c = viewer_->control();
    const bool shown = c.GetNativeImage() != 0;
    name_->setText(current_.isEmpty() ? tr("No file") : QFileInfo(current_).fileName());
    format_->setText(shown ? QString::fromStdString(c.GetImageFormat()) : QString());
    size_->setText(shown ? QStringLiteral("%1 x %2").arg(c.ImageWidth()).arg(c.ImageHeight()) : QString());
    zoom_->setText(shown ? QStringLiteral("%1 %").arg(std::lround(c.ZOOM() * 100)) : QString());
    page_->setText(shown && c.GetTotalFrame() > 1 ? tr("page %1/%2").arg(c.CurrentPage()).arg(c.GetTotalFrame())
                                                 : QString());
    refreshInformation();
}

void ViewerWindow::refreshInformation() {
    info_->clear();
    const control::Orrery& c = viewer_->control();
    if (current_.isEmpty() || c.GetNativeImage() == 0) return;
    const QFileInfo file(current_);
    const QLocale locale;
    const QList<QPair<QString, QString>> facts{
        {tr("File"), file.fileName()},
        {tr("Folder"), file.absolutePath()},
        {tr("File size"), locale.formattedDataSize(file.size())},
        {tr("Modified"), locale.toString(file.lastModified(), QLocale::ShortFormat)},
        {tr("Format"), QString::fromStdString(c.GetImageFormat())},
        {tr("Width"), QString::number(c.ImageWidth())},
        {tr("Height"), QString::number(c.ImageHeight())},
        {tr("Resolution"), QStringLiteral("%1 x %2 dpi")
                               .arg(static_cast<double>(c.HorizontalResolution()))
                               .arg(static_cast<double>(c.VerticalResolution()))},
        {tr("Pages or frames"), QString::number(c.GetTotalFrame())},
        {tr("Zoom"), QStringLiteral("%1 %").arg(c.ZOOM() * 100, 0, 'f', 1)},
    };
    for (const auto& [fact, value] : facts) info_->addTopLevelItem(new QTreeWidgetItem({fact, value}));
    QTreeWidgetItem* group = nullptr;
    for (const TagRow& row : readTags(viewer_->control())) {
        if (!group || group->text(0) != row.group) {
            group = new QTreeWidgetItem({row.group});
            info_->addTopLevelItem(group);
            group->setExpanded(true);
        }
        group->addChild(new QTreeWidgetItem({row.name, row.value}));
    }
    info_->setRootIsDecorated(group != nullptr);
    info_->resizeColumnToContents(0);
}

void ViewerWindow::copyTags() {
    const QString text = tagListText(readTags(viewer_->control()));
    if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
}

}  // namespace orrery::view
