// The compositing operators of KXBlend.h. Source over is the normal blend
// kernel of the layer modes: with B = s its weights s*wS + s*wB add up to
// s * 255 * as, the same numerator, alpha and zeroed pixel.

#include "KXBlend.h"

#include "compositing/KXBlendKernels.h"
#include "compositing/KXPixelRows.h"
#include "core/KXArithmetic.h"

namespace KXBlend {

namespace {

using KXArithmetic::Min255;
using KXArithmetic::Mix;
using KXPixelRows::MixPixel;
using KXPixelRows::SubtractPixel;

uint32_t EffectiveAlpha(const KXRGBA32i& s, const KXOpacity& opacity)
{
    return (s.a * opacity.GetOpacity()) >> 8;
}

// The colours of d moved toward s by k / 255; d's alpha is kept.
void MixColours(const KXRGBA32i& s, KXRGBA32i& d, uint32_t k)
{
    const int weight = static_cast<int>(k);
    d.b = static_cast<uint8_t>(Mix(d.b, s.b, weight));
    d.g = static_cast<uint8_t>(Mix(d.g, s.g, weight));
    d.r = static_cast<uint8_t>(Mix(d.r, s.r, weight));
}

// The composed pixel of an opacity operator mixed into d by the selection alpha.
template <class Operator>
void ThroughSelection(const Operator& op, const KXRGBA32i& s, KXRGBA32i& d, const KXRGBA32i& m)
{
    KXRGBA32i composed = d;
    op(s, composed);
    MixPixel(composed, d, m.a);
}

} // namespace

GenericRGBABlendFunction::GenericRGBABlendFunction() = default;
GenericRGBABlendFunction::GenericRGBABlendFunction(const GenericRGBABlendFunction&) = default;
GenericRGBABlendFunction& GenericRGBABlendFunction::operator=(const GenericRGBABlendFunction&) = default;
GenericRGBABlendFunction::~GenericRGBABlendFunction() = default;

template <int KeepAlpha>
void KXSource<KeepAlpha>::operator()(const KXRGBA32i& s, KXRGBA32i& d) const
{
    if (KeepAlpha)
        d.value = (s.value & 0x00FFFFFFu) | (d.value & 0xFF000000u);
    else
        d = s;
}

template <int KeepAlpha>
void KXSourceOver<KeepAlpha>::operator()(const KXRGBA32i& s, KXRGBA32i& d) const
{
    KXBlendKernels::Separable<KXBlendKernels::TermNormal, KeepAlpha == 1>()(s, d, EffectiveAlpha(s, *this));
}

template <int KeepAlpha>
void KXDestinationOver<KeepAlpha>::operator()(const KXRGBA32i& s, KXRGBA32i& d) const
{
    const uint32_t as = EffectiveAlpha(s, *this);
    const uint32_t ad = d.a;
    const uint32_t both = ad * as;
    d.b = ComposeColor(d.b, s.b, d.b, both, 255 - ad, 255 - as);
    d.g = ComposeColor(d.g, s.g, d.g, both, 255 - ad, 255 - as);
    d.r = ComposeColor(d.r, s.r, d.r, both, 255 - ad, 255 - as);
    if (!KeepAlpha)
        d.a = ComposeAlpha(255 - ad, static_cast<unsigned char>(ad), 0, as, 255);
}

template <int KeepAlpha>
unsigned char KXDestinationOver<KeepAlpha>::ComposeColor(unsigned char p1, unsigned char p2, unsigned char p3,
                                                         unsigned int w1, unsigned int w2, unsigned int w3)
{
    return static_cast<unsigned char>(Min255(((p2 * w2 + p3 * w3) * 255 + p1 * w1) / 65025));
}

template <int KeepAlpha>
unsigned char KXDestinationOver<KeepAlpha>::ComposeAlpha(unsigned int x1, unsigned char x2, unsigned int x3,
                                                         unsigned int w1, unsigned int w2)
{
    return static_cast<unsigned char>(Min255((x1 * w1 + x2 * w2 + x3) * 255 / 65025));
}

template <int Weighting>
void KXSourceAtop<Weighting>::operator()(const KXRGBA32i& s, KXRGBA32i& d) const
{
    const uint32_t as = s.a, ad = d.a;
    if (Weighting == 0) {
        d.b = static_cast<uint8_t>(Min255((s.b * ad * as + d.b * (255 - as) * ad) / 65025));
        d.g = static_cast<uint8_t>(Min255((s.g * ad * as + d.g * (255 - as) * ad) / 65025));
        d.r = static_cast<uint8_t>(Min255((s.r * ad * as + d.r * (255 - as) * ad) / 65025));
    } else {
        MixColours(s, d, as);
    }
}

void KXSourceAtopByMask::operator()(const KXRGBA32i& s, KXRGBA32i& d, const KXRGBA32i& m) const
{
    MixColours(s, d, (s.a * m.a) / 255u);
}

void KXSourceByMask::operator()(const KXRGBA32i& s, KXRGBA32i& d, const KXRGBA32i& m) const
{
    MixPixel(s, d, m.a);
}

void KXSubtractRGBDstBySrc::operator()(const KXRGBA32i& s, KXRGBA32i& d) const
{
    SubtractPixel(d, s, m_offset, d);
}

void KXSubtractRGBSrcByDst::operator()(const KXRGBA32i& s, KXRGBA32i& d) const
{
    SubtractPixel(s, d, m_offset, d);
}

template <int KeepAlpha>
void KXSourceOverBySelection<KeepAlpha>::operator()(const KXRGBA32i& s, KXRGBA32i& d, const KXRGBA32i& m) const
{
    ThroughSelection<KXSourceOver<KeepAlpha>>(*this, s, d, m);
}

template <int KeepAlpha>
void KXDestinationOverBySelection<KeepAlpha>::operator()(const KXRGBA32i& s, KXRGBA32i& d,
                                                         const KXRGBA32i& m) const
{
    ThroughSelection<KXDestinationOver<KeepAlpha>>(*this, s, d, m);
}

template class KXSource<0>;
template class KXSource<1>;
template class KXSourceOver<0>;
template class KXSourceOver<1>;
template class KXDestinationOver<0>;
template class KXDestinationOver<1>;
template class KXSourceAtop<0>;
template class KXSourceAtop<1>;
template class KXSourceOverBySelection<0>;
template class KXSourceOverBySelection<1>;
template class KXDestinationOverBySelection<0>;

} // namespace KXBlend
