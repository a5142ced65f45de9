#ifndef VQCMSTRANSFORM_H
#define VQCMSTRANSFORM_H

/// \file
/// ICC colour transforms between two profiles, over 8-bit BGRA pixels (the
/// byte order of KXRGBA32i), perceptual intent, through Little CMS. Only RGB
/// to RGB between profiles with different descriptions makes a transform;
/// otherwise the object is empty and changes nothing. Alpha is never written.
///
/// Threads: a transform keeps no state between calls; one object may be
/// applied to different images from different threads.

#include "KXColorTransform.h"
#include "KXImage.h"
#include "KXPixel.h"
#include "VQCMSProfile.h"
#include "kxcore_export.h"

#include <QColor>
#include <QImage>

/// An ICC transform from one profile to another over 8-bit BGRA pixels;
/// empty (changing nothing) unless both profiles are RGB and their
/// descriptions differ.
class KXCORE_EXPORT VQCMSTransform {
public:
    VQCMSTransform(); ///< empty
    /// From `source` to `destination`, perceptual intent; empty unless both
    /// are RGB profiles with different descriptions.
    VQCMSTransform(const VQCMSProfile& source, const VQCMSProfile& destination);
    /// Shares the other's profiles and builds a transform of its own.
    VQCMSTransform(const VQCMSTransform& other);
    /// Shares the other's profiles and builds a transform of its own.
    VQCMSTransform& operator=(const VQCMSTransform& other);
    ~VQCMSTransform();

    bool IsEmpty() const; ///< True when the transform changes nothing.
    const VQCMSProfile& GetSource() const;      ///< The profile transformed from.
    const VQCMSProfile& GetDestination() const; ///< The profile transformed to.

    void operator()(KXRGBA32i& pixel) const; ///< Transforms one pixel; alpha is kept.
    /// The colour's rgba() through the transform, set back with setRgba().
    void operator()(QColor& color) const;
    /// `lines` runs of `count` pixels, the runs `bytesPerLine` bytes apart, in
    /// place; the same result as transforming every pixel by itself.
    void Transform(KXRGBA32i* pixels, unsigned int count, unsigned int lines = 1,
                   unsigned int bytesPerLine = 0) const;

private:
    void Rebuild();

    struct Private;
    Private* d;
};

/// A colour transformation from a source profile to a destination profile;
/// Invert goes back. Whole images are transformed inside their bounds only.
class KXCORE_EXPORT KXRGBA32ColorProfileTransform : public KXColorTransformBase {
public:
    KXRGBA32ColorProfileTransform(); ///< both directions empty
    /// Builds both directions between `source` and `destination`.
    KXRGBA32ColorProfileTransform(const VQCMSProfile& source, const VQCMSProfile& destination);
    KXRGBA32ColorProfileTransform(const KXRGBA32ColorProfileTransform& other); ///< Copies both directions.
    KXRGBA32ColorProfileTransform& operator=(const KXRGBA32ColorProfileTransform& other); ///< Copies both directions.
    ~KXRGBA32ColorProfileTransform() override;

    const VQCMSTransform& GetForward() const { return m_forward; } ///< Source to destination.
    const VQCMSTransform& GetInverse() const { return m_inverse; } ///< Destination to source.

    using KXColorTransformBase::operator();
    using KXColorTransformBase::Invert;
    void operator()(KXImage<KXRGBA32i, 128, 128>& image) const override;
    /// A QImage that is not QImage::Format_ARGB32 is converted to it first.
    void operator()(QImage& image) const override;
    void operator()(KXRGBA32i& pixel) const override;
    void Invert(KXImage<KXRGBA32i, 128, 128>& image) const override;
    void Invert(QImage& image) const override;
    void Invert(KXRGBA32i& pixel) const override;

protected:
    /// The buffer forms do nothing.
    void operator()(void* pixels, unsigned int byteCount) const override;
    void Invert(void* pixels, unsigned int byteCount) const override; ///< Does nothing.

private:
    VQCMSTransform m_forward; // source to destination
    VQCMSTransform m_inverse; // destination to source
};

#endif // VQCMSTRANSFORM_H
