// orrery-view: a picture and document viewer on one OrreryWidget.
//   orrery-view [FILE]
#include <QApplication>
#include <QCommandLineParser>

#include "viewer_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("OrreryCtl"));
    QApplication::setApplicationName(QStringLiteral("orrery-view"));
    QApplication::setApplicationDisplayName(QStringLiteral("orrery-view"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows pictures and documents."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("The file to show first."));
    parser.process(app);
    orrery::view::ViewerWindow window;
    window.show();
    if (!parser.positionalArguments().isEmpty()) window.open(parser.positionalArguments().front());
    return QApplication::exec();
}
