// kximg histogram: channel statistics and a chart of the histograms.

#include "Commands.h"
#include "Error.h"
#include "HistogramChart.h"
#include "ImageFiles.h"
#include "WorkingImage.h"

#include "KXImageConversion.h"

#include <cstdio>

namespace kximg {

namespace {

const CommandSyntax& HistogramSyntax()
{
    static const CommandSyntax syntax{
        QStringLiteral("histogram"),
        QStringLiteral("histogram IN [--png OUT]"),
        QStringLiteral("print channel statistics; draw a histogram chart"),
        QStringLiteral("Counts the red, green and blue levels of every pixel of IN (transparent ones\n"
                       "too), their luminance (11 R + 16 G + 5 B) / 32 and alpha, and prints for each\n"
                       "the lowest and highest level present, the mean, the median and the clipping\n"
                       "thresholds: the darkest and brightest levels with at most 0.1 % of the\n"
                       "counts beyond them, at least 16 levels apart. 'all' counts the three colour\n"
                       "channels together."),
        {OptionSyntax{QStringLiteral("png"), QChar(), QStringLiteral("OUT"),
                      QStringLiteral("also draw the red, green, blue and luminance histograms\n"
                                     "into OUT (any writable format)")}},
        1,
        1,
        QStringLiteral("  kximg histogram photo.jpg\n"
                       "  kximg histogram photo.jpg --png photo-histogram.png")};
    return syntax;
}

void PrintLine(const QString& text)
{
    std::printf("%s\n", qPrintable(text));
}

int RunHistogram(const ParsedArgs& args)
{
    const QString in = args.Positional().at(0);
    QString out;
    QByteArray format;
    if (args.Has(QStringLiteral("png"))) {
        out = args.Value(QStringLiteral("png"));
        format = WriteFormatFor(out);
    }
    CommandProgress progress(QStringLiteral("histogram"));
    const KXImageRGBA32i image = ReadWorking(in, ImageOptions(), &progress).image;
    progress.Step(QStringLiteral("count"), 1.0);
    const ChannelHistograms h = CountHistograms(image);
    progress.Finish();

    long long transparent = h.alpha[0], opaque = h.alpha[255];
    PrintLine(QStringLiteral("file:    %1").arg(in));
    PrintLine(QStringLiteral("pixels:  %1 (%2 x %3), %4 transparent, %5 opaque")
                  .arg(h.pixels)
                  .arg(image.Width())
                  .arg(image.Height())
                  .arg(transparent)
                  .arg(opaque));
    PrintLine(QString());
    PrintLine(QStringLiteral("channel      min  max    mean  median   low  high"));
    const struct {
        const char* name;
        const ChannelHistograms::Counts* counts;
    } rows[] = {{"red", &h.red},         {"green", &h.green},         {"blue", &h.blue},
                {"all", &h.all},         {"luminance", &h.luminance}, {"alpha", &h.alpha}};
    for (const auto& row : rows) {
        const ChannelSummary s = Summarise(*row.counts);
        PrintLine(QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                      .arg(QString::fromLatin1(row.name).leftJustified(10))
                      .arg(s.min, 5)
                      .arg(s.max, 4)
                      .arg(s.mean, 7, 'f', 2)
                      .arg(s.median, 7)
                      .arg(s.low, 5)
                      .arg(s.high, 5));
    }
    if (!out.isEmpty())
        WriteImage(HistogramChart(h, QSize(768, 360), true), out, format);
    return kExitOk;
}

} // namespace

KXIMG_COMMAND(70, HistogramSyntax, RunHistogram, true)

} // namespace kximg
