#ifndef KXBLEND_H
#define KXBLEND_H

/// \file
/// Per-pixel compositing operators on non-premultiplied KXRGBA32i pixels, and
/// two function objects that apply one operator to many positions of pixel
/// buffers in parallel.
///
/// Every operator is a small copyable value: operator()(source, destination)
/// or, for the mask and selection forms, operator()(source, destination,
/// mask), defined in the library for every form of the templates. The destination is changed in place. Arithmetic is unsigned 32-bit
/// integer arithmetic with truncating divisions; results are clamped to a byte.
/// Operators with an opacity use as = (source alpha * opacity) >> 8, so 256 is
/// full strength and 128 halves the source alpha; an opacity above 256 is
/// taken as 256.
///
/// The template argument of KXSource, KXSourceOver, KXDestinationOver and
/// their selection forms is 0 to compose the destination alpha and 1 to keep
/// it; for KXSourceAtop it chooses between two weightings (see there).
///
/// A blender runs through KXParallel::BlockingMap over the indices of its
/// buffers:
///
///     std::vector<int> columns = KXParallel::Indices(int(row.size()));
///     KXParallel::BlockingMap(columns,
///         KXBlend::KXBlender<KXRGBA32i, KXBlend::KXSourceOver<0>>(layer, row, KXBlend::KXSourceOver<0>(128)));

#include "KXPixel.h"
#include "kxcore_export.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

/// Per-pixel compositing operators and the parallel blenders that apply them.
namespace KXBlend {

/// The opacity shared by the operators that have one: 256 is full strength,
/// and a larger value counts as 256, so that the effective alpha stays a
/// byte.
class KXOpacity {
public:
    KXOpacity() = default; ///< Full strength (256).
    explicit KXOpacity(unsigned int opacity) : m_opacity(Bounded(opacity)) {} ///< `opacity`, at most 256.
    void SetOpacity(unsigned int opacity) { m_opacity = Bounded(opacity); } ///< Sets `opacity`, at most 256.
    unsigned int GetOpacity() const { return m_opacity; } ///< The opacity, 0 … 256.

private:
    static uint32_t Bounded(unsigned int opacity) { return opacity < 256 ? opacity : 256; }
    uint32_t m_opacity = 256;
};

/// An interface for blend functions supplied by the application; the library
/// defines no class derived from it and never calls it.
class KXCORE_EXPORT GenericRGBABlendFunction {
public:
    GenericRGBABlendFunction(); ///< Nothing to set up.
    GenericRGBABlendFunction(const GenericRGBABlendFunction& other); ///< Nothing to copy.
    GenericRGBABlendFunction& operator=(const GenericRGBABlendFunction& other); ///< Nothing to copy.
    virtual ~GenericRGBABlendFunction();

