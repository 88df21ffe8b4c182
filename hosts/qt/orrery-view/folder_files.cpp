#include "folder_files.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>

namespace orrery::view {

const QStringList& viewablePatterns() {
    static const QStringList patterns{"*.jpg", "*.jpeg", "*.jpe", "*.jfif", "*.png", "*.gif", "*.bmp", "*.dib",
                                      "*.tif", "*.tiff", "*.ico", "*.cur", "*.wmf", "*.emf", "*.pdf"};
    return patterns;
}

namespace {

// Whether `a` sorts before `b` as file managers list names: runs of digits
// compare by value, other characters without regard to case.
bool naturalLess(const QString& a, const QString& b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype startA = i, startB = j;
            while (i < a.size() && a[i].isDigit()) ++i;
            while (j < b.size() && b[j].isDigit()) ++j;
            // Leading zeros do not count; a longer run is the larger number.
            QStringView runA = QStringView(a).mid(startA, i - startA);
            QStringView runB = QStringView(b).mid(startB, j - startB);
            while (runA.size() > 1 && runA.front() == u'0') runA = runA.mid(1);
            while (runB.size() > 1 && runB.front() == u'0') runB = runB.mid(1);
            if (runA.size() != runB.size()) return runA.size() < runB.size();
            if (const int c = runA.compare(runB); c != 0) return c < 0;
            continue;
        }
        const QChar ca = a[i].toCaseFolded(), cb = b[j].toCaseFolded();
        if (ca != cb) return ca < cb;
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j)) return (a.size() - i) < (b.size() - j);
    return a < b;
}

}  // namespace

void FolderFiles::showing(const QString& path) {
    const QFileInfo shown(path);
    QDir folder = shown.absoluteDir();
    folder.setNameFilters(viewablePatterns());
    folder.setFilter(QDir::Files | QDir::Readable);
    QStringList names = folder.entryList();
    std::sort(names.begin(), names.end(), naturalLess);
    files_.clear();
    for (const QString& name : names) files_ << folder.absoluteFilePath(name);
    position_ = files_.indexOf(shown.absoluteFilePath());
}

QString FolderFiles::neighbour(Step step) const {
    const qsizetype count = files_.size();
    if (count == 0 || (count == 1 && position_ == 0)) return {};
    // A file that is not in the list (another extension, or gone) stands
    // before the first one.
    if (position_ < 0) return step == Step::Next ? files_.front() : files_.back();
    const qsizetype offset = step == Step::Next ? 1 : count - 1;
    return files_[(position_ + offset) % count];
}

}  // namespace orrery::view
