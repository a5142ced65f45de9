#ifndef KXGAUSSIANBANDSUMS_H
#define KXGAUSSIANBANDSUMS_H

// The sums of an opaque band of sixteen lines of the alpha-weighted
// Gaussian, shared by the column bands (KXGaussianBands.cpp) and the row
// bands (KXGaussianRowBands.cpp): the band's source pixels lie position by
// position, sixteen words a position (lane k: line k), so that a tap's
// loads are whole aligned vectors. Summed in float and certified as the
// spans do (KXGaussianCertified.h), the same bound, the same exact
// fallback. Included by those two files only, inside their AVX-512 and AVX2
// functions: with AVX-512 a position is one vector, with AVX2 two of eight
// lanes; each lane's sum is the same chain of fused multiply-adds either
// way, so both give the same bytes. Private to the library.

#include "KXFilterKernels.h"
#include "KXFilterPasses.h"
#include "core/KXCacheLineVector.h"
#include "KXGaussianCertified.h"
#include "core/KXIsa.h"
#include "KXGaussianSpanWidth.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

// The attributes of a band's form for one instruction set `isa`: all
// inlined into it, and, with GCC, without predictive commoning, which
// would keep the loads that the next tap of a neighbouring group repeats,
// more than the registers hold, and spill them (loads from the planes are
// cheaper).
#if defined(__clang__)
#define KX_BAND_FORM(isa) __attribute__((flatten, target(isa)))
#else
#define KX_BAND_FORM(isa) __attribute__((flatten, target(isa), optimize("no-predictive-commoning")))
#endif

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi" // the vector helpers are always inlined into the AVX2 and AVX-512 bands

