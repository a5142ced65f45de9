#ifndef KXCOLORTRANSFORM_H
#define KXCOLORTRANSFORM_H

/// \file
/// The polymorphic colour transformation: applied to one pixel of any pixel
/// type, to a buffer of packed KXRGBA32i pixels, to a tiled image or to a
/// QImage, and undone through Invert. KXColorTransformStack chains several of
/// them. The per-pixel adjustments (KXTonalAdjustments.h,
/// KXColorAdjustments.h) are plain value classes and do not derive from this.

#include "KXImage.h"
#include "KXPixel.h"
#include "kxcore_export.h"

#include <QImage>
#include <QMutex>
#include <QVector>

/// The polymorphic colour transformation: one pixel of any pixel type, a
/// buffer of packed KXRGBA32i pixels, a tiled image or a QImage, forward
/// with operator() and back with Invert.
class KXCORE_EXPORT KXColorTransformBase {
public:
    KXColorTransformBase(const KXColorTransformBase&) = default;            ///< Copies the settings.
    KXColorTransformBase& operator=(const KXColorTransformBase&) = default; ///< Copies the settings.

    // The operations in their fixed order. The buffer forms take packed
    // KXRGBA32i pixels and a length in bytes (byteCount / 4 pixels; a null
    // pointer or fewer than 4 bytes do nothing). Unless a class says
    // otherwise every operation but the two buffer forms does nothing.

    /// Transforms byteCount / 4 packed KXRGBA32i pixels in place; a null
    /// pointer or fewer than 4 bytes do nothing.
    virtual void operator()(void* pixels, unsigned int byteCount) const = 0;
    /// Transforms a tiled image in place; does nothing unless a class says otherwise.
    virtual void operator()(KXImage<KXRGBA32i, 128, 128>& image) const;
    /// Transforms a QImage in place; does nothing unless a class says otherwise.
    virtual void operator()(QImage& image) const;
    /// Transforms one pixel; does nothing unless a class says otherwise.
    virtual void operator()(KXHSLA& pixel) const;
    /// Transforms one pixel; does nothing unless a class says otherwise.
    virtual void operator()(KXRGBA128f& pixel) const;
    /// Transforms one pixel; does nothing unless a class says otherwise.
    virtual void operator()(KXRGBA128i& pixel) const;
    /// Transforms one pixel; does nothing unless a class says otherwise.
    virtual void operator()(KXRGBA64f& pixel) const;
    /// Transforms one pixel; does nothing unless a class says otherwise.
    virtual void operator()(KXRGBA64i& pixel) const;
    /// Transforms one pixel; does nothing unless a class says otherwise.
    virtual void operator()(KXRGBA32i& pixel) const;
    /// Undoes the transformation on byteCount / 4 packed KXRGBA32i pixels in
    /// place; a null pointer or fewer than 4 bytes do nothing.
    virtual void Invert(void* pixels, unsigned int byteCount) const = 0;
    /// Undoes it on a tiled image; does nothing unless a class says otherwise.
    virtual void Invert(KXImage<KXRGBA32i, 128, 128>& image) const;
    /// Undoes it on a QImage; does nothing unless a class says otherwise.
    virtual void Invert(QImage& image) const;
    /// Undoes it on one pixel; does nothing unless a class says otherwise.
    virtual void Invert(KXRGBA128f& pixel) const;
    /// Undoes it on one pixel; does nothing unless a class says otherwise.
    virtual void Invert(KXRGBA128i& pixel) const;
    /// Undoes it on one pixel; does nothing unless a class says otherwise.
    virtual void Invert(KXRGBA64f& pixel) const;
    /// Undoes it on one pixel; does nothing unless a class says otherwise.
    virtual void Invert(KXRGBA64i& pixel) const;
    /// Undoes it on one pixel; does nothing unless a class says otherwise.
    virtual void Invert(KXRGBA32i& pixel) const;
    virtual ~KXColorTransformBase();

protected:
    KXColorTransformBase() = default; ///< For derived classes only.

    // The common whole-image walks of the concrete classes: every tile
    // (copied first when shared) through the buffer operation of the given
    // direction, 65,536 bytes at a time, margins included, the tiles in
    // parallel on Qt's global pool (so the buffer operation must keep no
    // state: it runs on several tiles at once); and every scan line of a
    // QImage the same way, on the calling thread. A QImage whose pixels are not
    // 32-bit ARGB words (Format_RGB32, Format_ARGB32,
    // Format_ARGB32_Premultiplied) is left as it is after one log line
    // ("Wrong input qimage format N").

    /// Every tile (copied first when shared) through the buffer operation of
    /// the given direction, 65,536 bytes at a time, margins included, the
    /// tiles in parallel on Qt's global pool: the buffer operation must keep
    /// no state.
    void ApplyToTiles(KXImage<KXRGBA32i, 128, 128>& image, bool invert) const;
    /// Every scan line of a QImage through the buffer operation of the given
    /// direction, on the calling thread; a QImage that is not Format_RGB32,
    /// Format_ARGB32 or Format_ARGB32_Premultiplied is left as it is after one
    /// log line.
    void ApplyToScanLines(QImage& image, bool invert) const;
};

/// Several transformations applied as one: in push order forward, in the
/// reverse order for Invert. The stack owns what is pushed onto it. Every
/// operation holds the stack's lock for its whole run, so applications from
/// several threads take turns.
class KXCORE_EXPORT KXColorTransformStack : public KXColorTransformBase {
public:
    KXColorTransformStack(); ///< Empty.
    ~KXColorTransformStack() override; ///< destroys every transformation still held
    KXColorTransformStack(const KXColorTransformStack&) = delete;
    KXColorTransformStack& operator=(const KXColorTransformStack&) = delete;

