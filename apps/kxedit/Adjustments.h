#ifndef KXEDIT_ADJUSTMENTS_H
#define KXEDIT_ADJUSTMENTS_H

#include "Filters.h"

#include <KXColorTransform.h>
#include <KXTonalAdjustments.h>
#include <KXTransformImageColors.h>

#include <QVariantList>

#include <array>
#include <functional>
#include <memory>
#include <vector>

namespace kxedit {

namespace detail {
// Many pixels at once where the adjustment has a run form, else one by one.
template <class F>
auto ApplyRun(const F& f, KXRGBA32i* pixels, unsigned int count, int)
    -> decltype(f.ApplyRun(pixels, pixels, count), void())
{
    f.ApplyRun(pixels, pixels, count);
}
template <class F>
void ApplyRun(const F& f, KXRGBA32i* pixels, unsigned int count, long)
{
    for (unsigned int i = 0; i < count; ++i)
        f(pixels[i]);
}
} // namespace detail

/// A per-pixel adjustment of the library as a colour transformation, so that
/// it can go onto the transform stack (it cannot be undone by Invert: the
/// editor's undo restores the layer's tiles instead).
template <class F>
class PixelTransform : public KXColorTransformBase {
public:
    explicit PixelTransform(const F& f) : m_f(f) {}
    using KXColorTransformBase::operator();
    using KXColorTransformBase::Invert;
    void operator()(void* pixels, unsigned int byteCount) const override
    {
        if (pixels && byteCount >= 4)
            detail::ApplyRun(m_f, static_cast<KXRGBA32i*>(pixels), byteCount / 4, 0);
    }
    void operator()(KXImage<KXRGBA32i, 128, 128>& image) const override { TransformPixels(image, m_f); }
    void operator()(KXRGBA32i& pixel) const override { m_f(pixel); }
    void Invert(void*, unsigned int) const override {}
    const F& Function() const { return m_f; }

private:
    F m_f;
};

using TableTransform = PixelTransform<KXRGBTables>;

/// Histogram helpers and the tonal adjustments the editor offers in one
/// dialog, stacked in this order: brightness and contrast, exposure and
/// offset, gamma, posterize levels.
struct Adjustments {
    static QList<ParamField> Fields();
    static QVariantList Defaults();
    /// The tables of each stage for `values`; identity stages are left out.
    static QList<KXRGBTables> Tables(const QVariantList& values);
    /// A histogram (256 counts a channel: red, green, blue) mapped through
    /// the tables, as the adjusted pixels would count.
    using Histogram = std::array<std::array<unsigned int, 256>, 3>;
    static Histogram Mapped(const Histogram& histogram, const QList<KXRGBTables>& tables);
    /// The tables of `tables` applied in order, as one set.
    static KXRGBTables Composed(const QList<KXRGBTables>& tables);
    /// The histogram of `rect` of an image.
    static Histogram Count(const KXImageRGBA32i& image, const QRect& rect);
    /// The histogram of loose pixels.
    static Histogram Count(const std::vector<KXRGBA32i>& pixels);
    /// About `count` pixels spread evenly over `rect` of an image.
    static std::vector<KXRGBA32i> Sample(const KXImageRGBA32i& image, const QRect& rect, int count);
};

/// One adjustment as the editor offers it: its fields, their defaults and
/// the stages it puts on the colour-transform stack. Table adjustments give
/// their tables (so that the histogram is mapped exactly); the others a
/// transformation.
struct AdjustmentKind {
    QString name;
    QList<ParamField> fields;
    QVariantList defaults;
    std::function<QList<KXRGBTables>(const QVariantList&)> tables;
    std::function<KXColorTransformBase*(const QVariantList&)> transform;

    /// A transform stack of the stages for `values`.
    std::unique_ptr<KXColorTransformStack> Stack(const QVariantList& values) const;
    /// The same stages as one transformation, for a view that passes every
    /// pixel through it: table stages composed into one set of tables
    /// (looking a value up stage after stage is looking it up once in the
    /// composition), with no stack lock taken for each pixel.
    std::unique_ptr<KXColorTransformBase> Preview(const QVariantList& values) const;
};

/// Every adjustment, in menu order; the first is the tonal one of
/// `Adjustments`.
const QList<const AdjustmentKind*>& AdjustmentKinds();
/// The adjustment of that name, or null.
const AdjustmentKind* FindAdjustment(const QString& name);

} // namespace kxedit

#endif
