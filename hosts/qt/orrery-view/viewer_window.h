// The main window of orrery-view: one OrreryWidget with the viewer's menus,
// shortcuts, status bar and information panel (the picture's facts and its
// EXIF and IPTC tags), remembering its geometry, the last folder and whether
// pictures open turned upright by their EXIF orientation.
#pragma once
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QString>
#include <QTreeWidget>
#include <QVariantList>

#include "folder_files.h"
#include "orrery/qt/orrery_widget.h"

class QDockWidget;

namespace orrery::view {

class ViewerWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit ViewerWindow(QWidget* parent = nullptr);
    ~ViewerWindow() override;

    // Shows a file; false (with the control's status in the status bar)
    // when it cannot be shown.
    bool open(const QString& path);
    // Shows the document of an http, https or ftp URL, with the transfer's
    // progress and a Cancel button in the status bar; false (with the
    // status's name and the error's sentence in the status bar) on failure.
    // An FTP URL with a user and no password asks for the password.
    bool openUrl(const QString& url);
    // The transfer's progress bar and Cancel button (visible while it runs).
    QProgressBar& transferProgress() { return *progress_; }
    QPushButton& cancelButton() { return *cancel_; }
    // The previous or next viewable file of the folder.
    bool step(Step direction);
    qt::OrreryWidget& viewer() { return *viewer_; }
    const QString& currentFile() const { return current_; }
    // What the status bar says.
    QString statusText() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void chooseFile();
    void chooseUrl();
    void showTransfer(bool running);
    void transferProgressed(const QVariantList& args);
    void toggleFullScreen();
    void onControlEvent(const QString& name, const QVariantList& args);
    void refreshStatus();
    void refreshInformation();
    // Puts the information panel's tag list on the clipboard as text.
    void copyTags();
    void reportFailure(const QString& path, int32_t status, const QString& reason = {});
    // Runs a member of the control and refreshes what shows its state.
    template <class Call>
    void act(Call call);

    qt::OrreryWidget* viewer_;
    QDockWidget* infoDock_;
    QTreeWidget* info_;
    // View > Apply EXIF Orientation: pictures open upright (remembered).
    QAction* applyOrientation_ = nullptr;
    QLabel* name_;
    QLabel* format_;
    QLabel* size_;
    QLabel* zoom_;
    QLabel* page_;
    QProgressBar* progress_;
    QPushButton* cancel_;
    bool transferring_ = false;
    bool cancelRequested_ = false;
    // The window was closed while a transfer ran: it closes when it ends.
    bool closeAfterTransfer_ = false;
    FolderFiles folder_;
    QString current_;
    QString lastFolder_;
};

}  // namespace orrery::view
