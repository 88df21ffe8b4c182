// Another program on the desktop, for the clipboard tests of the host: a
// second X client that works the clipboard as any program would.
//
//   clipboard_peer offer MIME FILE [MIME FILE ...]
//       puts each FILE on the clipboard under MIME (MIME "image": FILE is
//       read as a picture and offered as an image, in every type Qt writes),
//       prints "offered" once the clipboard is its own, and serves other
//       programs until its standard input closes;
//   clipboard_peer formats
//       prints the types on offer, one a line;
//   clipboard_peer save MIME OUT
//       writes what the clipboard holds under MIME to OUT (MIME "image": the
//       image, as PNG); exit status 1 when there is nothing of the kind.
//
// Other failures (bad arguments, unreadable files) exit with status 2.
#include <cstdio>
#include <memory>
#include <unistd.h>

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QSocketNotifier>
#include <QStringList>

namespace {

const QString kImage = QStringLiteral("image");

int fail(const char* message) {
    std::fprintf(stderr, "clipboard_peer: %s\n", message);
    return 2;
}

int offer(const QStringList& pairs) {
    if (pairs.isEmpty() || pairs.size() % 2 != 0) return fail("offer needs MIME FILE pairs");
    auto data = std::make_unique<QMimeData>();
    for (qsizetype i = 0; i < pairs.size(); i += 2) {
        const QString& mime = pairs[i];
        const QString& path = pairs[i + 1];
        if (mime == kImage) {
            QImage image(path);
            if (image.isNull()) return fail("cannot read the picture");
            data->setImageData(image);
            continue;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return fail("cannot read a file");
        data->setData(mime, file.readAll());
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setMimeData(data.release());
    if (!clipboard->ownsClipboard()) return fail("the clipboard did not become ours");
    std::printf("offered\n");
    std::fflush(stdout);
    // Serves until the test closes our standard input.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&input] {
        char buffer[64];
        if (read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
        }
    });
    return QCoreApplication::exec();
}

int printFormats() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data)
        for (const QString& format : data->formats()) std::printf("%s\n", qPrintable(format));
    return 0;
}

int save(const QString& mime, const QString& out) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (mime == kImage) {
        if (!data || !data->hasImage()) return 1;
        return qvariant_cast<QImage>(data->imageData()).save(out, "PNG") ? 0 : fail("cannot write the image");
    }
    if (!data || !data->hasFormat(mime)) return 1;
    QFile file(out);
    if (!file.open(QIODevice::WriteOnly) || file.write(data->data(mime)) < 0) return fail("cannot write the file");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    const QString command = args.value(0);
    if (command == QLatin1String("offer")) return offer(args.mid(1));
    if (command == QLatin1String("formats") && args.size() == 1) return printFormats();
    if (command == QLatin1String("save") && args.size() == 3) return save(args[1], args[2]);
    return fail("usage: clipboard_peer offer MIME FILE... | formats | save MIME OUT");
}
