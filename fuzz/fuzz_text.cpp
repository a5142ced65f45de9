// Fuzz target: text strings and settings through the text helper: plain,
// deformed and selection images, outlines, carets and character hits, with
// fuzzed fonts (up to 500 pixels, under and struck-out lines), bends,
// distortions and transforms, selections anywhere in the int range, and
// sometimes a tile request failing as an exhausted manager fails it (a large
// font takes fewer characters, so that an image stays a few megapixels).

#include "KXFuzzSupport.h"

#include "KXTextHelper.h"

#include <QFont>
#include <QMatrix4x4>

#include <cmath>

namespace {

double Setting(KXFuzz::Bytes& in)
{
    // Mostly sensible percentages, sometimes any double (NaN and infinities
    // included).
    return in.Flag() ? in.Take<double>() : in.Range(-200, 200);
}

QMatrix4x4 Transform(KXFuzz::Bytes& in)
{
    QMatrix4x4 matrix;
    if (in.Flag())
        matrix.rotate(in.Range(-360, 360), 0, 0, 1);
    if (in.Flag())
        matrix.scale(in.Range(-40, 40) / 10.0f, in.Range(-40, 40) / 10.0f);
    if (in.Flag())
        matrix.translate(in.Range(-100, 100), in.Range(-100, 100));
    if (in.Flag()) {
        float values[16];
        for (float& value : values)
            value = in.Take<float>();
        // Any matrix, but one that cannot blow a small text up past a
        // few hundred pixels.
        bool small = true;
        for (float value : values)
            small = small && !(std::fabs(value) > 4.0f);
        if (small)
            matrix = QMatrix4x4(values);
    }
    return matrix;
}

// Whether an image of the outline's frame would take more than 16,384 tiles
// (1 GB of tile blocks) while the library would still draw it (a frame it
// refuses costs nothing, and is kept for its refusal).
bool Huge(const QPainterPath& path)
{
    const QRectF frame = path.boundingRect();
    const double w = frame.width(), h = frame.height();
    return w <= 1e9 && h <= 1e9 && std::ceil(w / 128 + 1) * std::ceil(h / 128 + 1) > 16384;
}

// Every image, outline and helper line of the text, and a hit test. The
// text's images only where neither its outline nor the deformed one is
// Huge: a distortion can stretch a short text millions of pixels wide, which
// the library draws as asked, with gigabytes the fuzzer's memory limit does
// not have.
void Draw(KXTextHelper& helper, int start, int count, const QPoint& origin, const QPoint& point)
{
    QPointF offset;
    QRectF textRect, transformedRect;
    QPainterPath deformed;
    helper.CreatePathByTextWithDeformationWithRect(deformed, textRect, transformedRect, offset);
    const QPainterPath text = helper.CreatePathByTextWithRect(textRect, transformedRect, offset);
    const bool images = !Huge(deformed) && !Huge(text);
    if (images) {
        (void)helper.CreateImageByText(offset);
        (void)helper.CreateImageByTextWithDeformation(offset);
        (void)helper.CreateImageByTextWithSelectionAndDeformation(offset, start, count);
    }
    // An outline in the text's own coordinates, through the user transform
    // once (the transformed text outline would be turned twice and blown up
    // past the few megapixels this target keeps to).
    const QPainterPath caret = helper.GetVerticalAndUnderLine(origin, start, count);
    (void)helper.TransformAndCreateImage(caret, textRect, offset);
    (void)helper.GetCharPath(origin);
    const int hit = helper.FindSelectedChar(origin, point);
    KXFUZZ_CHECK(hit >= -1 && hit <= helper.GetText().size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    KXFuzz::Setup();
    const long long before = KXFuzz::FreeBlocks();
    {
        KXFuzz::Bytes in(data, size);
        const float segment = in.Flag() ? in.Take<float>() : in.Range(1, 16);
        KXTextHelper helper(std::isfinite(segment) && segment > 0.05f ? segment : -1.0f);
        QFont font(QStringLiteral("DejaVu Sans"));
        const int pixels = in.Flag() ? in.Range(1, 500) : in.Range(1, 60);
        font.setPixelSize(pixels);
        font.setItalic(in.Flag());
        font.setBold(in.Flag());
        font.setUnderline(in.Flag());
        font.setStrikeOut(in.Flag());
        helper.SetFont(font);
        helper.SetColor(QColor::fromRgba(in.Take<uint32_t>()));
        helper.SetStyle(in.Range(-1, 2));
        helper.SetOrientation(in.Flag());
        helper.SetBend(Setting(in));
        helper.SetHDistortion(Setting(in));
        helper.SetVDistortion(Setting(in));
        helper.SetTransform(Transform(in));
        helper.SetRenderMode(in.Range(0, 3));
        const int start = in.Flag() ? in.Take<int32_t>() : in.Range(-3, 40);
        const int count = in.Flag() ? in.Take<int32_t>() : in.Range(-3, 40);
        const QPoint origin(in.Range(-50, 50), in.Range(-50, 50)), point(in.Range(-100, 300), in.Range(-100, 300));
        const KXFuzz::Faults faults(in);
        helper.SetText(QString::fromUtf8(in.Chunk(pixels > 60 ? 12 : 48)));
        faults.Run([&] { Draw(helper, start, count, origin, point); });
    }
    KXFUZZ_CHECK(KXFuzz::FreeBlocks() == before);
    return 0;
}
