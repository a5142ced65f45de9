// kximg blur: the library's blur and convolution operators, which run on
// the calling thread without progress or cancellation.

#include "Commands.h"
#include "Error.h"
#include "ImageFiles.h"
#include "OptionValues.h"
#include "WorkingImage.h"

#include "KXBlurOperators.h"

#include <QFile>
#include <QRegularExpression>
#include <QSize>

#include <cmath>
#include <vector>

namespace kximg {

namespace {

const QString kCommand = QStringLiteral("blur");

// The most a kernel file holds: 64 rows of 64 numbers with room for
// comments. A larger file is refused by its size before it is read; a
// device or a pipe by the line that passes it.
constexpr qint64 kMaxKernelFile = 1024 * 1024;

template <class Bad>
void RefuseLargeKernelFile(const QFile& file, const Bad& bad)
{
    if (!file.isSequential() && file.size() > kMaxKernelFile)
        throw bad(QStringLiteral("the file is larger than 1 MB (a kernel is at most 64 x 64)"));
}

template <class Bad>
QByteArray KernelLine(QFile& file, const Bad& bad)
{
    const QByteArray line = file.readLine(kMaxKernelFile + 2); // at most kMaxKernelFile + 1 bytes
    if (line.size() > kMaxKernelFile)
        throw bad(QStringLiteral("a line longer than 1 MB (a kernel is at most 64 x 64)"));
    return line;
}

// A kernel file: rows of numbers separated by spaces or commas, one row a
// line, every row as long as the first; '#' starts a comment.
std::vector<double> ReadKernel(const QString& path, QSize* size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw Error(QStringLiteral("cannot read %1: %2").arg(Quoted(path), LowerFirst(file.errorString())));
    const auto bad = [&](const QString& why) {
        return Error(QStringLiteral("blur: bad kernel in %1: %2").arg(Quoted(path), why));
    };
    RefuseLargeKernelFile(file, bad);
    std::vector<double> kernel;
    int width = 0, height = 0;
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    while (!file.atEnd() && height <= 64) {
        const QString line = QString::fromUtf8(KernelLine(file, bad)).section(QLatin1Char('#'), 0, 0).trimmed();
        if (line.isEmpty())
            continue;
        const QStringList numbers = line.split(separators, Qt::SkipEmptyParts);
        if (width == 0)
            width = numbers.size();
        if (numbers.size() != width)
            throw bad(QStringLiteral("row %1 has %2 numbers, the first has %3").arg(height + 1).arg(numbers.size()).arg(width));
        for (const QString& number : numbers) {
            bool ok = false;
            const double value = number.toDouble(&ok);
            if (!ok || !std::isfinite(value) || std::abs(value) > 1e6)
                throw bad(QStringLiteral("%1 is not a number from -1000000 to 1000000").arg(Quoted(number)));
            kernel.push_back(value);
        }
        ++height;
    }
    if (width == 0)
        throw bad(QStringLiteral("no numbers"));
    if (width > 64 || height > 64)
        throw bad(QStringLiteral("larger than 64 x 64"));
    *size = QSize(width, height);
    return kernel;
}

const CommandSyntax& BlurSyntax()
{
    static const CommandSyntax syntax{
        QStringLiteral("blur"),
        QStringLiteral("blur IN OUT --box R | --gaussian SIGMA | --gaussian-boxes R | --convolve KERNEL"),
        QStringLiteral("box or three-box Gaussian blur, or a convolution kernel"),
        QStringLiteral("Runs one of the library's operators over the whole of IN and writes OUT:\n"
                       "--box R blurs with a box of radius R (rounding to nearest); --gaussian SIGMA\n"
                       "with an approximate Gaussian of standard deviation SIGMA pixels, as other\n"
                       "tools take it: three such boxes of the radius R whose sqrt(R (R + 1)) is\n"
                       "nearest SIGMA; --gaussian-boxes R with three boxes of radius R (what\n"
                       "--gaussian R meant in earlier versions); --convolve applies the\n"
                       "kernel in the text file KERNEL (rows of numbers, one row a line, used as\n"
                       "they are: no normalisation) to every channel."),
        QList<OptionSyntax>{OptionSyntax{QStringLiteral("box"), QChar(), QStringLiteral("R"),
                                         QStringLiteral("box radius, 0 to 1000")},
                            OptionSyntax{QStringLiteral("gaussian"), QChar(), QStringLiteral("SIGMA"),
                                         QStringLiteral("standard deviation in pixels, 0 to 1000")},
                            OptionSyntax{QStringLiteral("gaussian-boxes"), QChar(), QStringLiteral("R"),
                                         QStringLiteral("radius of each of the three boxes, 0 to 1000")},
                            OptionSyntax{QStringLiteral("convolve"), QChar(), QStringLiteral("KERNEL"),
                                         QStringLiteral("a kernel file, at most 64 x 64")}} +
            ImageOptionSyntax(),
        2,
        2,
        QStringLiteral("  kximg blur photo.jpg soft.jpg --gaussian 4.5\n"
                       "  printf '0 -1 0\\n-1 5 -1\\n0 -1 0\\n' > sharpen.txt\n"
                       "  kximg blur photo.jpg sharp.jpg --convolve sharpen.txt")};
    return syntax;
}

int RunBlur(const ParsedArgs& args)
{
    int given = 0;
    for (const char* option : {"box", "gaussian", "gaussian-boxes", "convolve"})
        given += args.Has(QLatin1String(option)) ? 1 : 0;
    if (given != 1)
        throw Error(QStringLiteral("blur: give exactly one of --box, --gaussian, --gaussian-boxes and --convolve"));
    const int box = IntOption(args, kCommand, QStringLiteral("box"), 0, 0, 1000);
    const double sigma = DoubleOption(args, kCommand, QStringLiteral("gaussian"), 0, 0, 1000);
    // Three boxes of radius r have the variance of one box three times,
    // 3 ((2r + 1)^2 - 1) / 12 = r (r + 1): the radius whose r (r + 1) is
    // nearest sigma^2.
    const int boxes = args.Has(QStringLiteral("gaussian"))
                          ? static_cast<int>(std::lround((std::sqrt(1 + 4 * sigma * sigma) - 1) / 2))
                          : IntOption(args, kCommand, QStringLiteral("gaussian-boxes"), 0, 0, 1000);
    QSize kernelSize;
    const std::vector<double> kernel = args.Has(QStringLiteral("convolve"))
                                           ? ReadKernel(args.Value(QStringLiteral("convolve")), &kernelSize)
                                           : std::vector<double>();
    const ImageOptions options = ImageOptionsFrom(args, kCommand);
    const QString out = args.Positional().at(1);
    const QByteArray format = WriteFormatFor(out, options.format);

    CommandProgress progress(kCommand);
    WorkingPicture picture = ReadWorking(args.Positional().at(0), options, &progress);
    progress.Step(QStringLiteral("blur"), 0.75);
    if (args.Has(QStringLiteral("box")))
        KXBoxBlur{box}(picture.image, QRect());
    else if (args.Has(QStringLiteral("gaussian")) || args.Has(QStringLiteral("gaussian-boxes")))
        KXGaussianBlur{boxes}(picture.image, QRect());
    else
        KXImageConvolution{kernel.data(), kernelSize}(picture.image);
    WriteWorking(std::move(picture), out, format, options, &progress);
    return kExitOk;
}

} // namespace

KXIMG_COMMAND(57, BlurSyntax, RunBlur, false)

} // namespace kximg
