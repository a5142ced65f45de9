// Layer blend modes. One walker visits the destination tiles that the area
// meets, splits each into the pieces that lie in one source tile and one mask
// tile (or outside the mask), and hands every row of a piece to a rule. The
// mode, the locked alpha and the presence of a mask become the rule's type
// once per call, in the tables below.

#include "KXBlendModes.h"

#include "KXLog.h"
#include "compositing/KXBlendKernels.h"
#include "compositing/KXBlendLuminosity.h"
#include "compositing/KXBlendNormal.h"
#include "compositing/KXBlendSeparable.h"
#include "compositing/KXBox.h"
#include "core/KXQImageFormat.h"

#include <algorithm>
#include <cstdint>

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

// Calls visit(column, row, piece) for each 128 x 128 tile that `area` (in
// non-negative image coordinates) meets; piece is the part inside the tile.
template <class Visit>
void ForEachTile(const QRect& area, Visit&& visit)
{
    if (area.isEmpty())
        return;
    for (int row = area.top() / kTile; row <= area.bottom() / kTile; ++row)
        for (int column = area.left() / kTile; column <= area.right() / kTile; ++column)
            visit(column, row, area & QRect(column * kTile, row * kTile, kTile, kTile));
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
        ForEachTile(rect.translated(-m_offset), [&](int column, int row, const QRect& part) {
            const KXTileAccess<const Pixel> tile = m_image.ReadTile(unsigned(column), unsigned(row));
            visit(part.translated(m_offset), tile.Data() + InTile(part.topLeft()), size_t(kTile));
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
    bool Covers(const QRect&) const { return true; }
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

    bool Covers(const QRect& rect) const { return m_reveal || rect.intersects(m_inside); }

    template <class Visit>
    void Pieces(const QRect& rect, Visit&& visit) const
    {
        const QRect inside = rect & m_inside;
        ForEachTile(inside.translated(m_offset), [&](int column, int row, const QRect& part) {
            const KXTileAccess<const Pixel> tile = m_mask.ReadTile(unsigned(column), unsigned(row));
            visit(part.translated(-m_offset), tile.Data() + InTile(part.topLeft()), size_t(kTile));
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

template <class Source, class Mask, class Rule>
void Walk(const Source& source, const Mask& mask, Image& dst, const QRect& area, const Rule& rule)
{
    ForEachTile(area, [&](int column, int row, const QRect& piece) {
        if (!mask.Covers(piece))
            return;
        const KXTileAccess<Pixel> out = dst.WriteTile(unsigned(column), unsigned(row));
        source.Pieces(piece, [&](const QRect& part, const Pixel* s, size_t sStride) {
            mask.Pieces(part, [&](const QRect& sub, const Pixel* m, size_t mStride) {
                const Pixel* from = s + size_t(sub.y() - part.y()) * sStride + size_t(sub.x() - part.x());
                Pixel* to = out.Data() + InTile(sub.topLeft());
                const int width = sub.width();
                for (int y = 0; y < sub.height(); ++y, from += sStride, to += kTile) {
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

// ---- Mode tables -----------------------------------------------------------

template <class Core, class Alpha = SourceAlpha>
using R = CoreRule<Core, Alpha>;

// Modes 12 to 23: the separable kernel with each blend term; all but plus
// run over blocks of pixels.
template <bool Lock, class RowAlpha, class Visit>
bool VisitSeparable(unsigned int mode, uint32_t op, Visit& visit)
{
    switch (mode) {
    case 12: visit(R<Separable<TermPlus, Lock>, typename RowAlpha::Scalar>(op)); return true;
    case 13: visit(SeparableRule<TermMultiply, Lock, RowAlpha>(op)); return true;
    case 14: visit(SeparableRule<TermScreen, Lock, RowAlpha>(op)); return true;
    case 15: visit(SeparableRule<TermOverlay, Lock, RowAlpha>(op)); return true;
    case 16: visit(SeparableRule<TermDarken, Lock, RowAlpha>(op)); return true;
    case 17: visit(SeparableRule<TermLighten, Lock, RowAlpha>(op)); return true;
    case 18: visit(SeparableRule<TermColorDodge, Lock, RowAlpha>(op)); return true;
    case 19: visit(SeparableRule<TermColorBurn, Lock, RowAlpha>(op)); return true;
    case 20: visit(SeparableRule<TermHardLight, Lock, RowAlpha>(op)); return true;
    case 21: visit(SeparableRule<TermSoftLight, Lock, RowAlpha>(op)); return true;
    case 22: visit(SeparableRule<TermDifference, Lock, RowAlpha>(op)); return true;
    case 23: visit(SeparableRule<TermExclusion, Lock, RowAlpha>(op)); return true;
    default: return false;
    }
}

// A tiled source without a mask.
template <class Visit>
void VisitTiledRule(unsigned int mode, bool lock, uint32_t op, Visit&& visit)
{
    if (lock) {
        switch (mode) {
        case 0: return visit(NormalRule<true, RowSourceAlpha>(op));
        case 2: case 6: case 8: case 64: return; // nothing is done
        case 3: return visit(R<SourceColoursCore>(op));
        case 24: return visit(R<BitwiseCore<BitOr, true>>(op));
        case 25: return visit(R<BitwiseCore<BitAnd, true>>(op));
        case 31: return visit(R<BitwiseCore<BitAndNot, true>>(op));
        case 88: return visit(R<GreyFromAlphaCore<true>>(op));
        case 89: return visit(R<GreyFromLuminanceCore<true>>(op));
        case 90: return visit(R<LuminosityLockedCore, RawAlpha>(op));
        case 91: return visit(R<CopyCoveredCore<true>>(op));
        default:
            if (VisitSeparable<true, RowSourceAlpha>(mode, op, visit))
                return;
        }
    } else {
        switch (mode) {
        case 2: return visit(R<ClearCore>(op));
        case 3: return visit(R<SourceCore>(op));
        case 6: return visit(R<DestinationInCore>(op));
        case 8: return visit(R<DestinationOutCore>(op));
        case 24: return visit(R<BitwiseCore<BitOr, false>>(op));
        case 25: return visit(R<BitwiseCore<BitAnd, false>>(op));
        case 31: return visit(R<BitwiseCore<BitAndNot, false>>(op));
        case 64: return visit(R<AlphaFromLuminanceCore>(op));
        case 88: return visit(R<GreyFromAlphaCore<false>>(op));
        case 89: return visit(R<GreyFromLuminanceCore<false>>(op));
        case 90: return visit(LuminosityRule(op));
        case 91: return visit(R<CopyCoveredCore<false>>(op));
        case 92: return visit(AlphaKeepRule(op));
        case 93: return visit(R<AlphaAddCore>(op));
        case 94: return visit(R<AlphaMinimumCore>(op));
        case 95: return visit(R<AlphaSubtractCore>(op));
        default:
            if (VisitSeparable<false, RowSourceAlpha>(mode, op, visit))
                return;
        }
    }
    visit(NormalRule<false, RowSourceAlpha>(op));
}

// A QImage source without a mask.
template <class Visit>
void VisitQImageRule(unsigned int mode, bool lock, uint32_t op, Visit&& visit)
{
    if (lock) {
        switch (mode) {
        case 0: return visit(NormalRule<true, RowSourceAlpha>(op));
        case 3: case 90: return visit(R<SourceColoursCore>(op));
        case 6: case 8: return;
        default:
            if (VisitSeparable<true, RowSourceAlpha>(mode, op, visit))
                return;
        }
    } else {
        switch (mode) {
        case 3: case 90: return visit(R<SourceCore>(op));
        case 6: return visit(R<DestinationInCore>(op));
        case 8: return visit(R<DestinationOutCore>(op));
        default:
            if (VisitSeparable<false, RowSourceAlpha>(mode, op, visit))
                return;
        }
    }
    visit(QImageNormalRule(op));
}

// A tiled source through a mask.
template <class Visit>
void VisitMaskedTiledRule(unsigned int mode, bool lock, uint32_t op, Visit&& visit)
{
    if (lock) {
        switch (mode) {
        case 0: return visit(NormalRule<true, RowProductAlpha>(op));
        case 3: return visit(R<SourceColoursCore, MaskedProductAlpha>(op)); // mask and opacity unused
        case 8: case 64: case 90: return;
        case 88: return visit(MaskedGreyFromAlphaRule<true>(op));
        default:
            if (VisitSeparable<true, RowProductAlpha>(mode, op, visit))
                return;
        }
    } else {
        switch (mode) {
        case 3: return visit(R<SourceCore, MaskedProductAlpha>(op));
        case 8: return visit(R<DestinationOutCore, MaskedProductAlpha>(op));
        case 64: return visit(R<AlphaFromLuminanceCore, MaskedNestedAlpha>(op));
        case 88: return visit(MaskedGreyFromAlphaRule<false>(op));
        case 90: return visit(R<MaskedLuminosityCore, MaskedNestedAlpha>(op));
        default:
            if (VisitSeparable<false, RowProductAlpha>(mode, op, visit))
                return;
        }
    }
    visit(NormalRule<false, RowNestedAlpha>(op));
}

// A QImage source through a mask: mode 0 only.
template <class Visit>
void VisitMaskedQImageRule(unsigned int mode, bool lock, uint32_t op, Visit&& visit)
{
    if (mode != 0)
        return;
    if (lock)
        visit(NormalRule<true, RowNestedAlpha>(op));
    else
        visit(NormalRule<false, RowNestedAlpha>(op));
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

void BlendTiled(const Image& src, unsigned int mode, Image& dst, uint32_t op, bool lockAlpha,
                const Placement& placement)
{
    Image copy;
    const TiledSource source(Unaliased(src, dst, copy), placement.offset);
    VisitTiledRule(mode, lockAlpha, op,
                   [&](const auto& rule) { Walk(source, NoMask(), dst, placement.area, rule); });
}

void BlendQImage(const QImage& src, unsigned int mode, Image& dst, uint32_t op, bool lockAlpha,
                 const Placement& placement)
{
    const QImageSource source(src, placement.offset);
    VisitQImageRule(mode, lockAlpha, op,
                    [&](const auto& rule) { Walk(source, NoMask(), dst, placement.area, rule); });
}

} // namespace

const char* BlendModeName(unsigned int mode)
{
    switch (mode) {
    case 0: return "Normal";
    case 2: return "Clear";
    case 3: return "Source";
    case 6: return "DestinationIn";
    case 8: return "DestinationOut";
    case 12: return "Plus";
    case 13: return "Multiply";
    case 14: return "Screen";
    case 15: return "Overlay";
    case 16: return "Darken";
    case 17: return "Lighten";
    case 18: return "ColorDodge";
    case 19: return "ColorBurn";
    case 20: return "HardLight";
    case 21: return "SoftLight";
    case 22: return "Difference";
    case 23: return "Exclusion";
    case 24: return "BitwiseOr";
    case 25: return "BitwiseAnd";
    case 31: return "BitwiseAndNot";
    case 64: return "AlphaFromLuminance";
    case 88: return "GreyFromAlpha";
    case 89: return "GreyFromLuminance";
    case 90: return "Luminosity";
    case 91: return "CopyWhereCovered";
    case 92: return "AlphaKeep";
    case 93: return "AlphaAdd";
    case 94: return "AlphaMinimum";
    case 95: return "AlphaSubtract";
    default: return nullptr;
    }
}

void BlendOn(const Image& src, const QRect& srcRect, unsigned int mode, Image& dst, const QRect& dstRect,
             double opacity, bool lockAlpha)
{
    KXLog::GuardRethrow(KX_SITE(kLogFile), [&] {
        const Placement placement(src.Rect(), srcRect, dst.Rect(), dstRect);
        const uint32_t op = IntegerOpacity(opacity);
        if (placement.area.isEmpty() || op == 0)
            return;
        BlendTiled(src, mode, dst, op, lockAlpha, placement);
    });
}

void BlendOn(const QImage& src, const QRect& srcRect, unsigned int mode, Image& dst, const QRect& dstRect,
             double opacity, bool lockAlpha)
{
    KXLog::GuardRethrow(KX_SITE(kLogFile), [&] {
        if (!IsArgb32(src))
            return;
        const Placement placement(src.rect(), srcRect, dst.Rect(), dstRect);
        const uint32_t op = IntegerOpacity(opacity);
        if (placement.area.isEmpty() || op == 0)
            return;
        BlendQImage(src, mode, dst, op, lockAlpha, placement);
    });
}

void BlendMaskOn(const Image& src, const QRect& srcRect, unsigned int mode, Image& dst, const QRect& dstRect,
                 double opacity, const Image& mask, const QRect& maskRect, bool revealOutsideMask, bool lockAlpha)
{
    KXLog::GuardRethrow(KX_SITE(kLogFile), [&] {
        const Placement placement(src.Rect(), srcRect, dst.Rect(), dstRect);
        const uint32_t op = IntegerOpacity(opacity);
        if (placement.area.isEmpty() || op == 0)
            return;
        if (mask.Rect().isEmpty() && revealOutsideMask)
            return BlendTiled(src, mode, dst, op, lockAlpha, placement);
        Image sourceCopy, maskCopy;
        const TiledSource source(Unaliased(src, dst, sourceCopy), placement.offset);
        const TiledMask weights(Unaliased(mask, dst, maskCopy), maskRect, dstRect, placement.area, revealOutsideMask);
        VisitMaskedTiledRule(mode, lockAlpha, op,
                             [&](const auto& rule) { Walk(source, weights, dst, placement.area, rule); });
    });
}

void BlendMaskOn(const QImage& src, const QRect& srcRect, unsigned int mode, Image& dst, const QRect& dstRect,
                 double opacity, const Image& mask, const QRect& maskRect, bool revealOutsideMask, bool lockAlpha)
{
    KXLog::GuardRethrow(KX_SITE(kLogFile), [&] {
        if (!IsArgb32(src))
            return;
        const Placement placement(src.rect(), srcRect, dst.Rect(), dstRect);
        const uint32_t op = IntegerOpacity(opacity);
        if (placement.area.isEmpty() || op == 0)
            return;
        if (mask.Rect().isEmpty() && revealOutsideMask)
            return BlendQImage(src, mode, dst, op, lockAlpha, placement);
        Image maskCopy;
        const QImageSource source(src, placement.offset);
        const TiledMask weights(Unaliased(mask, dst, maskCopy), maskRect, dstRect, placement.area, revealOutsideMask);
        VisitMaskedQImageRule(mode, lockAlpha, op,
                              [&](const auto& rule) { Walk(source, weights, dst, placement.area, rule); });
    });
}

void BlendOn(const KXImageCMYKA&, const QRect&, unsigned int, KXImageCMYKA&, const QRect&, double, bool) {}

void BlendMaskOn(const KXImageCMYKA&, const QRect&, unsigned int, KXImageCMYKA&, const QRect&, double,
                 const Image&, const QRect&, bool, bool)
{
}