    /// Blends `source` into `destination` in place.
    virtual void Blend(const KXRGBA32i& source, KXRGBA32i& destination) const = 0;
    /// Blends `source` into `destination` in place, weighted by `mask`.
    virtual void BlendMasked(const KXRGBA32i& source, KXRGBA32i& destination, const KXRGBA32i& mask) const = 0;
    /// A new copy of this function, owned by the caller.
    virtual GenericRGBABlendFunction* Clone() const = 0;
};

/// d := s; KXSource<1> copies the colours and keeps d's alpha.
template <int KeepAlpha>
class KXCORE_EXPORT KXSource {
    static_assert(KeepAlpha == 0 || KeepAlpha == 1, "0 composes the alpha, 1 keeps it");

public:
    /// Composes source pixel `s` onto destination pixel `d` in place.
    void operator()(const KXRGBA32i& s, KXRGBA32i& d) const;
};

/// Source over destination with an opacity; the colours are divided by the
/// composed alpha. KXSourceOver<1> leaves d's alpha byte as it was.
template <int KeepAlpha>
class KXCORE_EXPORT KXSourceOver : public KXOpacity {
    static_assert(KeepAlpha == 0 || KeepAlpha == 1, "0 composes the alpha, 1 keeps it");

public:
    KXSourceOver() = default; ///< Full strength.
    explicit KXSourceOver(unsigned int opacity) : KXOpacity(opacity) {} ///< With `opacity` (256 full).
    /// Composes source pixel `s` onto destination pixel `d` in place.
    void operator()(const KXRGBA32i& s, KXRGBA32i& d) const;
};

/// The destination over the source: the source shows where d is transparent.
template <int KeepAlpha>
class KXCORE_EXPORT KXDestinationOver : public KXOpacity {
    static_assert(KeepAlpha == 0 || KeepAlpha == 1, "0 composes the alpha, 1 keeps it");

public:
    KXDestinationOver() = default; ///< Full strength.
    explicit KXDestinationOver(unsigned int opacity) : KXOpacity(opacity) {} ///< With `opacity` (256 full).
    /// Composes destination pixel `d` over source pixel `s`, into `d`.
    void operator()(const KXRGBA32i& s, KXRGBA32i& d) const;

private:
    // min(((p2 * w2 + p3 * w3) * 255 + p1 * w1) / 65025, 255).
    static unsigned char ComposeColor(unsigned char p1, unsigned char p2, unsigned char p3, unsigned int w1,
                                      unsigned int w2, unsigned int w3);
    // min((x1 * w1 + x2 * w2 + x3) * 255 / 65025, 255).
    static unsigned char ComposeAlpha(unsigned int x1, unsigned char x2, unsigned int x3, unsigned int w1,
                                      unsigned int w2);
};

/// The source over the destination's own coverage; d's alpha is kept.
/// KXSourceAtop<0> scales the colours by d's alpha without dividing by it
/// again (a transparent destination turns black); KXSourceAtop<1> weights by
/// the source alpha only.
template <int Weighting>
class KXCORE_EXPORT KXSourceAtop {
    static_assert(Weighting == 0 || Weighting == 1, "two weightings");

public:
    /// Composes source pixel `s` atop destination pixel `d` in place.
    void operator()(const KXRGBA32i& s, KXRGBA32i& d) const;
};

/// KXSourceAtop<1> with the source alpha weighted by the mask alpha.
class KXCORE_EXPORT KXSourceAtopByMask {
public:
    /// Composes `s` atop `d` in place, under mask pixel `m`.
    void operator()(const KXRGBA32i& s, KXRGBA32i& d, const KXRGBA32i& m) const;
};

/// All four bytes of d moved toward s by the mask alpha: 255 copies s whole,
/// 0 leaves d.
class KXCORE_EXPORT KXSourceByMask {
public:
    /// Moves `d` toward `s` by the alpha of mask pixel `m`.
    void operator()(const KXRGBA32i& s, KXRGBA32i& d, const KXRGBA32i& m) const;
};

/// The same operation, named for the selection blender.
class KXCORE_EXPORT KXSourceBySelection : public KXSourceByMask {
};

/// Each colour := clamp(d - s + offset, 0, 255); d's alpha is kept.
class KXCORE_EXPORT KXSubtractRGBDstBySrc {
public:
    explicit KXSubtractRGBDstBySrc(int offset) : m_offset(offset) {} ///< With `offset` added to each difference.
    /// Subtracts `s` from `d` in place.
    void operator()(const KXRGBA32i& s, KXRGBA32i& d) const;

private:
    int m_offset;
};

/// Each colour := clamp(s - d + offset, 0, 255); d's alpha is kept.
class KXCORE_EXPORT KXSubtractRGBSrcByDst {
public:
    explicit KXSubtractRGBSrcByDst(int offset) : m_offset(offset) {} ///< With `offset` added to each difference.
    /// Subtracts `d` from `s`, into `d`.
    void operator()(const KXRGBA32i& s, KXRGBA32i& d) const;

private:
    int m_offset;
};

// The selection forms: the operator's composed pixel is mixed into d by the
// selection alpha (255: composed, 0: d unchanged).

/// KXSourceOver whose composed pixel is mixed into d by the selection alpha
/// (255: composed, 0: d unchanged).
template <int KeepAlpha>
class KXCORE_EXPORT KXSourceOverBySelection : public KXSourceOver<KeepAlpha> {
public:
    KXSourceOverBySelection() = default; ///< Full strength.
    explicit KXSourceOverBySelection(unsigned int opacity) : KXSourceOver<KeepAlpha>(opacity) {} ///< With `opacity`.
    /// Composes `s` over `d` and mixes the result into `d` by the alpha of `m`.
    void operator()(const KXRGBA32i& s, KXRGBA32i& d, const KXRGBA32i& m) const;
};

/// KXDestinationOver whose composed pixel is mixed into d by the selection
/// alpha (255: composed, 0: d unchanged).
template <int KeepAlpha>
class KXCORE_EXPORT KXDestinationOverBySelection : public KXDestinationOver<KeepAlpha> {
    static_assert(KeepAlpha == 0, "only the alpha-composing form exists");

public:
    KXDestinationOverBySelection() = default; ///< Full strength.
    /// With `opacity`.
    explicit KXDestinationOverBySelection(unsigned int opacity) : KXDestinationOver<KeepAlpha>(opacity) {}
    /// Composes `d` over `s` and mixes the result into `d` by the alpha of `m`.
    void operator()(const KXRGBA32i& s, KXRGBA32i& d, const KXRGBA32i& m) const;
};

// The library holds every form of the operators.
extern template class KXSource<0>;
extern template class KXSource<1>;
extern template class KXSourceOver<0>;
extern template class KXSourceOver<1>;
extern template class KXDestinationOver<0>;
extern template class KXDestinationOver<1>;
extern template class KXSourceAtop<0>;
extern template class KXSourceAtop<1>;
extern template class KXSourceOverBySelection<0>;
extern template class KXSourceOverBySelection<1>;
extern template class KXDestinationOverBySelection<0>;

/// Applies `mode` to source[i] and destination[i] for index i. The buffers
/// stay the caller's and must outlive the map; an index outside either buffer
/// throws std::out_of_range (which KXParallel::BlockingMap hands to its
/// caller).
template <class T, class Mode>
class KXBlender {
public:
    /// Keeps references to both buffers and a copy of `mode`.
    KXBlender(const std::vector<T>& source, std::vector<T>& destination, const Mode& mode)
        : m_source(source), m_destination(destination), m_mode(mode)
    {
    }
    // The blender keeps references: temporaries would be gone before the map runs.
    KXBlender(std::vector<T>&&, std::vector<T>&, const Mode&) = delete;

