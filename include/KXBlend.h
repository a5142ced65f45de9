#ifndef KXBLEND_H
#define KXBLEND_H

// Per-pixel compositing operators on non-premultiplied KXRGBA32i pixels, and
// two function objects that apply one operator to many positions of pixel
// buffers in parallel.
//
// Every operator is a small copyable value: operator()(source, destination)
// or, for the mask and selection forms, operator()(source, destination,
// mask). The destination is changed in place. Arithmetic is unsigned 32-bit
// integer arithmetic with truncating divisions; results are clamped to a byte.
// Operators with an opacity use as = (source alpha * opacity) >> 8, so 256 is
// full strength and 128 halves the source alpha; an opacity above 256 is
// taken as 256.
//
// The template argument of KXSource, KXSourceOver, KXDestinationOver and
// their selection forms is 0 to compose the destination alpha and 1 to keep
// it; for KXSourceAtop it chooses between two weightings (see there).
//
// A blender runs through KXParallel::BlockingMap over the indices of its
// buffers:
//
//     std::vector<int> columns = KXParallel::Indices(int(row.size()));
//     KXParallel::BlockingMap(columns,
//         KXBlend::KXBlender<KXRGBA32i, KXBlend::KXSourceOver<0>>(layer, row, KXBlend::KXSourceOver<0>(128)));

#include "KXPixel.h"
#include "kxcore_export.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace KXBlend {

namespace Detail {

inline uint8_t Min255(uint32_t value)
{
    return static_cast<uint8_t>(value > 255 ? 255 : value);
}

inline uint8_t Clamp255(int value)
{
    return static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

// (d * 255 + (s - d) * k) / 255 in signed arithmetic, truncated toward zero:
// k = 255 gives s, k = 0 gives d.
inline uint8_t Mix(uint8_t s, uint8_t d, uint32_t k)
{
    const int dividend = int(d) * 255 + (int(s) - int(d)) * static_cast<int>(k);
    return static_cast<uint8_t>(dividend / 255);
}

// All four bytes of d moved toward t by k / 255.
inline void MixPixel(const KXRGBA32i& t, KXRGBA32i& d, uint32_t k)
{
    d.b = Mix(t.b, d.b, k);
    d.g = Mix(t.g, d.g, k);
    d.r = Mix(t.r, d.r, k);
    d.a = Mix(t.a, d.a, k);
}

// The opacity shared by the operators that have one: 256 is full strength,
// and a larger value counts as 256, so that the effective alpha stays a
// byte.
class Opacity {
public:
    Opacity() = default;
    explicit Opacity(unsigned int opacity) : m_opacity(Bounded(opacity)) {}
    void SetOpacity(unsigned int opacity) { m_opacity = Bounded(opacity); }
    unsigned int GetOpacity() const { return m_opacity; }

protected:
    static uint32_t Bounded(unsigned int opacity) { return opacity < 256 ? opacity : 256; }
    uint32_t EffectiveAlpha(const KXRGBA32i& s) const { return (s.a * m_opacity) >> 8; }
    uint32_t m_opacity = 256;
};

} // namespace Detail

// An interface for blend functions supplied by the application; the library
// defines no class derived from it and never calls it.
class KXCORE_EXPORT GenericRGBABlendFunction {
public:
    GenericRGBABlendFunction();
    GenericRGBABlendFunction(const GenericRGBABlendFunction& other);
    GenericRGBABlendFunction& operator=(const GenericRGBABlendFunction& other);
    virtual ~GenericRGBABlendFunction();

    virtual void Blend(const KXRGBA32i& source, KXRGBA32i& destination) const = 0;
    virtual void BlendMasked(const KXRGBA32i& source, KXRGBA32i& destination, const KXRGBA32i& mask) const = 0;
    virtual GenericRGBABlendFunction* Clone() const = 0;
};

// d := s; KXSource<1> copies the colours and keeps d's alpha.
template <int KeepAlpha>
class KXSource {
    static_assert(KeepAlpha == 0 || KeepAlpha == 1, "0 composes the alpha, 1 keeps it");

public:
    void operator()(const KXRGBA32i& s, KXRGBA32i& d) const
    {
        if (KeepAlpha)
            d.value = (s.value & 0x00FFFFFFu) | (d.value & 0xFF000000u);
        else
            d = s;
    }
};

// Source over destination with an opacity; the colours are divided by the
// composed alpha. KXSourceOver<1> leaves d's alpha byte as it was.
template <int KeepAlpha>
class KXSourceOver : public Detail::Opacity {
    static_assert(KeepAlpha == 0 || KeepAlpha == 1, "0 composes the alpha, 1 keeps it");

public:
    KXSourceOver() = default;
    explicit KXSourceOver(unsigned int opacity) : Opacity(opacity) {}

