#ifndef KXGAUSSIANOPAQUESPANS_H
#define KXGAUSSIANOPAQUESPANS_H

// Opaque blocks of the alpha-weighted Gaussian span in double: the terms
// ((c w) 255) / 255 that are not c w, listed per distance, and the sums of
// a block that compare only with the listed c its channels can hold (see
// KXGaussianSpans.cpp). Private to the library.

#include "KXGaussianSpanVectors.h"

#include <cstdint>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi" // the vector helpers are always inlined into the span of each width

namespace KXGaussianSpanParts {

constexpr int kMaxSharedRadius = 128; // beyond, the term planes would outgrow the caches
constexpr int kMaxFixes = 8;          // listed c per distance, at most

// Terms of opaque pixels for the weights w(0) … w(r).
struct OpaqueTerms {
    std::vector<double> weights;
    bool usable = true;          // no distance has more than kMaxFixes listed c
    std::vector<int> fixes;      // per distance: the number of listed c
    std::vector<double> c, term; // kMaxFixes per distance: c and ((c w) 255) / 255, eight copies each
};

// Those of `w` (w[0] … w[r]); kept per thread while the weights stay.
inline const OpaqueTerms& OpaqueTermsFor(const double* w, int r)
{
    thread_local OpaqueTerms cache;
    const size_t count = static_cast<size_t>(r) + 1;
    if (cache.weights.size() == count && std::equal(w, w + count, cache.weights.begin()))
        return cache;
    cache.weights.assign(w, w + count);
    cache.usable = true;
    cache.fixes.assign(count, 0);
    cache.c.assign(count * kMaxFixes * 8, 0.0);
    cache.term.assign(count * kMaxFixes * 8, 0.0);
    for (size_t m = 0; m < count && cache.usable; ++m) {
        for (int c = 0; c < 256; ++c) {
            const double product = c * w[m];
            const double term = product * 255.0 / 255.0;
            if (term == product)
                continue;
            int& fixes = cache.fixes[m];
            if (fixes == kMaxFixes) {
                cache.usable = false;
                break;
            }
            for (int lane = 0; lane < 8; ++lane) {
                cache.c[(m * kMaxFixes + size_t(fixes)) * 8 + size_t(lane)] = c;
                cache.term[(m * kMaxFixes + size_t(fixes)) * 8 + size_t(lane)] = term;
            }
            ++fixes;
        }
    }
    return cache;
}

// The least and the greatest byte of each channel (b, g, r, a) among source
// pixels base … base + count - 1 (clamped), the pixels a block reads.
struct ByteRanges {
    uint8_t lo[4], hi[4];
};

inline ByteRanges RangesOf(const KXRGBA32i* source, int last, int64_t base, int count)
{
    typedef uint8_t B32 __attribute__((vector_size(32)));
    const int64_t from = std::max<int64_t>(0, std::min<int64_t>(base, last));
    const int64_t to = std::max<int64_t>(0, std::min<int64_t>(base + count - 1, last));
    B32 lo, hi;
    std::memset(&lo, 255, sizeof lo);
    std::memset(&hi, 0, sizeof hi);
    int64_t i = from;
    for (; i + 8 <= to + 1; i += 8) {
        B32 v;
        std::memcpy(&v, source + i, sizeof v);
        lo = v < lo ? v : lo;
        hi = v > hi ? v : hi;
    }
    ByteRanges ranges;
    for (int c = 0; c < 4; ++c) {
        ranges.lo[c] = 255;
        ranges.hi[c] = 0;
        for (int lane = 0; lane < 8; ++lane) {
            ranges.lo[c] = std::min(ranges.lo[c], lo[4 * lane + c]);
            ranges.hi[c] = std::max(ranges.hi[c], hi[4 * lane + c]);
        }
    }
    for (; i <= to; ++i) {
        const uint8_t channel[4] = {source[i].b, source[i].g, source[i].r, source[i].a};
        for (int c = 0; c < 4; ++c) {
            ranges.lo[c] = std::min(ranges.lo[c], channel[c]);
            ranges.hi[c] = std::max(ranges.hi[c], channel[c]);
        }
    }
    return ranges;
}

// Per distance m, which listed c can occur in a block of the given ranges:
// bit 8 c + f of present[m] for the f-th listed c of channel c (b, g, r).
// Every other comparison with a listed c would be false throughout.
inline void PresentFixes(const OpaqueTerms& opaque, const ByteRanges& ranges, int r, uint32_t* present)
{
    for (int m = 0; m <= r; ++m) {
        present[m] = 0;
        for (int f = 0; f < opaque.fixes[size_t(m)]; ++f) {
            const double c = opaque.c[(size_t(m) * kMaxFixes + size_t(f)) * 8];
            for (int channel = 0; channel < 3; ++channel)
                if (ranges.lo[channel] <= c && c <= ranges.hi[channel])
                    present[m] |= 1u << (8 * channel + f);
        }
    }
}

// The colour sums of destinations g … g + 8 Groups - 1 of a block of opaque
// sources (alpha-weighted kernel) into sum[i] for g + 8 i … g + 8 i + 7,
// comparing with the listed c that `present` (PresentFixes) keeps.
// Each lane's sum is the same chain of additions; several groups at once
// only keep more chains in flight (the additions of one chain wait on each
// other) and share the loads of the listed c.
template <int Groups>
inline __attribute__((always_inline)) void OpaqueGroups(double* const* plane, int g, int r, const double* w,
                                                        const OpaqueTerms& opaque, const uint32_t* present,
                                                        D8 (*sum)[4])
{
    D8 sb[Groups] = {}, sg[Groups] = {}, sr[Groups] = {};
    const double* pb = plane[0] + g + r;
    const double* pg = plane[1] + g + r;
    const double* pr = plane[2] + g + r;
    const auto tap = [&](int k, int m) {
        const double wm = w[m];
        D8 vb[Groups], vg[Groups], vr[Groups], tb[Groups], tg[Groups], tr[Groups];
        for (int i = 0; i < Groups; ++i) {
            vb[i] = Load8(pb + k + 8 * i), vg[i] = Load8(pg + k + 8 * i), vr[i] = Load8(pr + k + 8 * i);
            tb[i] = vb[i] * wm, tg[i] = vg[i] * wm, tr[i] = vr[i] * wm;
        }
        const auto swapIn = [&](uint32_t bits, D8* v, D8* t) {
            for (; bits != 0; bits &= bits - 1) {
                const size_t at = (size_t(m) * kMaxFixes + size_t(__builtin_ctz(bits))) * 8;
                const D8 c = Load8(opaque.c.data() + at), term = Load8(opaque.term.data() + at);
                for (int i = 0; i < Groups; ++i)
                    t[i] = v[i] == c ? term : t[i];
            }
        };
        if (const uint32_t bits = present[m]) {
            swapIn(bits & 0xFFu, vb, tb);
            swapIn((bits >> 8) & 0xFFu, vg, tg);
            swapIn(bits >> 16, vr, tr);
        }
        for (int i = 0; i < Groups; ++i) {
            sb[i] += tb[i];
            sg[i] += tg[i];
            sr[i] += tr[i];
        }
    };
    for (int k = -r; k < 0; ++k)
        tap(k, -k);
    for (int k = 0; k <= r; ++k)
        tap(k, k);
    for (int i = 0; i < Groups; ++i) {
        sum[i][0] = sb[i];
        sum[i][1] = sg[i];
        sum[i][2] = sr[i];
    }
}

} // namespace KXGaussianSpanParts

#pragma GCC diagnostic pop

#endif // KXGAUSSIANOPAQUESPANS_H