    /// Blends source[index] into destination[index].
    void operator()(int& index) const
    {
        const size_t i = static_cast<size_t>(index);
        if (index < 0 || i >= m_source.size() || i >= m_destination.size())
            throw std::out_of_range("KXBlend::KXBlender: index outside the buffers");
        m_mode(m_source[i], m_destination[i]);
    }

private:
    const std::vector<T>& m_source;
    std::vector<T>& m_destination;
    Mode m_mode;
};

/// Applies `mode` to source[i], destination[i] and selection[i]; the same
/// rules as KXBlender.
template <class T, class Mode, class S>
class KXSelectionBlender {
public:
    /// Keeps references to the three buffers and a copy of `mode`.
    KXSelectionBlender(const std::vector<T>& source, std::vector<T>& destination, const std::vector<S>& selection,
                       const Mode& mode)
        : m_source(source), m_destination(destination), m_selection(selection), m_mode(mode)
    {
    }
    KXSelectionBlender(std::vector<T>&&, std::vector<T>&, const std::vector<S>&, const Mode&) = delete;
    KXSelectionBlender(const std::vector<T>&, std::vector<T>&, std::vector<S>&&, const Mode&) = delete;

    /// Blends source[index] into destination[index] under selection[index].
    void operator()(int& index) const
    {
        const size_t i = static_cast<size_t>(index);
        if (index < 0 || i >= m_source.size() || i >= m_destination.size() || i >= m_selection.size())
            throw std::out_of_range("KXBlend::KXSelectionBlender: index outside the buffers");
        m_mode(m_source[i], m_destination[i], m_selection[i]);
    }

private:
    const std::vector<T>& m_source;
    std::vector<T>& m_destination;
    const std::vector<S>& m_selection;
    Mode m_mode;
};

} // namespace KXBlend

#endif // KXBLEND_H