    void operator()(const KXRGBA32i& s, KXRGBA32i& d) const
    {
        const uint32_t as = EffectiveAlpha(s);
        const uint32_t wd = d.a * (255 - as);
        const uint32_t alpha = Detail::Min255((255 * as + wd) / 255);
        if (!KeepAlpha)
            d.a = static_cast<uint8_t>(alpha);
        if (alpha == 0) {
            d.value = 0;
            return;
        }
        const uint32_t divisor = 255 * alpha;
        const uint32_t ws = 255 * as;
        d.b = Detail::Min255((s.b * ws + d.b * wd) / divisor);
        d.g = Detail::Min255((s.g * ws + d.g * wd) / divisor);
        d.r = Detail::Min255((s.r * ws + d.r * wd) / divisor);
    }
};

// The destination over the source: the source shows where d is transparent.
template <int KeepAlpha>
class KXDestinationOver : public Detail::Opacity {
    static_assert(KeepAlpha == 0 || KeepAlpha == 1, "0 composes the alpha, 1 keeps it");

public:
    KXDestinationOver() = default;
    explicit KXDestinationOver(unsigned int opacity) : Opacity(opacity) {}

    void operator()(const KXRGBA32i& s, KXRGBA32i& d) const
    {
        const uint32_t as = EffectiveAlpha(s);
        const uint32_t ad = d.a;
        const uint32_t both = ad * as;
        d.b = ComposeColor(d.b, s.b, d.b, both, 255 - ad, 255 - as);
        d.g = ComposeColor(d.g, s.g, d.g, both, 255 - ad, 255 - as);
        d.r = ComposeColor(d.r, s.r, d.r, both, 255 - ad, 255 - as);
        if (!KeepAlpha)
            d.a = ComposeAlpha(255 - ad, static_cast<unsigned char>(ad), 0, as, 255);
    }

private:
    static unsigned char ComposeColor(unsigned char p1, unsigned char p2, unsigned char p3, unsigned int w1,
                                      unsigned int w2, unsigned int w3)
    {
        return Detail::Min255(((p2 * w2 + p3 * w3) * 255 + p1 * w1) / 65025);
    }
    static unsigned char ComposeAlpha(unsigned int x1, unsigned char x2, unsigned int x3, unsigned int w1,
                                      unsigned int w2)
    {
        return Detail::Min255((x1 * w1 + x2 * w2 + x3) * 255 / 65025);
    }
};

// The source over the destination's own coverage; d's alpha is kept.
// KXSourceAtop<0> scales the colours by d's alpha without dividing by it
// again (a transparent destination turns black); KXSourceAtop<1> weights by
// the source alpha only.
template <int Weighting>
class KXSourceAtop {
    static_assert(Weighting == 0 || Weighting == 1, "two weightings");

public:
    void operator()(const KXRGBA32i& s, KXRGBA32i& d) const
    {
        const uint32_t as = s.a, ad = d.a;
        if (Weighting == 0) {
            d.b = Detail::Min255((s.b * ad * as + d.b * (255 - as) * ad) / 65025);
            d.g = Detail::Min255((s.g * ad * as + d.g * (255 - as) * ad) / 65025);
            d.r = Detail::Min255((s.r * ad * as + d.r * (255 - as) * ad) / 65025);
        } else {
            d.b = Detail::Min255((s.b * as + d.b * (255 - as)) / 255);
            d.g = Detail::Min255((s.g * as + d.g * (255 - as)) / 255);
            d.r = Detail::Min255((s.r * as + d.r * (255 - as)) / 255);
        }
    }
};

// KXSourceAtop<1> with the source alpha weighted by the mask alpha.
class KXSourceAtopByMask {
public:
    void operator()(const KXRGBA32i& s, KXRGBA32i& d, const KXRGBA32i& m) const
    {
        const uint32_t k = (s.a * m.a) / 255;
        d.b = Detail::Min255((s.b * k + d.b * (255 - k)) / 255);
        d.g = Detail::Min255((s.g * k + d.g * (255 - k)) / 255);
        d.r = Detail::Min255((s.r * k + d.r * (255 - k)) / 255);
    }
};

// All four bytes of d moved toward s by the mask alpha: 255 copies s whole,
// 0 leaves d.
class KXSourceByMask {
public:
    void operator()(const KXRGBA32i& s, KXRGBA32i& d, const KXRGBA32i& m) const { Detail::MixPixel(s, d, m.a); }
};

// The same operation, named for the selection blender.
class KXSourceBySelection {
public:
    void operator()(const KXRGBA32i& s, KXRGBA32i& d, const KXRGBA32i& m) const { Detail::MixPixel(s, d, m.a); }
};

// Each colour := clamp(d - s + offset, 0, 255); d's alpha is kept.
class KXSubtractRGBDstBySrc {
public:
    explicit KXSubtractRGBDstBySrc(int offset) : m_offset(offset) {}
    void operator()(const KXRGBA32i& s, KXRGBA32i& d) const
    {
        d.b = Detail::Clamp255(int(d.b) - int(s.b) + m_offset);
        d.g = Detail::Clamp255(int(d.g) - int(s.g) + m_offset);
        d.r = Detail::Clamp255(int(d.r) - int(s.r) + m_offset);
    }

private:
    int m_offset;
};

// Each colour := clamp(s - d + offset, 0, 255); d's alpha is kept.
class KXSubtractRGBSrcByDst {
public:
    explicit KXSubtractRGBSrcByDst(int offset) : m_offset(offset) {}
    void operator()(const KXRGBA32i& s, KXRGBA32i& d) const
    {
        d.b = Detail::Clamp255(int(s.b) - int(d.b) + m_offset);
        d.g = Detail::Clamp255(int(s.g) - int(d.g) + m_offset);
        d.r = Detail::Clamp255(int(s.r) - int(d.r) + m_offset);
    }

private:
    int m_offset;
};

namespace Detail {
// An opacity operator applied through a selection: the composed pixel is
// mixed into d by the selection alpha (255: composed, 0: d unchanged).
template <class Operator>
class BySelection : public Operator {
public:
    BySelection() = default;
    explicit BySelection(unsigned int opacity) : Operator(opacity) {}
    void operator()(const KXRGBA32i& s, KXRGBA32i& d, const KXRGBA32i& m) const
    {
        KXRGBA32i composed = d;
        Operator::operator()(s, composed);
        MixPixel(composed, d, m.a);
    }
};
} // namespace Detail

template <int KeepAlpha>
class KXSourceOverBySelection : public Detail::BySelection<KXSourceOver<KeepAlpha>> {
public:
    KXSourceOverBySelection() = default;
    explicit KXSourceOverBySelection(unsigned int opacity)
        : Detail::BySelection<KXSourceOver<KeepAlpha>>(opacity)
    {
    }
};

template <int KeepAlpha>
class KXDestinationOverBySelection : public Detail::BySelection<KXDestinationOver<KeepAlpha>> {
    static_assert(KeepAlpha == 0, "only the alpha-composing form exists");

public:
    KXDestinationOverBySelection() = default;
    explicit KXDestinationOverBySelection(unsigned int opacity)
        : Detail::BySelection<KXDestinationOver<KeepAlpha>>(opacity)
    {
    }
};

namespace Detail {
[[noreturn]] inline void IndexOutside(const char* what)
{
    throw std::out_of_range(what);
}
} // namespace Detail

// Applies `mode` to source[i] and destination[i] for index i. The buffers
// stay the caller's and must outlive the map; an index outside either buffer
// throws std::out_of_range (which KXParallel::BlockingMap hands to its
// caller).
template <class T, class Mode>
class KXBlender {
public:
    KXBlender(const std::vector<T>& source, std::vector<T>& destination, const Mode& mode)
        : m_source(source), m_destination(destination), m_mode(mode)
    {
    }
    // The blender keeps references: temporaries would be gone before the map runs.
    KXBlender(std::vector<T>&&, std::vector<T>&, const Mode&) = delete;

