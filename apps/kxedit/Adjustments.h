#ifndef KXEDIT_ADJUSTMENTS_H
#define KXEDIT_ADJUSTMENTS_H

#include "Filters.h"

#include <KXColorTransform.h>
#include <KXTonalAdjustments.h>

#include <QVariantList>

#include <array>
#include <memory>

namespace kxedit {

/// A table adjustment as a colour transformation, so that it can go onto
/// the library's transform stack (it cannot be undone by Invert: the
/// editor's undo restores the layer's tiles instead).
class TableTransform : public KXColorTransformBase {
public:
    explicit TableTransform(const KXRGBTables& tables) : m_tables(tables) {}
    using KXColorTransformBase::operator();
    using KXColorTransformBase::Invert;
    void operator()(void* pixels, unsigned int byteCount) const override;
    void operator()(KXImage<KXRGBA32i, 128, 128>& image) const override;
    void operator()(KXRGBA32i& pixel) const override { m_tables(pixel); }
    void Invert(void* pixels, unsigned int byteCount) const override;
    const KXRGBTables& Tables() const { return m_tables; }

private:
    KXRGBTables m_tables;
};

/// The tonal adjustments the editor offers, stacked in this order:
/// brightness and contrast, exposure and offset, gamma, posterize levels.
struct Adjustments {
    static QList<ParamField> Fields();
    static QVariantList Defaults();
    /// The tables of each stage for `values`; identity stages are left out.
    static QList<KXRGBTables> Tables(const QVariantList& values);
    /// A transform stack of those stages (owned by the caller).
    static std::unique_ptr<KXColorTransformStack> Stack(const QVariantList& values);
    /// A histogram (256 counts a channel: red, green, blue) mapped through
    /// the tables, as the adjusted pixels would count.
    using Histogram = std::array<std::array<unsigned int, 256>, 3>;
    static Histogram Mapped(const Histogram& histogram, const QList<KXRGBTables>& tables);
    /// The histogram of `rect` of an image.
    static Histogram Count(const KXImageRGBA32i& image, const QRect& rect);
};

} // namespace kxedit

#endif
