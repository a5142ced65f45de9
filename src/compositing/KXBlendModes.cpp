// Layer blend modes. One walker visits the destination tiles that the area
// meets, splits each into the pieces that lie in one source tile and one mask
// tile (or outside the mask), and hands every row of a piece to a rule. One
// table names every numbered mode and gives the rule of each form.

#pragma GCC diagnostic ignored "-Wpsabi" // the wide vectors never cross a call: the row functions are flattened

#include "KXBlendModes.h"

#include "core/KXLogMacros.h"
#include "compositing/KXBlendKernels.h"
#include "compositing/KXBlendLuminosity.h"
#include "compositing/KXBlendNormal.h"
#include "compositing/KXBlendSeparable.h"
#include "compositing/KXBox.h"
#include "core/KXQImageFormat.h"
#include "core/KXTileWalker.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <tuple>

namespace {

using namespace KXBlendKernels;
using Image = KXImageRGBA32i;

const char kLogFile[] = "src/KXImage";
constexpr int kTile = 128;

// ---- Geometry --------------------------------------------------------------

using KXGeometry::Box;

// The processed area in destination coordinates, and the offset that moves a
// source position onto its destination position.
struct Placement {
    QRect area;
    QPoint offset;

    Placement(const QRect& sourceBounds, const QRect& srcRect, const QRect& destinationBounds, const QRect& dstRect)
    {
        const Box s = Box::Of(srcRect), d = Box::Of(dstRect);
        const int64_t dx = d.left - s.left, dy = d.top - s.top;
        const int64_t width = std::min(s.right - s.left, d.right - d.left);
        const int64_t height = std::min(s.bottom - s.top, d.bottom - d.top);
        const Box box = Box{d.left, d.top, d.left + width, d.top + height} & Box::Of(destinationBounds) &
                        Box::Of(sourceBounds).Moved(dx, dy);
        if (box.IsEmpty())
            return;
        // The area lies in both images, so the offset fits an int.
        area = box.ToRect();
        offset = QPoint(int(dx), int(dy));
    }
};

// opacity * 256 truncated toward zero, within 0 .. 256.
uint32_t IntegerOpacity(double opacity)
{
    if (!(opacity > 0.0))
        return 0;
    if (opacity >= 1.0)
        return 256;
    return static_cast<uint32_t>(opacity * 256.0);
}

// Calls visit(part, pixels) for each tile of `image` that `rect` (inside
// the image) meets, serially: part is the share of the tile in image
// coordinates, pixels its first pixel.
template <class Visit>
void ReadPieces(const Image& image, const QRect& rect, Visit&& visit)
{
    KXTileWalker::ReadArea(image, rect, KXTileWalker::Run::Serial,
                           [&](const Pixel* pixels, const QRect& part, unsigned int column, unsigned int row) {
                               visit(part.translated(int(column) * kTile, int(row) * kTile),
                                     pixels + size_t(part.y()) * kTile + size_t(part.x()));
                           });
}

inline size_t InTile(const QPoint& p)
{
    return size_t(p.y() % kTile) * kTile + size_t(p.x() % kTile);
}

// ---- Sources and masks -----------------------------------------------------
// Pieces(rect, visit) calls visit(part, pixels, stride) for parts of a
// destination rectangle: pixels is the first pixel of `part`, stride the
// distance between its rows in pixels.

class TiledSource {
public:
    TiledSource(const Image& image, const QPoint& offset) : m_image(image), m_offset(offset) {}
    template <class Visit>
    void Pieces(const QRect& rect, Visit&& visit) const
    {
        ReadPieces(m_image, rect.translated(-m_offset), [&](const QRect& part, const Pixel* pixels) {
            visit(part.translated(m_offset), pixels, size_t(kTile));
        });
    }

private:
    const Image& m_image;
    QPoint m_offset;
};

class QImageSource {
public:
    QImageSource(const QImage& image, const QPoint& offset) : m_image(image), m_offset(offset) {}
    template <class Visit>
    void Pieces(const QRect& rect, Visit&& visit) const
    {
        const QPoint at = rect.topLeft() - m_offset;
        const Pixel* row = reinterpret_cast<const Pixel*>(m_image.constScanLine(at.y()));
        visit(rect, row + at.x(), size_t(m_image.bytesPerLine() / 4));
    }

private:
    const QImage& m_image;
    QPoint m_offset;
};

struct NoMask {
    static constexpr bool kMasked = false;
    QRect Written(const QRect& area) const { return area; }
    template <class Visit>
    void Pieces(const QRect& rect, Visit&& visit) const
    {
        visit(rect, static_cast<const Pixel*>(nullptr), size_t(0));
    }
};

// The mask alpha under pixels outside the mask that are revealed.
const Pixel* OpaqueMaskRow()
{
    static const struct Row {
        Pixel p[kTile];
        Row() { std::fill(p, p + kTile, Pixel(0xFFFFFFFFu)); }
    } row;
    return row.p;
}

class TiledMask {
public:
    static constexpr bool kMasked = true;

