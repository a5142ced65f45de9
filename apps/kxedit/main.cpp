// kxedit: a small photo editor on the kxcore library.
//   kxedit [photo] [--layer picture]... [--mode name] [--opacity percent]
//          [--size WxH] [--screenshot out.png]

#include "Canvas.h"
#include "Document.h"
#include "MainWindow.h"
#include "Screenshot.h"

#include <VQTileManager64.h>

#include <QApplication>
#include <QCommandLineParser>

#include <memory>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kxedit"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A small photo editor on the kxcore library."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("photo"), QStringLiteral("The photo to open."));
    const kxedit::ScreenshotOptions options(parser);
    parser.process(app);

    // Page files of runs that were killed go first; the tile manager lives
    // until every image is gone.
    VQTileManager64::CleanupOrphanPageFiles();
    VQTileManager64::InitInstance(false);
    int status = 0;
    {
        kxedit::MainWindow window;
        window.show();
        const QStringList photos = parser.positionalArguments();
        if (!photos.isEmpty() && !window.OpenFile(photos.first()))
            status = 1;
        else if (options.Requested(parser))
            status = options.Run(parser, window);
        else
            status = app.exec();
    }
    VQTileManager64::ReleaseInstance();
    return status;
}