    void operator()(int& index) const
    {
        const size_t i = static_cast<size_t>(index);
        if (index < 0 || i >= m_source.size() || i >= m_destination.size())
            Detail::IndexOutside("KXBlend::KXBlender: index outside the buffers");
        m_mode(m_source[i], m_destination[i]);
    }

private:
    const std::vector<T>& m_source;
    std::vector<T>& m_destination;
    Mode m_mode;
};

// Applies `mode` to source[i], destination[i] and selection[i].
template <class T, class Mode, class S>
class KXSelectionBlender {
public:
    KXSelectionBlender(const std::vector<T>& source, std::vector<T>& destination, const std::vector<S>& selection,
                       const Mode& mode)
        : m_source(source), m_destination(destination), m_selection(selection), m_mode(mode)
    {
    }
    KXSelectionBlender(std::vector<T>&&, std::vector<T>&, const std::vector<S>&, const Mode&) = delete;
    KXSelectionBlender(const std::vector<T>&, std::vector<T>&, std::vector<S>&&, const Mode&) = delete;

    void operator()(int& index) const
    {
        const size_t i = static_cast<size_t>(index);
        if (index < 0 || i >= m_source.size() || i >= m_destination.size() || i >= m_selection.size())
            Detail::IndexOutside("KXBlend::KXSelectionBlender: index outside the buffers");
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
