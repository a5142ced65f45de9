// kximg inpaint: fills the transparent holes of an image from their
// surroundings, with the QImage form (all passes in one call) or the tiled
// form (one pass per call, with progress and Ctrl-C between passes).

#include "Commands.h"
#include "Error.h"
#include "ImageFiles.h"
#include "Interrupt.h"
#include "WorkingImage.h"

#include "KXImageConversion.h"
#include "KXInpaint.h"
#include "KXTransformImageColors.h"

#include <algorithm>

namespace kximg {

namespace {

const QString kCommand = QStringLiteral("inpaint");

const CommandSyntax& InpaintSyntax()
{
    static const CommandSyntax syntax{
        kCommand,
        QStringLiteral("inpaint IN OUT [--iterative]"),
        QStringLiteral("fill the transparent holes of an image from their surroundings"),
        QStringLiteral("Every pixel of IN that is not fully opaque is a hole. Holes are filled\n"
                       "from their rim inward, one layer per pass: each hole pixel takes the\n"
                       "rounded average of eight known pixels around it. Holes no pattern can\n"
                       "reach (a one-pixel line from border to border) stay as they are.\n"
                       "--iterative runs the tiled form one pass at a time, with progress; by\n"
                       "default the QImage form runs all passes in one call."),
        QList<OptionSyntax>{OptionSyntax{QStringLiteral("iterative"), QChar(), QString(),
                                         QStringLiteral("the tiled form, one pass per call")}} +
            ImageOptionSyntax(),
        2,
        2,
        QStringLiteral("  kximg inpaint damaged.png repaired.png\n"
                       "  kximg inpaint damaged.png repaired.png --iterative")};
    return syntax;
}

// The mask of the tiled form: alpha 255 on every pixel that is not opaque.
struct HoleMask {
    void operator()(KXRGBA32i& p) const { p = p.a < 255 ? 0xFFFF0000u : 0u; }
};

// The holes of a rectangle: how many, and their bounding box (the next
// count need look no further).
struct HoleCount {
    long long count = 0;
    int left = 2147483647, top = 2147483647, right = -1, bottom = -1;
    void operator()(int x, int y, const KXRGBA32i* p)
    {
        if (p->a == 255)
            return;
        ++count;
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
    }
    QRect Bounds() const { return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom)); }
};

// One pass per call; after each pass the bar shows the share of the holes
// filled so far, and Ctrl-C stops.
void InpaintIteratively(KXImageRGBA32i& image, CommandProgress& progress)
{
    KXImageRGBA32i mask = image;
    TransformPixels(mask, HoleMask());
    HoleCount holes;
    VisitPixelsWithCoordinates(image, image.Rect(), holes);
    const long long total = holes.count;
    KXInpaintIterative inpaint(image, mask, image.Rect(), image.Rect());
    while (inpaint()) {
        HoleCount left;
        VisitPixelsWithCoordinates(image, holes.Bounds(), left);
        holes = left;
        progress.Within(1.0 - static_cast<double>(holes.count) / static_cast<double>(std::max(total, 1LL)));
        CheckInterrupted();
    }
}

int RunInpaint(const ParsedArgs& args)
{
    const ImageOptions options = ImageOptionsFrom(args, kCommand);
    const QString out = args.Positional().at(1);
    const QByteArray format = WriteFormatFor(out, options.format);
    CommandProgress progress(kCommand);
    WorkingPicture picture = ReadWorking(args.Positional().at(0), options, &progress);
    progress.Step(kCommand, 0.8);
    if (args.Has(QStringLiteral("iterative"))) {
        InpaintIteratively(picture.image, progress);
    } else {
        QImage image = ConvertImage<KXImageRGBA32i, QImage>(picture.image);
        KXInpaint{image}(0);
        picture.image = ConvertImage<QImage, KXImageRGBA32i>(image);
    }
    WriteWorking(std::move(picture), out, format, options, &progress);
    return kExitOk;
}

} // namespace

KXIMG_COMMAND(86, InpaintSyntax, RunInpaint, false)

} // namespace kximg
