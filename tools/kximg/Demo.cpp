#include "Demo.h"

#include "DemoRegistry.h"
#include "Error.h"
#include "Interrupt.h"
#include "Gallery.h"
#include "ImageFiles.h"
#include "AtomicFile.h"
#include "Progress.h"
#include "SamplePicture.h"

#include "KXImageConversion.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace kximg {

DemoRegistry BuildDemoRegistry()
{
    DemoRegistry registry;
    // One line per feature; the order here is the order on the contact sheet.
    AddSampleDemos(registry);
    AddConversionDemos(registry);
    AddCompositingDemos(registry);
    AddColourDemos(registry);
    return registry;
}

void DemoRegistry::Add(const QString& name, const QString& caption, DemoFunction run)
{
    static const QRegularExpression plain(QStringLiteral("^[a-z0-9]+(-[a-z0-9]+)*$"));
    if (!plain.match(name).hasMatch() || name == QLatin1String("contact-sheet"))
        throw std::logic_error("demo operation name is not a plain file stem: " + name.toStdString());
    for (const DemoOperation& operation : m_operations)
        if (operation.name == name)
            throw std::logic_error("demo operation added twice: " + name.toStdString());
    m_operations.push_back(DemoOperation{m_group, name, caption, std::move(run)});
}

QString DifferenceNote(const QImage& result, const QImage& reference, const QString& referenceName)
{
    if (result.size() != reference.size())
        return QStringLiteral("size differs from %1").arg(referenceName);
    const QImage a = result.convertToFormat(QImage::Format_ARGB32);
    const QImage b = reference.convertToFormat(QImage::Format_ARGB32);
    long long differing = 0;
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        const QRgb* p = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const QRgb* q = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (p[x] == q[x])
                continue;
            ++differing;
            for (int shift = 0; shift < 32; shift += 8) {
                const int d = std::abs(int((p[x] >> shift) & 0xFF) - int((q[x] >> shift) & 0xFF));
                largest = std::max(largest, d);
            }
        }
    }
    if (differing == 0)
        return QStringLiteral("identical to %1").arg(referenceName);
    const double share = 100.0 * differing / (static_cast<double>(a.width()) * a.height());
    return QStringLiteral("%1 % of pixels differ%2 by up to %3")
        .arg(share < 0.1 ? QStringLiteral("< 0.1") : QString::number(share, 'f', 1),
             referenceName == QLatin1String("the sample") ? QString() : QStringLiteral(" from ") + referenceName)
        .arg(largest);
}

const CommandSyntax& DemoCommandSyntax()
{
    static const CommandSyntax syntax{
        QStringLiteral("demo"),
        QStringLiteral("demo [--out DIR]"),
        QStringLiteral("run every operation on a built-in sample picture; write a gallery"),
        QStringLiteral("Draws a 1024 x 768 sample picture (colour fields, a hue wheel, ramps, fine\n"
                       "detail, text and partly transparent shapes), runs every operation of the\n"
                       "library on it and writes into DIR one PNG per result, contact-sheet.png\n"
                       "(every result as a labelled thumbnail) and index.html. Prints the contact\n"
                       "sheet's absolute path as the last line."),
        {OptionSyntax{QStringLiteral("out"), QLatin1Char('o'), QStringLiteral("DIR"),
                    QStringLiteral("where to write the results (default: demo-out;\ncreated if missing)")}},
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
    input.sample = SamplePicture();
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

} // namespace kximg
