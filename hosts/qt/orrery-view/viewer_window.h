// The main window of orrery-view: one OrreryWidget with the viewer's menus,
// shortcuts, status bar and information panel (the picture's facts and its
// EXIF and IPTC tags), remembering its geometry, the last folder and whether
// pictures open turned upright by their EXIF orientation.
#pragma once
#include <QLabel>
#include <QMainWindow>
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
    void toggleFullScreen();
    void onControlEvent(const QString& name, const QVariantList& args);
    void refreshStatus();
    void refreshInformation();
    // Puts the information panel's tag list on the clipboard as text.
    void copyTags();
    void reportFailure(const QString& path, int32_t status);
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
    FolderFiles folder_;
    QString current_;
    QString lastFolder_;
};

}  // namespace orrery::view