    /// Makes `transform` the new top and takes ownership (null is allowed and
    /// skipped by every operation).
    void Push(KXColorTransformBase* transform);
    /// Removes the top and hands it back to the caller. On an empty stack
    /// returns null after one log line.
    KXColorTransformBase* Pop();
    /// The top, still owned by the stack; null, after one log line, on an
    /// empty stack.
    KXColorTransformBase* Top() const;
    /// Removes every entry, one lock at a time; nothing is destroyed.
    void PopAll();
    /// True when the stack holds no entry (a pushed null counts as one).
    bool isEmpty() const;

    void operator()(void* pixels, unsigned int byteCount) const override;
    /// One pass over the tiles: each tile goes through the whole chain (the
    /// buffer operation of every entry) before the next tile is touched.
    void operator()(KXImage<KXRGBA32i, 128, 128>& image) const override;
    void operator()(QImage& image) const override;
    void operator()(KXHSLA& pixel) const override;
    void operator()(KXRGBA128f& pixel) const override;
    void operator()(KXRGBA128i& pixel) const override;
    void operator()(KXRGBA64f& pixel) const override;
    void operator()(KXRGBA64i& pixel) const override;
    void operator()(KXRGBA32i& pixel) const override;
    void Invert(void* pixels, unsigned int byteCount) const override;
    void Invert(KXImage<KXRGBA32i, 128, 128>& image) const override;
    void Invert(QImage& image) const override;
    void Invert(KXRGBA128f& pixel) const override;
    void Invert(KXRGBA128i& pixel) const override;
    void Invert(KXRGBA64f& pixel) const override;
    void Invert(KXRGBA64i& pixel) const override;
    void Invert(KXRGBA32i& pixel) const override;

private:
    bool HoldsAny() const; // a non-null entry; under the lock
    template <class Op>
    void Forward(Op op) const;
    template <class Op>
    void Backward(Op op) const;

    mutable QMutex m_mutex;
    QVector<KXColorTransformBase*> m_transforms; // bottom (first pushed) first
};

/// An opaque grey whose level is the pixel's old alpha. Cannot be undone.
class KXCORE_EXPORT KXTCGrayscaleFromRGBA32iAlpha : public KXColorTransformBase {
public:
    using KXColorTransformBase::operator();
    using KXColorTransformBase::Invert;

    /// pixel := 0xFF000000 | a << 16 | a << 8 | a, a the old alpha byte.
    void operator()(unsigned int& pixel) const
    {
        const unsigned int a = pixel >> 24;
        pixel = 0xFF000000u | a << 16 | a << 8 | a;
    }
    void operator()(void* pixels, unsigned int byteCount) const override;
    void operator()(KXImage<KXRGBA32i, 128, 128>& image) const override;
    void operator()(QImage& image) const override;
    void Invert(void* pixels, unsigned int byteCount) const override; ///< does nothing
};

/// Drops or isolates a colour channel; alpha is kept. Cannot be undone.
class KXCORE_EXPORT KXRGBChannelFilter : public KXColorTransformBase {
public:
    /// What happens to the colour channels.
    enum RGBFilter : int {
        None = 0,        ///< Nothing changes.
        NoBlue = 1,      ///< Blue := 0.
        NoGreen = 2,     ///< Green := 0.
        NoRed = 3,       ///< Red := 0.
        RedAsGray = 4,   ///< green, blue := red
        GreenAsGray = 5, ///< red, blue := green
        BlueAsGray = 6   ///< red, green := blue
    };

    KXRGBChannelFilter() = default; ///< None.
    explicit KXRGBChannelFilter(RGBFilter filter) : m_filter(filter) {} ///< The given filter.
    KXRGBChannelFilter(const KXRGBChannelFilter&) = default;            ///< Copies the filter.
    KXRGBChannelFilter& operator=(const KXRGBChannelFilter&) = default; ///< Copies the filter.

    RGBFilter GetChannelFilter() const { return m_filter; }      ///< The filter.
    void SetChannelFilter(RGBFilter filter) { m_filter = filter; } ///< Sets the filter.

    using KXColorTransformBase::operator();
    using KXColorTransformBase::Invert;
    void operator()(KXImage<KXRGBA32i, 128, 128>& image) const override; ///< nothing for None
    void operator()(QImage& image) const override;                       ///< nothing for None
    void operator()(KXRGBA32i& pixel) const override;

protected:
    /// Every pixel through the (virtual) per-pixel operator.
    void operator()(void* pixels, unsigned int byteCount) const override;
    void Invert(void* pixels, unsigned int byteCount) const override; ///< does nothing

private:
    RGBFilter m_filter = None;
};

/// Luminance grey g = (11 R + 16 G + 5 B) >> 5 in all three colour channels,
/// alpha kept. Not a KXColorTransformBase.
class KXCORE_EXPORT KXToGrayScaleImage {
public:
    /// Only the pixels inside the image are changed, not the tile margins.
    void operator()(KXImage<KXRGBA32i, 128, 128>& image) const;
    /// An image that is neither QImage::Format_ARGB32 nor
    /// QImage::Format_ARGB32_Premultiplied is converted to Format_ARGB32 first.
    void operator()(QImage& image) const;

    /// One pixel.
    void operator()(KXRGBA32i& pixel) const;
};

#endif // KXCOLORTRANSFORM_H