namespace KXGaussianBandSums {

constexpr int kLanes = 16; // lines of a band, the floats of a vector

// Scratch vectors start on a cache line (KXCacheLineVector): every band
// position is then one line, loaded and stored whole.
template <class T>
T* Sized(KXCacheLineVector<T>& store, size_t count)
{
    store.resize(count);
    return store.data();
}

// The float weights of `kernel` if its opaque bands may be summed here
// (AVX2 or AVX-512 in use, a symmetric kernel of radius up to 128 whose
// float sums can be certified), else null.
inline const KXGaussianCertified::Weights* OpaqueWeights(const KXGaussian1DPremul& kernel)
{
    const int r = kernel.Radius();
    const double* w = kernel.Weights().data();
    if (!KXIsa::Allows(KXIsa::Level::Avx2) || r > 128)
        return nullptr;
    for (int m = 1; m <= r; ++m)
        if (!(w[r - m] == w[r + m]))
            return nullptr;
    const KXGaussianCertified::Weights& cw = KXGaussianCertified::WeightsFor(w + r, r);
    return cw.usable ? &cw : nullptr;
}

// The AND of band positions (sixteen words each) as vectors of L lanes,
// the width of the caller's instruction set: are all their alphas 255?
template <int L>
struct AlphaAnd {
    typedef typename KXGaussianCertified::Vec<L>::U U;
    U all[kLanes / L];
    AlphaAnd() { Reset(); }
    void Reset()
    {
        for (U& v : all)
            v = ~U{};
    }
    void Add(const uint32_t* position)
    {
        for (int part = 0; part < kLanes / L; ++part)
            all[part] &= KXGaussianCertified::LoadV<U>(position + part * L);
    }
    bool Opaque() const
    {
        U v = all[0];
        for (int part = 1; part < kLanes / L; ++part)
            v &= all[part];
        for (int lane = 0; lane < L; ++lane)
            if ((v[lane] >> 24) != 255)
                return false;
        return true;
    }
};

#if defined(KX_ISA_X86)
// Destinations 0 … length - 1 of the band whose n source positions lie at
// source[16 i + k] (aligned; positions outside 0 … n - 1 take the nearest
// edge), destination d centred on position d + offset, weights w[0] … w[2r]
// with their float form `cw`. Every block of up to `block` destinations is
// handed to put(d0, count, out), out[16 (d - d0) + k] the pixel of
// destination d of line k, after ready(d0, count) has said that the
// source pixels the block reads (positions up to d0 + count + offset + r -
// 1) are there, every one of them opaque. Returns the destinations done: a
// multiple of `Block` where ready said no, else length. Ops: the vector
// operations (KXGaussianCertified.h) of the caller's instruction set.
template <class Ops, int Block, class Ready, class Put>
inline __attribute__((always_inline)) int Sum(const uint32_t* source, int n, int64_t offset, int length,
                                              const double* w, int r, const KXGaussianCertified::Weights& cw,
                                              Ready&& ready, Put&& put)
{
    constexpr int L = Ops::kLanes, kParts = kLanes / L; // vectors a position
    // Positions summed together: AVX-512's four groups, or one position
    // (two vectors of eight) with AVX2, whose sixteen registers then hold
    // the six sums, the weight and a tap pair without spilling a sum to the
    // stack at every tap (two positions' twelve sums did, with the
    // constants the compiler keeps beside them).
    constexpr int kGroup = kParts == 1 ? Ops::kGroups : 1;
    typedef typename KXGaussianCertified::Vec<L>::U U;
    typedef typename KXGaussianCertified::Vec<L>::I I;
    typedef typename KXGaussianCertified::Vec<L>::F F;
    static_assert(kLanes % L == 0, "a position is whole vectors");
    thread_local KXCacheLineVector<uint32_t> outStore;
    thread_local KXCacheLineVector<float> planeStore;
    uint32_t* const out = Sized(outStore, size_t(Block) * kLanes);
    const size_t planeLength = size_t(Block + 2 * r) * kLanes;
    float* const planes = Sized(planeStore, 3 * planeLength);
    float* const plane[3] = {planes, planes + planeLength, planes + 2 * planeLength};
    const auto* pixels = reinterpret_cast<const KXRGBA32i*>(source);
    for (int d0 = 0; d0 < length; d0 += Block) {
        const int count = std::min(Block, length - d0);
        if (!ready(d0, count))
            return d0;
        const int64_t base = offset + d0 - r; // source position of plane row 0
        for (int q = 0; q < count + 2 * r; ++q) {
            const int64_t i = base + q;
            for (int part = 0; part < kParts; ++part) {
                U v;
                std::memcpy(&v, source + size_t(i < 0 ? 0 : i >= n ? n - 1 : i) * kLanes + part * L, sizeof v);
                for (int c = 0; c < 3; ++c) {
                    const F f = __builtin_convertvector(I((v >> (8 * c)) & 255u), F);
                    std::memcpy(plane[c] + size_t(q) * kLanes + part * L, &f, sizeof f);
                }
            }
        }
        for (int i = 0; i < count;) {
            const int groups = i + kGroup <= count ? kGroup : 1;
            U sums[kGroup * kParts];
            unsigned bad[kGroup * kParts];
            if (groups == kGroup)
                KXGaussianCertified::CertifiedGroups<Ops, L, kGroup * kParts, kLanes, L>(plane, (i + r) * kLanes, r,
                                                                                         cw, sums, bad);
            else
                KXGaussianCertified::CertifiedGroups<Ops, L, kParts, kLanes, L>(plane, (i + r) * kLanes, r, cw, sums,
                                                                                bad);
            for (int k = 0; k < groups; ++k, ++i) {
                uint32_t* to = out + size_t(i) * kLanes;
                std::memcpy(to, &sums[k * kParts], kLanes * sizeof(uint32_t));
                unsigned uncertain = 0; // lane k of the position: bit k
                for (int part = 0; part < kParts; ++part)
                    uncertain |= bad[k * kParts + part] << (part * L);
                for (unsigned lanes = uncertain; lanes != 0; lanes &= lanes - 1) {
                    const int lane = __builtin_ctz(lanes);
                    to[lane] = KXGaussianCertified::ExactPixel(pixels + lane, kLanes, n - 1, offset + d0 + i, w, r).value;
                }
            }
        }
        put(d0, count, static_cast<const uint32_t*>(out));
    }
    return length;
}
#endif

} // namespace KXGaussianBandSums

#pragma GCC diagnostic pop

#endif // KXGAUSSIANBANDSUMS_H
