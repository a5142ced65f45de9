// kximg demo: runs every operation of the demo registry on the built-in
// sample picture (or the user's own) and writes the results, a contact
// sheet and index.html.

#include "AtomicFile.h"
#include "Commands.h"
#include "DemoRegistry.h"
#include "Error.h"
#include "Gallery.h"
#include "ImageFiles.h"
#include "Interrupt.h"
#include "Progress.h"
#include "SamplePicture.h"

#include "KXImageConversion.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace kximg {

namespace {

// The user's picture at a size the pages can show: at most 2 megapixels,
// the aspect ratio kept, in the sample's format.
QImage PageSized(const QImage& photo)
{
    const double limit = 2.0 * 1000 * 1000;
    const double pixels = static_cast<double>(photo.width()) * photo.height();
    QImage page = photo;
    if (pixels > limit) {
        const double scale = std::sqrt(limit / pixels);
        page = photo.scaled(std::max(1, static_cast<int>(photo.width() * scale)),
                            std::max(1, static_cast<int>(photo.height() * scale)), Qt::KeepAspectRatio,
                            Qt::SmoothTransformation);
    }
    return page.convertToFormat(QImage::Format_ARGB32);
}

const CommandSyntax& DemoCommandSyntax()
{
    static const CommandSyntax syntax{
        QStringLiteral("demo"),
        QStringLiteral("demo [--out DIR] [--input PHOTO]"),
        QStringLiteral("run every operation on a built-in sample picture; write a gallery"),
        QStringLiteral("Draws a 1024 x 768 sample picture (colour fields, a hue wheel, ramps, fine\n"
                       "detail, text and partly transparent shapes), runs every operation of the\n"
                       "library on it and writes into DIR one PNG per result, contact-sheet.png\n"
                       "(every result as a labelled thumbnail) and index.html. Prints the contact\n"
                       "sheet's absolute path as the last line. With --input, every operation runs\n"
                       "on PHOTO instead (scaled down to at most 2 megapixels for the pages; PHOTO\n"
                       "itself is only read)."),
        {OptionSyntax{QStringLiteral("out"), QLatin1Char('o'), QStringLiteral("DIR"),
                    QStringLiteral("where to write the results (default: demo-out;\ncreated if missing)")},
         OptionSyntax{QStringLiteral("input"), QLatin1Char('i'), QStringLiteral("PHOTO"),
                    QStringLiteral("your own picture instead of the built-in sample")}},
        0,
        0,
        QStringLiteral("  kximg demo --out /tmp/gallery")};
    return syntax;
}

int RunDemo(const ParsedArgs& args)
{
    const QString outDir = args.Value(QStringLiteral("out"), QStringLiteral("demo-out"));
    if (outDir.isEmpty())
        throw Error(QStringLiteral("demo: bad value '' for --out (a directory is needed)"));
    const QFileInfo outInfo(outDir);
    if (outInfo.exists() && !outInfo.isDir())
        throw Error(QStringLiteral("cannot write into %1: not a directory").arg(Quoted(outDir)));
    if (!QDir().mkpath(outDir))
        throw Error(QStringLiteral("cannot create directory %1").arg(Quoted(outDir)));
    const QDir dir(QFileInfo(outDir).absoluteFilePath());

    const DemoRegistry registry = BuildDemoRegistry();
    const std::vector<DemoOperation>& operations = registry.Operations();

    DemoInput input;
    if (args.Has(QStringLiteral("input"))) {
        const QString path = args.Value(QStringLiteral("input"));
        const QImage photo = ReadImage(path);
        input.sample = PageSized(photo);
        input.origin = QStringLiteral("%1, %2 x %3").arg(QFileInfo(path).fileName()).arg(photo.width()).arg(photo.height());
        if (input.sample.size() != photo.size())
            input.origin += QStringLiteral(" shown at %1 x %2").arg(input.sample.width()).arg(input.sample.height());
    } else {
        input.sample = SamplePicture();
    }
    input.working = ConvertImage<QImage, KXImageRGBA32i>(input.sample);

    QList<GalleryEntry> entries;
    {
        ProgressBar progress(QStringLiteral("demo"));
        for (size_t i = 0; i < operations.size(); ++i) {
            const DemoOperation& operation = operations[i];
            progress.SetLabel(QStringLiteral("demo: %1").arg(operation.name));
            progress.Update(static_cast<long long>(i), static_cast<long long>(operations.size()));
            CheckInterrupted();
            DemoResult result;
            try {
                result = operation.run(input);
            } catch (const Error&) {
                throw;
            } catch (const std::exception& e) {
                throw Error(QStringLiteral("demo: operation '%1' failed: %2")
                                .arg(operation.name, QString::fromLocal8Bit(e.what())),
                            kExitFailure);
            }
            const QString file = operation.name + QStringLiteral(".png");
            WriteImage(result.image, dir.filePath(file), "png");
            entries << GalleryEntry{operation.group, operation.name, file, operation.caption, result.note,
                                    result.image};
        }
    }

    const QString heading = QStringLiteral("kxcore %1 \u2014 kximg demo").arg(QStringLiteral(KXIMG_VERSION));
    const QString sheetFile = QStringLiteral("contact-sheet.png");
    WriteImage(ContactSheet(entries, heading), dir.filePath(sheetFile), "png");
    WriteAtomically(dir.filePath(QStringLiteral("index.html")), IndexHtml(entries, heading, sheetFile));

    std::printf("kximg demo: %d results in %s\n", static_cast<int>(entries.size()),
                qPrintable(QDir::toNativeSeparators(dir.absolutePath())));
    for (const GalleryEntry& entry : entries) {
        const QString line = entry.note.isEmpty() ? entry.file : entry.file.leftJustified(24) + entry.note;
        std::printf("  %s\n", qPrintable(line));
    }
    std::printf("  index.html\n%s\n", qPrintable(QDir::toNativeSeparators(dir.absoluteFilePath(sheetFile))));
    std::fflush(stdout);
    return kExitOk;
}

} // namespace

KXIMG_COMMAND(100, DemoCommandSyntax, RunDemo, true)

} // namespace kximg