    TiledMask(const Image& mask, const QRect& maskRect, const QRect& dstRect, const QRect& area, bool reveal)
        : m_mask(mask), m_reveal(reveal)
    {
        const int64_t dx = int64_t(maskRect.left()) - dstRect.left();
        const int64_t dy = int64_t(maskRect.top()) - dstRect.top();
        const Box inside = (Box::Of(maskRect) & Box::Of(mask.Rect())).Moved(-dx, -dy) & Box::Of(area);
        if (!inside.IsEmpty()) {
            // Inside lies in the destination and, moved, in the mask: dx, dy fit an int.
            m_inside = inside.ToRect();
            m_offset = QPoint(int(dx), int(dy));
        }
    }

    // The part of the area that changes: all of it when the outside is
    // revealed, else the part inside the mask. Tiles outside it stay shared.
    QRect Written(const QRect& area) const { return m_reveal ? area : m_inside; }

    template <class Visit>
    void Pieces(const QRect& rect, Visit&& visit) const
    {
        const QRect inside = rect & m_inside;
        ReadPieces(m_mask, inside.translated(m_offset), [&](const QRect& part, const Pixel* pixels) {
            visit(part.translated(-m_offset), pixels, size_t(kTile));
        });
        if (!m_reveal)
            return;
        if (inside.isEmpty()) {
            visit(rect, OpaqueMaskRow(), size_t(0));
            return;
        }
        // The bands around the inside part: above, below, left, right.
        const QRect bands[] = {
            QRect(QPoint(rect.left(), rect.top()), QPoint(rect.right(), inside.top() - 1)),
            QRect(QPoint(rect.left(), inside.bottom() + 1), QPoint(rect.right(), rect.bottom())),
            QRect(QPoint(rect.left(), inside.top()), QPoint(inside.left() - 1, inside.bottom())),
            QRect(QPoint(inside.right() + 1, inside.top()), QPoint(rect.right(), inside.bottom())),
        };
        for (const QRect& band : bands)
            if (band.isValid())
                visit(band, OpaqueMaskRow(), size_t(0));
    }

private:
    const Image& m_mask;
    bool m_reveal;
    QRect m_inside;
    QPoint m_offset;
};

// ---- The walker ------------------------------------------------------------

// The destination tiles go through the tile walker, on the calling thread:
// every block a shared tile needs is taken before the first pixel changes.
template <class Source, class Mask, class Rule>
void Walk(const Source& source, const Mask& mask, Image& dst, const QRect& area, const Rule& rule)
{
    KXTileWalker::WriteArea(
        dst, mask.Written(area), KXTileWalker::Run::Serial,
        [&](Pixel* tile, const QRect& inTile, unsigned int column, unsigned int row) {
            const QRect piece = inTile.translated(int(column) * kTile, int(row) * kTile);
            source.Pieces(piece, [&](const QRect& part, const Pixel* s, size_t sStride) {
                mask.Pieces(part, [&](const QRect& sub, const Pixel* m, size_t mStride) {
                    const Pixel* from = s + size_t(sub.y() - part.y()) * sStride + size_t(sub.x() - part.x());
                    Pixel* to = tile + InTile(sub.topLeft());
                    // Whole tile rows of a tiled source (and mask) follow each
                    // other in memory as the destination's do: they go as one
                    // run, so that a row function's set-up is paid once a tile,
                    // not once a row. Every rule works pixel by pixel, in
                    // ascending order, in blocks that divide a tile row, so the
                    // bytes are the same.
                    const bool whole = sub.width() == kTile && sStride == size_t(kTile) &&
                                       (!Mask::kMasked || mStride == size_t(kTile));
                    const int width = whole ? kTile * sub.height() : sub.width();
                    const int rows = whole ? 1 : sub.height();
                    for (int y = 0; y < rows; ++y, from += sStride, to += kTile) {
                        if constexpr (Mask::kMasked) {
                            rule.Row(from, to, m, width);
                            m += mStride;
                        } else {
                            rule.Row(from, to, width);
                        }
                    }
                });
            });
        });
}

// ---- The mode table --------------------------------------------------------
// One row per numbered mode: its name and, for each form (tiled source,
// QImage source, tiled source through a mask, QImage source through a
// mask), the rule with the alpha composed and with it locked. A null rule
// changes nothing. A number without a row blends by the last row.

template <class Source, class Mask>
using Run = void (*)(const Source&, const Mask&, Image&, const QRect&, uint32_t);

template <class Source, class Mask, class Rule>
void RunRule(const Source& source, const Mask& mask, Image& dst, const QRect& area, uint32_t op)
{
    Walk(source, mask, dst, area, Rule(op));
}

// The rule of one form as a table entry: T a tiled source, Q a QImage
// source, M a tiled source through a mask, QM a QImage source through a mask.
template <class Rule>
constexpr Run<TiledSource, NoMask> T = &RunRule<TiledSource, NoMask, Rule>;
template <class Rule>
constexpr Run<QImageSource, NoMask> Q = &RunRule<QImageSource, NoMask, Rule>;
template <class Rule>
constexpr Run<TiledSource, TiledMask> M = &RunRule<TiledSource, TiledMask, Rule>;
template <class Rule>
constexpr Run<QImageSource, TiledMask> QM = &RunRule<QImageSource, TiledMask, Rule>;

template <class Core, class Alpha = SourceAlpha>
using R = CoreRule<Core, Alpha>;

// The rules of one form: [lockAlpha].
template <class Source, class Mask>
struct Forms {
    Run<Source, Mask> run[2];
};

template <class T>
struct Same {
    using type = T;
};

struct Mode {
    unsigned int number;
    const char* name;
    std::tuple<Forms<TiledSource, NoMask>, Forms<QImageSource, NoMask>, Forms<TiledSource, TiledMask>,
               Forms<QImageSource, TiledMask>>
        forms;

