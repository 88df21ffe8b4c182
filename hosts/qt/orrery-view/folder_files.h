// The files of the folder that holds the file shown, in the order a file
// manager lists them (numbers in names compare by value), for stepping to
// the previous and next one. Only names with an extension the viewer opens
// are listed.
#pragma once
#include <QString>
#include <QStringList>

namespace orrery::view {

// The file-name patterns the viewer offers ("*.jpg", ...).
const QStringList& viewablePatterns();

enum class Step { Previous, Next };

class FolderFiles {
public:
    // Lists the folder of `path` anew and places the cursor on it.
    void showing(const QString& path);
    // The neighbour in that direction, wrapping around at the ends; empty
    // when the folder holds no other viewable file.
    QString neighbour(Step step) const;
    const QStringList& files() const { return files_; }
    qsizetype position() const { return position_; }

private:
    QStringList files_;  // absolute paths
    qsizetype position_ = -1;
};

}  // namespace orrery::view