    // This row with the rules of one form replaced.
    template <class Source, class Mask>
    constexpr Mode With(Run<Source, Mask> composed, typename Same<Run<Source, Mask>>::type locked) const
    {
        Mode m = *this;
        std::get<Forms<Source, Mask>>(m.forms) = Forms<Source, Mask>{{composed, locked}};
        return m;
    }
};

// What a number does in a form its row leaves alone: Normal with the alpha
// composed (locked or not), through a mask with the mask applied after the
// opacity; a QImage through a mask does nothing.
constexpr Mode Row(unsigned int number, const char* name)
{
    using Normal = NormalRule<false, RowSourceAlpha>;
    using MaskedNormal = NormalRule<false, RowNestedAlpha>;
    return Mode{number, name,
                {Forms<TiledSource, NoMask>{{T<Normal>, T<Normal>}},
                 Forms<QImageSource, NoMask>{{Q<QImageNormalRule>, Q<QImageNormalRule>}},
                 Forms<TiledSource, TiledMask>{{M<MaskedNormal>, M<MaskedNormal>}},
                 Forms<QImageSource, TiledMask>{{nullptr, nullptr}}}};
}

// Plus, clamped after weighting, pixel by pixel.
constexpr Mode PlusRow(unsigned int number, const char* name)
{
    return Row(number, name)
        .With(T<R<Separable<TermPlus, false>>>, T<R<Separable<TermPlus, true>>>)
        .With(Q<R<Separable<TermPlus, false>>>, Q<R<Separable<TermPlus, true>>>)
        .With(M<R<Separable<TermPlus, false>, MaskedProductAlpha>>,
                M<R<Separable<TermPlus, true>, MaskedProductAlpha>>);
}

// A separable term over blocks of pixels, in the tiled, QImage and masked forms.
template <class Term>
constexpr Mode SeparableRow(unsigned int number, const char* name)
{
    return Row(number, name)
        .With(T<SeparableRule<Term, false, RowSourceAlpha>>, T<SeparableRule<Term, true, RowSourceAlpha>>)
        .With(Q<SeparableRule<Term, false, RowSourceAlpha>>, Q<SeparableRule<Term, true, RowSourceAlpha>>)
        .With(M<SeparableRule<Term, false, RowProductAlpha>>, M<SeparableRule<Term, true, RowProductAlpha>>);
}

// A mode of tiled sources only, with a rule for each alpha setting.
template <class Composed, class Locked>
constexpr Mode TiledRow(unsigned int number, const char* name)
{
    return Row(number, name).With(T<Composed>, T<Locked>);
}

constexpr Mode kModes[] = {
    Row(0, "Normal")
        .With(T<NormalRule<false, RowSourceAlpha>>, T<NormalRule<true, RowSourceAlpha>>)
        .With(Q<QImageNormalRule>, Q<NormalRule<true, RowSourceAlpha>>)
        .With(M<NormalRule<false, RowNestedAlpha>>, M<NormalRule<true, RowProductAlpha>>)
        .With(QM<NormalRule<false, RowNestedAlpha>>, QM<NormalRule<true, RowNestedAlpha>>),
    Row(2, "Clear").With(T<R<ClearCore>>, nullptr),
    Row(3, "Source")
        .With(T<R<SourceCore>>, T<R<SourceColoursCore>>)
        .With(Q<R<SourceCore>>, Q<R<SourceColoursCore>>)
        // The locked form uses neither mask nor opacity.
        .With(M<R<SourceCore, MaskedProductAlpha>>, M<R<SourceColoursCore, MaskedProductAlpha>>),
    Row(6, "DestinationIn").With(T<R<DestinationInCore>>, nullptr).With(Q<R<DestinationInCore>>, nullptr),
    Row(8, "DestinationOut")
        .With(T<R<DestinationOutCore>>, nullptr)
        .With(Q<R<DestinationOutCore>>, nullptr)
        .With(M<R<DestinationOutCore, MaskedProductAlpha>>, nullptr),
    PlusRow(12, "Plus"),
    SeparableRow<TermMultiply>(13, "Multiply"),
    SeparableRow<TermScreen>(14, "Screen"),
    SeparableRow<TermOverlay>(15, "Overlay"),
    SeparableRow<TermDarken>(16, "Darken"),
    SeparableRow<TermLighten>(17, "Lighten"),
    SeparableRow<TermColorDodge>(18, "ColorDodge"),
    SeparableRow<TermColorBurn>(19, "ColorBurn"),
    SeparableRow<TermHardLight>(20, "HardLight"),
    SeparableRow<TermSoftLight>(21, "SoftLight"),
    SeparableRow<TermDifference>(22, "Difference"),
    SeparableRow<TermExclusion>(23, "Exclusion"),
    TiledRow<R<BitwiseCore<BitOr, false>>, R<BitwiseCore<BitOr, true>>>(24, "BitwiseOr"),
    TiledRow<R<BitwiseCore<BitAnd, false>>, R<BitwiseCore<BitAnd, true>>>(25, "BitwiseAnd"),
    TiledRow<R<BitwiseCore<BitAndNot, false>>, R<BitwiseCore<BitAndNot, true>>>(31, "BitwiseAndNot"),
    Row(64, "AlphaFromLuminance")
        .With(T<R<AlphaFromLuminanceCore>>, nullptr)
        .With(M<R<AlphaFromLuminanceCore, MaskedNestedAlpha>>, nullptr),
    TiledRow<R<GreyFromAlphaCore<false>>, R<GreyFromAlphaCore<true>>>(88, "GreyFromAlpha")
        .With(M<MaskedGreyFromAlphaRule<false>>, M<MaskedGreyFromAlphaRule<true>>),
    TiledRow<R<GreyFromLuminanceCore<false>>, R<GreyFromLuminanceCore<true>>>(89, "GreyFromLuminance"),
    // A QImage source copies as Source.
    TiledRow<LuminosityRule, R<LuminosityLockedCore, RawAlpha>>(90, "Luminosity")
        .With(Q<R<SourceCore>>, Q<R<SourceColoursCore>>)
        .With(M<R<MaskedLuminosityCore, MaskedNestedAlpha>>, nullptr),
    TiledRow<R<CopyCoveredCore<false>>, R<CopyCoveredCore<true>>>(91, "CopyWhereCovered"),
    // 92 to 95 have no locked form: locked, they blend as Normal.
    TiledRow<AlphaKeepRule, NormalRule<false, RowSourceAlpha>>(92, "AlphaKeep"),
    TiledRow<R<AlphaAddCore>, NormalRule<false, RowSourceAlpha>>(93, "AlphaAdd"),
    TiledRow<R<AlphaMinimumCore>, NormalRule<false, RowSourceAlpha>>(94, "AlphaMinimum"),
    TiledRow<R<AlphaSubtractCore>, NormalRule<false, RowSourceAlpha>>(95, "AlphaSubtract"),
    Row(~0u, nullptr), // every other number
};

constexpr bool Ascending()
{
    for (size_t i = 1; i < std::size(kModes); ++i)
        if (kModes[i - 1].number >= kModes[i].number)
            return false;
    return true;
}
static_assert(Ascending(), "one row per number, in order, the catch-all last");

constexpr const Mode& ModeOf(unsigned int number)
{
    size_t i = 0;
    while (kModes[i].number < number)
        ++i;
    return kModes[i].number == number ? kModes[i] : kModes[std::size(kModes) - 1];
}

static_assert(ModeOf(0).number == 0 && ModeOf(95).number == 95 && ModeOf(1).name == nullptr &&
                  ModeOf(~0u).name == nullptr,
              "lookup");

// Runs the rule of a mode for this form of source and mask, if it has one.
template <class Source, class Mask>
void Dispatch(unsigned int mode, bool lockAlpha, const Source& source, const Mask& mask, Image& dst,
              const QRect& area, uint32_t op)
{
    const Run<Source, Mask> run = std::get<Forms<Source, Mask>>(ModeOf(mode).forms).run[lockAlpha];
    if (run)
        run(source, mask, dst, area, op);
}

// ---- Entry points ----------------------------------------------------------

bool IsArgb32(const QImage& image)
{
    return KXQImageFormat::Accept(image, image.format() == QImage::Format_ARGB32, KX_SITE(kLogFile));
}

// Blending an image into itself reads from a copy that shares its tiles:
// each destination tile written is then detached, and the source keeps the
// pixels it had.
const Image& Unaliased(const Image& image, const Image& dst, Image& copy)
{
    if (&image != &dst)
        return image;
    copy = image;
    return copy;
}

// The two kinds of source: what is accepted, its rectangle, and its reader
// (a tiled source blended into itself is read from a copy).
bool Accepted(const Image&)
{
    return true;
}
bool Accepted(const QImage& image)
{
    return IsArgb32(image);
}
QRect RectOf(const Image& image)
{
    return image.Rect();
}
QRect RectOf(const QImage& image)
{
    return image.rect();
}
TiledSource SourceOf(const Image& src, const Image& dst, Image& copy, const QPoint& offset)
{
    return TiledSource(Unaliased(src, dst, copy), offset);
}
QImageSource SourceOf(const QImage& src, const Image&, Image&, const QPoint& offset)
{
    return QImageSource(src, offset);
}

// BlendOn (mask null) and BlendMaskOn for either kind of source.
template <class Src>
void Blend(const Src& src, const QRect& srcRect, unsigned int mode, Image& dst, const QRect& dstRect, double opacity,
           bool lockAlpha, const Image* mask, const QRect& maskRect, bool revealOutsideMask)
{
    KXLog::GuardRethrow(KX_SITE(kLogFile), [&] {
        if (!Accepted(src))
            return;
        const Placement placement(RectOf(src), srcRect, dst.Rect(), dstRect);
        const uint32_t op = IntegerOpacity(opacity);
        if (placement.area.isEmpty() || op == 0)
            return;
        Image sourceCopy, maskCopy;
        const auto source = SourceOf(src, dst, sourceCopy, placement.offset);
        // A mask without pixels whose outside is revealed is no mask.
        if (!mask || (mask->Rect().isEmpty() && revealOutsideMask))
            return Dispatch(mode, lockAlpha, source, NoMask(), dst, placement.area, op);
        const TiledMask weights(Unaliased(*mask, dst, maskCopy), maskRect, dstRect, placement.area, revealOutsideMask);
        Dispatch(mode, lockAlpha, source, weights, dst, placement.area, op);
    });
}

} // namespace

const char* BlendModeName(unsigned int mode)
{
    return ModeOf(mode).name;
}

void BlendOn(const Image& src, const QRect& srcRect, unsigned int mode, Image& dst, const QRect& dstRect,
             double opacity, bool lockAlpha)
{
    Blend(src, srcRect, mode, dst, dstRect, opacity, lockAlpha, nullptr, QRect(), false);
}

void BlendOn(const QImage& src, const QRect& srcRect, unsigned int mode, Image& dst, const QRect& dstRect,
             double opacity, bool lockAlpha)
{
    Blend(src, srcRect, mode, dst, dstRect, opacity, lockAlpha, nullptr, QRect(), false);
}

void BlendMaskOn(const Image& src, const QRect& srcRect, unsigned int mode, Image& dst, const QRect& dstRect,
                 double opacity, const Image& mask, const QRect& maskRect, bool revealOutsideMask, bool lockAlpha)
{
    Blend(src, srcRect, mode, dst, dstRect, opacity, lockAlpha, &mask, maskRect, revealOutsideMask);
}

void BlendMaskOn(const QImage& src, const QRect& srcRect, unsigned int mode, Image& dst, const QRect& dstRect,
                 double opacity, const Image& mask, const QRect& maskRect, bool revealOutsideMask, bool lockAlpha)
{
    Blend(src, srcRect, mode, dst, dstRect, opacity, lockAlpha, &mask, maskRect, revealOutsideMask);
}

void BlendOn(const KXImageCMYKA&, const QRect&, unsigned int, KXImageCMYKA&, const QRect&, double, bool) {}

void BlendMaskOn(const KXImageCMYKA&, const QRect&, unsigned int, KXImageCMYKA&, const QRect&, double,
                 const Image&, const QRect&, bool, bool)
{
}
