// The Gaussian kernels' spans, which compute many pixels of a line at once
// (the weights and the per-pixel kernels are in KXFilterKernels.cpp).
//
// A span gives the bits of the per-pixel kernel: every pixel's sums start
// at 0.0 and take the taps k = -r … r in order, each term computed with the
// same operations in the same order ((c * w) * a / 255.0 for the colours
// weighted by alpha). Only the loop order changes: the source channels are
// spread into double planes (with the clamped edge pixels repeated), and the
// loop over the pixels of a block is the inner one, so that the compiler
// computes several pixels' terms with one vector instruction. Nothing is
// fused or reassociated (-ffp-contract=off, no -ffast-math).

#include "KXGaussianSpans.h"

#include "KXFilterKernels.h"
#include "KXGaussianCertified.h"
#include "core/KXIsa.h"
#include "KXGaussianSpanWidth.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <vector>

namespace {

using KXGaussianSpans::Finish;
using KXGaussianSpans::GaussMode;

// x / 255.0, correctly rounded, for the fused multiply-add build: with
// y = RN(1/255) (relative error below 2^-53) q = RN(x y) is within one ulp
// of x / 255, so r = x - 255 q is exact in one fused operation, and
// RN(q + r y) is RN(x / 255) (Markstein's theorem; the terms are
// non-negative and far from underflow). Without fused operations it is the
// plain division.
template <bool Fused>
inline __attribute__((always_inline)) double Div255(double x)
{
    if (!Fused)
        return x / 255.0;
    constexpr double y = 1.0 / 255.0;
    const double q = x * y;
    return __builtin_fma(__builtin_fma(-255.0, q, x), y, q);
}

constexpr int kBlock = 128; // pixels a span computes together

// The sums of one block of n pixels: plane[c][q] holds channel c of the
// source pixel at clamped position base + q; sum[c][j] the sums of pixel j.
template <GaussMode Mode, bool Fused>
inline __attribute__((always_inline)) void GaussBlock(const double* __restrict pb, const double* __restrict pg,
                                                      const double* __restrict pr, const double* __restrict pa,
                                                      const double* __restrict w, int taps, int n,
                                                      double* __restrict sb, double* __restrict sg,
                                                      double* __restrict sr, double* __restrict sa)
{
    for (int j = 0; j < n; ++j)
        sb[j] = sg[j] = sr[j] = sa[j] = 0.0;
    for (int k = 0; k < taps; ++k) {
        const double wk = w[k];
        const double* __restrict b = pb + k;
        const double* __restrict g = pg + k;
        const double* __restrict r = pr + k;
        const double* __restrict a = pa + k;
        if (Mode == GaussMode::AlphaOnly) {
            for (int j = 0; j < n; ++j)
                sa[j] += wk * a[j];
        } else if (Mode == GaussMode::AllChannels) {
            for (int j = 0; j < n; ++j) {
                sb[j] += wk * b[j];
                sg[j] += wk * g[j];
                sr[j] += wk * r[j];
                sa[j] += wk * a[j];
            }
        } else {
            for (int j = 0; j < n; ++j) {
                sa[j] += wk * a[j];
                sb[j] += Div255<Fused>(b[j] * wk * a[j]);
                sg[j] += Div255<Fused>(g[j] * wk * a[j]);
                sr[j] += Div255<Fused>(r[j] * wk * a[j]);
            }
        }
    }
}

struct SpanArgs {
    const KXRGBA32i* source;
    int last;
    int64_t offset;
    const double* weights;
    int radius;
    KXRGBA32i* destination;
    int first;
    int end;
    double* sums = nullptr; // if set, the four sums of each pixel (b, g, r, a) too
};

template <GaussMode Mode, bool Fused>
inline __attribute__((always_inline)) void GaussSpanBody(const SpanArgs& s)
{
    const int taps = 2 * s.radius + 1;
    const int width = kBlock + taps - 1;
    std::vector<double> scratch(static_cast<size_t>(width) * 4 + kBlock * 4);
    double* plane[4];
    for (int c = 0; c < 4; ++c)
        plane[c] = scratch.data() + static_cast<size_t>(c) * width;
    double* sums = scratch.data() + static_cast<size_t>(width) * 4;
    for (int j0 = s.first; j0 < s.end; j0 += kBlock) {
        const int n = std::min(kBlock, s.end - j0);
        const int64_t base = s.offset + j0 - s.radius;
        for (int q = 0; q < n + taps - 1; ++q) {
            const int64_t at = base + q;
            const KXRGBA32i& p = s.source[at < 0 ? 0 : at > s.last ? s.last : at];
            plane[0][q] = p.b;
            plane[1][q] = p.g;
            plane[2][q] = p.r;
            plane[3][q] = p.a;
        }
        GaussBlock<Mode, Fused>(plane[0], plane[1], plane[2], plane[3], s.weights, taps, n, sums, sums + kBlock,
                         sums + 2 * kBlock, sums + 3 * kBlock);
        for (int j = 0; s.sums && j < n; ++j)
            for (int c = 0; c < 4; ++c)
                s.sums[4 * size_t(j0 + j - s.first) + size_t(c)] = sums[c * kBlock + j];
        for (int j = 0; j < n; ++j) {
            const int64_t centre = s.offset + j0 + j;
            s.destination[j0 + j] =
                Finish<Mode>(s.source[centre < 0 ? 0 : centre > s.last ? s.last : centre], sums[j],
                             sums[kBlock + j], sums[2 * kBlock + j], sums[3 * kBlock + j]);
        }
    }
}

// Spans for radii up to kMaxSharedRadius, eight destinations a vector with
// their sums held in registers, the 2r + 1 terms added in the order
// k = -r … r and the eight pixels finished together.
//
// The weights are symmetric (w(-m) and w(m) are the same double), so the
// term of source pixel q at distance m, such as ((c * w(m)) * a) / 255.0,
// is one value for destination q + m (tap -m) and destination q - m
// (tap m). A block computes each term it needs once, into a plane per
// distance and channel, and the sums read the planes.
//
// A block whose source pixels are all opaque (a = 255) of the
// alpha-weighted kernel needs no planes: ((c w) 255) / 255 is c w itself
// for nearly every c, and for each distance the few c for which it is not
// are listed with their term (found for a set of weights by computing
// both), so a term is one multiplication and a comparison per listed c
// that lies within the block's range of that channel (most do not), and
// the alpha sum, the same for every pixel, is added once.

// The vector helpers are always inlined into the span of each width, so
// the calling convention of 64-byte vectors never matters.
#pragma GCC diagnostic ignored "-Wpsabi"

typedef double D8 __attribute__((vector_size(64)));
typedef int I8 __attribute__((vector_size(32)));
typedef unsigned U8 __attribute__((vector_size(32)));

inline __attribute__((always_inline)) D8 Load8(const double* p)
{
    D8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// x in every lane (x - 0.0 is x, so this is a broadcast).
inline __attribute__((always_inline)) D8 Broadcast(double x)
{
    return x - D8{};
}

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
const OpaqueTerms& OpaqueTermsFor(const double* w, int r)
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

// The terms of weight `w` for plane entries lo … lo + len - 1 into out[c][0 …].
template <GaussMode Mode, bool Fused>
inline __attribute__((always_inline)) void SharedTerms(double* const* plane, int lo, int len, double w,
                                                       double* const* out)
{
    const double* __restrict a = plane[3] + lo;
    double* __restrict ta = out[3];
    for (int i = 0; i < len; ++i)
        ta[i] = w * a[i];
    if (Mode == GaussMode::AlphaOnly)
        return;
    for (int c = 0; c < 3; ++c) {
        const double* __restrict v = plane[c] + lo;
        double* __restrict t = out[c];
        if (Mode == GaussMode::AllChannels) {
            for (int i = 0; i < len; ++i)
                t[i] = w * v[i];
        } else {
            for (int i = 0; i < len; ++i)
                t[i] = Div255<Fused>(v[i] * w * a[i]);
        }
    }
}

// (x + 0.5) truncated and clamped to 0 … 255, eight at a time.
inline __attribute__((always_inline)) I8 RoundedBytes(D8 x)
{
    const D8 zero = {};
    const D8 top = Broadcast(255.0);
    D8 y = x + 0.5;
    y = y <= zero ? zero : y;
    y = y >= top ? top : y;
    return __builtin_convertvector(y, I8);
}

// Eight alpha-weighted pixels from their sums, as Finish<Premul>.
//
// The colour's quotient x = (C 255) / alpha (C 255 at most 255 * 255) only
// matters through (x + 0.5) truncated, so it is first taken as
// (C 255) * RN(1 / alpha): two roundings of relative error 2^-53 each put
// it within 2^-35 of x, and (x + 0.5) and its estimate truncate alike
// unless an integer lies between them. When any lane's estimate plus 0.5
// lies within 2^-20 of an integer, the eight are divided instead.
inline __attribute__((always_inline)) U8 FinishPremul8(D8 b, D8 g, D8 r, D8 a)
{
    const I8 alpha = RoundedBytes(a);
    const D8 divisor = __builtin_convertvector(alpha, D8);
    const D8 safe = divisor == D8{} ? Broadcast(1.0) : divisor;
    const D8 reciprocal = 1.0 / safe;
    const D8 nb = b * 255.0, ng = g * 255.0, nr = r * 255.0;
    const auto nearInteger = [](D8 x) {
        const D8 y = x + 0.5;
        const D8 fraction = y - __builtin_convertvector(__builtin_convertvector(y, I8), D8);
        return fraction < 0x1p-20 || fraction > 1.0 - 0x1p-20;
    };
    D8 qb = nb * reciprocal, qg = ng * reciprocal, qr = nr * reciprocal;
    const auto close = nearInteger(qb) | nearInteger(qg) | nearInteger(qr);
    const auto four = __builtin_shufflevector(close, close, 0, 1, 2, 3) | __builtin_shufflevector(close, close, 4, 5, 6, 7);
    const auto two = __builtin_shufflevector(four, four, 0, 1) | __builtin_shufflevector(four, four, 2, 3);
    if ((two[0] | two[1]) != 0) {
        qb = nb / safe;
        qg = ng / safe;
        qr = nr / safe;
    }
    const U8 pixel = U8(RoundedBytes(qb)) | U8(RoundedBytes(qg)) << 8 | U8(RoundedBytes(qr)) << 16 | U8(alpha) << 24;
    return alpha == I8{} ? U8{} : pixel;
}

// Source pixels base … base + count - 1 (clamped into 0 … last) into the
// planes of channels from … to - 1 (b, g, r, a).
inline __attribute__((always_inline)) void FillPlanes(const KXRGBA32i* source, int last, int64_t base, int count,
                                                      int from, int to, double* const* plane)
{
    int q = 0;
    const auto one = [&](int at) {
        const int64_t i = base + at;
        const KXRGBA32i& p = source[i < 0 ? 0 : i > last ? last : i];
        const uint8_t channel[4] = {p.b, p.g, p.r, p.a};
        for (int c = from; c < to; ++c)
            plane[c][at] = channel[c];
    };
    for (; q < count && base + q < 0; ++q)
        one(q);
    const int inside = static_cast<int>(std::min<int64_t>(count, int64_t(last) + 1 - base));
    for (; q + 8 <= inside; q += 8) {
        U8 pixels;
        std::memcpy(&pixels, source + base + q, sizeof pixels);
        for (int c = from; c < to; ++c) {
            const D8 v = __builtin_convertvector(I8((pixels >> (8 * c)) & 255u), D8);
            std::memcpy(plane[c] + q, &v, sizeof v);
        }
    }
    for (; q < count; ++q)
        one(q);
}

// The least and the greatest byte of each channel (b, g, r, a) among source
// pixels base … base + count - 1 (clamped), the pixels a block reads.
struct ByteRanges {
    uint8_t lo[4], hi[4];
};

ByteRanges RangesOf(const KXRGBA32i* source, int last, int64_t base, int count)
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
void PresentFixes(const OpaqueTerms& opaque, const ByteRanges& ranges, int r, uint32_t* present)
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

// Pixels into destination[0 … min(8, count) - 1].
inline __attribute__((always_inline)) void Store8(KXRGBA32i* destination, int count, U8 pixels)
{
    if (count >= 8)
        std::memcpy(static_cast<void*>(destination), &pixels, sizeof pixels);
    else
        for (int j = 0; j < count; ++j)
            destination[j].value = pixels[j];
}

// The sums of destinations j … j + min(8, count) - 1 into s.sums, if set.
inline __attribute__((always_inline)) void KeepSums(const SpanArgs& s, int j, int count, const D8* sum)
{
    if (!s.sums)
        return;
    for (int i = 0; i < std::min(8, count); ++i)
        for (int c = 0; c < 4; ++c)
            s.sums[4 * size_t(j - s.first + i) + size_t(c)] = sum[c][i];
}

constexpr int kCertifiedBlock = 512; // destinations of a long block of float sums

// Destinations j0 … j0 + count - 1 (padded: rounded up to whole vectors)
// from the float planes of CertifiedBlock.
template <class Ops, int Lanes, int Groups, bool Weighted>
inline __attribute__((always_inline)) void CertifiedSums(const SpanArgs& s, int j0, int count, int padded,
                                                         const KXGaussianCertified::Weights& cw,
                                                         const float* const* plane)
{
    typedef typename KXGaussianCertified::Vec<Lanes>::U U;
    const int r = s.radius;
    KXRGBA32i* destination = s.destination + j0;
    for (int g = 0; g < padded;) {
        const int groups = g + Lanes * Groups <= padded ? Groups : 1;
        U pixels[Groups];
        unsigned bad[Groups];
        if (groups == Groups)
            KXGaussianCertified::CertifiedGroups<Ops, Lanes, Groups, 1, Lanes, Weighted>(plane, g + r, r, cw, pixels,
                                                                                       bad);
        else
            KXGaussianCertified::CertifiedGroups<Ops, Lanes, 1, 1, Lanes, Weighted>(plane, g + r, r, cw, pixels, bad);
        for (int i = 0; i < groups; ++i, g += Lanes) {
            const int n = std::min(Lanes, count - g);
            if (n == Lanes)
                std::memcpy(static_cast<void*>(destination + g), &pixels[i], sizeof pixels[i]);
            else
                for (int j = 0; j < n; ++j)
                    destination[g + j].value = pixels[i][j];
            for (unsigned lanes = bad[i]; lanes != 0; lanes &= lanes - 1)
                if (const int j = __builtin_ctz(lanes); j < n)
                    destination[g + j] =
                        KXGaussianCertified::ExactPixel(s.source, 1, s.last, s.offset + j0 + g + j, s.weights, r);
        }
    }
}

// Destinations j0 … j0 + count - 1 from float sums (KXGaussianCertified.h):
// opaque or, where the weights allow, weighted by alpha; false (nothing
// written) where they cannot be used.
template <class Ops, int Lanes, int Groups>
inline __attribute__((always_inline)) bool CertifiedBlock(const SpanArgs& s, int j0, int count,
                                                          const KXGaussianCertified::Weights& cw)
{
    const int r = s.radius;
    const int padded = (count + Lanes - 1) / Lanes * Lanes;
    const int width = padded + 2 * r;
    const int64_t base = s.offset + j0 - r;
    thread_local std::vector<float> scratch;
    scratch.resize(4 * static_cast<size_t>(width));
    float* const plane[4] = {scratch.data(), scratch.data() + width, scratch.data() + 2 * size_t(width),
                             scratch.data() + 3 * size_t(width)};
    const unsigned alpha = KXGaussianCertified::FillFloatPlanes<Lanes>(s.source, s.last, base, width, plane);
    if ((alpha & 255u) == 255u) {
        CertifiedSums<Ops, Lanes, Groups, false>(s, j0, count, padded, cw, plane);
        return true;
    }
    if (!cw.translucent)
        return false;
    if ((alpha >> 8) == 0) { // alpha 0 throughout: every sum is 0
        std::fill(s.destination + j0, s.destination + j0 + count, KXRGBA32i(0));
        return true;
    }
    KXGaussianCertified::FillFloatPlanes<Lanes, true>(s.source, s.last, base, width, plane);
    CertifiedSums<Ops, Lanes, Groups, true>(s, j0, count, padded, cw, plane);
    return true;
}

// Groups: groups of eight opaque destinations summed at once (1 or 2; two
// only where the registers hold their sums and terms, AVX-512). Cert: the
// fused multiply-add of the certified float sums (CertifiedBlock) with
// its lanes and groups, or void for none.
template <GaussMode Mode, bool Fused, int Groups, class Cert = void>
inline __attribute__((always_inline)) void GaussSharedBody(const SpanArgs& s)
{
    static_assert(Groups == 1 || Groups == 2, "one group or two");
    constexpr int from = Mode == GaussMode::AlphaOnly ? 3 : 0; // first channel used
    const int r = s.radius;
    const double* w = s.weights + r; // w[m]: the weight at distance m on either side
    const int n = r <= 32 ? 128 : 256; // destinations a block, a multiple of 8
    const auto termLength = [](int m, int padded) { return 2 * m < padded ? padded + 2 * m : 2 * padded; };
    const OpaqueTerms* opaque = nullptr;
    double alphaSum = 0.0;
    const KXGaussianCertified::Weights* certified = nullptr; // if the float sums may be used
    if (Mode == GaussMode::Premul && !std::is_void<Cert>::value && !s.sums) {
        certified = &KXGaussianCertified::WeightsFor(w, r);
        certified = certified->usable ? certified : nullptr;
    }
    if (Mode == GaussMode::Premul) {
        opaque = &OpaqueTermsFor(w, r);
        for (int k = -r; k <= r; ++k)
            alphaSum += w[k < 0 ? -k : k] * 255.0;
    }

    const size_t width = static_cast<size_t>(n + 2 * r);
    size_t terms = 0;
    for (int m = 0; m <= r; ++m)
        terms += static_cast<size_t>(termLength(m, n));
    thread_local std::vector<double> scratch;
    thread_local std::vector<const double*> sides;
    scratch.resize(4 * (width + terms));
    sides.resize(static_cast<size_t>(r + 1) * 8);
    double* plane[4];
    for (int c = 0; c < 4; ++c)
        plane[c] = scratch.data() + static_cast<size_t>(c) * width;
    const double** left = sides.data();               // left[4 m + c][j]: term of pixel j's tap -m
    const double** right = sides.data() + 4 * (r + 1); // right[4 m + c][j]: of its tap m

    for (int j0 = s.first, step = n; j0 < s.end; j0 += step) {
        step = n;
        const int count = std::min(n, s.end - j0);
        const int padded = (count + 7) & ~7;
        const int64_t base = s.offset + j0 - r;
        KXRGBA32i* destination = s.destination + j0;
        if constexpr (Mode == GaussMode::Premul && !std::is_void<Cert>::value) {
            // Float sums over a long block if it is opaque, else over this one.
            const int longer = std::min(kCertifiedBlock, s.end - j0);
            if (certified && CertifiedBlock<Cert, Cert::kLanes, Cert::kGroups>(s, j0, longer, *certified)) {
                step = longer;
                continue;
            }
            if (certified && longer > count &&
                CertifiedBlock<Cert, Cert::kLanes, Cert::kGroups>(s, j0, count, *certified))
                continue;
        }
        const ByteRanges ranges = Mode == GaussMode::Premul && opaque->usable
                                      ? RangesOf(s.source, s.last, base, padded + 2 * r)
                                      : ByteRanges{};
        if (Mode == GaussMode::Premul && opaque->usable && ranges.lo[3] == 255) {
            uint32_t present[kMaxSharedRadius + 1];
            PresentFixes(*opaque, ranges, r, present);
            FillPlanes(s.source, s.last, base, padded + 2 * r, 0, 3, plane); // alpha is not read
            for (int g = 0; g < padded; g += 8 * Groups) {
                D8 sum[Groups][4];
                const bool whole = g + 8 * Groups <= padded; // else one group is left
                if (whole)
                    OpaqueGroups<Groups>(plane, g, r, w, *opaque, present, sum);
                else
                    OpaqueGroups<1>(plane, g, r, w, *opaque, present, sum);
                for (int i = 0; i < (whole ? Groups : 1); ++i) {
                    const int at = g + 8 * i;
                    sum[i][3] = Broadcast(alphaSum);
                    KeepSums(s, j0 + at, count - at, sum[i]);
                    Store8(destination + at, count - at, FinishPremul8(sum[i][0], sum[i][1], sum[i][2], sum[i][3]));
                }
            }
            continue;
        }
        FillPlanes(s.source, s.last, base, padded + 2 * r, from, 4, plane);
        double* at = scratch.data() + 4 * width;
        for (int m = 0; m <= r; ++m) {
            const int length = termLength(m, n);
            double* out[4];
            for (int c = 0; c < 4; ++c)
                out[c] = at + static_cast<size_t>(c) * static_cast<size_t>(length);
            at += 4 * static_cast<size_t>(length);
            int shift = 2 * m;
            if (2 * m < padded) {
                SharedTerms<Mode, Fused>(plane, r - m, padded + 2 * m, w[m], out);
            } else {
                double* second[4];
                for (int c = 0; c < 4; ++c)
                    second[c] = out[c] + padded;
                SharedTerms<Mode, Fused>(plane, r - m, padded, w[m], out);
                SharedTerms<Mode, Fused>(plane, r + m, padded, w[m], second);
                shift = padded;
            }
            for (int c = 0; c < 4; ++c) {
                left[4 * m + c] = out[c];
                right[4 * m + c] = out[c] + shift;
            }
        }
        for (int g = 0; g < padded; g += 8) {
            D8 sum[4] = {};
            const auto add = [&](const double* const* side) {
                for (int c = from; c < 4; ++c)
                    sum[c] += Load8(side[c] + g);
            };
            for (int m = r; m >= 1; --m)
                add(left + 4 * m);
            add(left);
            for (int m = 1; m <= r; ++m)
                add(right + 4 * m);
            if (Mode == GaussMode::Premul) {
                KeepSums(s, j0 + g, count - g, sum);
                Store8(destination + g, count - g, FinishPremul8(sum[0], sum[1], sum[2], sum[3]));
            } else {
                for (int j = 0; j < std::min(8, count - g); ++j) {
                    const int64_t centre = s.offset + j0 + g + j;
                    destination[g + j] = Finish<Mode>(s.source[centre < 0 ? 0 : centre > s.last ? s.last : centre],
                                                      sum[0][j], sum[1][j], sum[2][j], sum[3][j]);
                }
            }
        }
    }
}

// True when w(-m) and w(m) are the same double for every m.
inline bool Symmetric(const SpanArgs& s)
{
    for (int m = 1; m <= s.radius; ++m)
        if (!(s.weights[s.radius - m] == s.weights[s.radius + m]) ||
            std::signbit(s.weights[s.radius - m]) != std::signbit(s.weights[s.radius + m]))
            return false;
    return true;
}

template <GaussMode Mode, bool Fused, int Groups = 1, class Cert = void>
inline __attribute__((always_inline)) void GaussSpanChoice(const SpanArgs& s)
{
    if (s.radius <= kMaxSharedRadius && Symmetric(s))
        GaussSharedBody<Mode, Fused, Groups, Cert>(s);
    else
        GaussSpanBody<Mode, Fused>(s);
}

template <GaussMode Mode>
__attribute__((flatten)) void GaussSpanDefault(const SpanArgs& s)
{
    GaussSpanChoice<Mode, false>(s);
}

#if defined(KX_ISA_X86)
// Built for AVX2 with fused multiply-add (four doubles a vector); called
// only where the processor has both. The arithmetic is the same IEEE double
// arithmetic, the division by 255 done as Div255 shows.
template <GaussMode Mode>
__attribute__((flatten, target("avx2,fma"))) void GaussSpanAvx2(const SpanArgs& s)
{
    GaussSpanChoice<Mode, true, 1, KXGaussianCertified::OpsAvx2>(s);
}

// The same for AVX-512 (eight doubles a vector).
template <GaussMode Mode>
__attribute__((flatten, target("avx512f,fma"))) void GaussSpanAvx512(const SpanArgs& s)
{
    GaussSpanChoice<Mode, true, 2, KXGaussianCertified::OpsAvx512>(s);
}
#endif

template <GaussMode Mode>
void GaussSpan(const SpanArgs& s)
{
    if (s.first >= s.end || s.last < 0)
        return;
#if defined(KX_ISA_X86)
    const KXIsa::Level level = KXIsa::Current();
    if (level == KXIsa::Level::Avx512) {
        GaussSpanAvx512<Mode>(s);
        return;
    }
    if (level == KXIsa::Level::Avx2) {
        GaussSpanAvx2<Mode>(s);
        return;
    }
#endif
    GaussSpanDefault<Mode>(s);
}

} // namespace

void KXGaussianSpanWidth::WidenCertifiedMargin(double margin)
{
    KXGaussianCertified::ExtraMargin().store(margin, std::memory_order_relaxed);
}

#if defined(KX_ISA_X86)
__attribute__((target("avx2,fma"))) double KXGaussianSpanWidth::FusedDivideBy255(double x)
{
    return Div255<true>(x);
}
#else
double KXGaussianSpanWidth::FusedDivideBy255(double x)
{
    return Div255<false>(x);
}
#endif

void KXGaussianSpanWidth::PremulSums(const std::vector<double>& weights, const KXPixelLine& source, int offset,
                                     int count, double* sums)
{
    const int radius = static_cast<int>(weights.size() / 2);
    SpanArgs s{source.data(), static_cast<int>(source.size()) - 1, offset, weights.data(), radius, nullptr, 0, count};
    std::vector<KXRGBA32i> out(static_cast<size_t>(count));
    s.destination = out.data();
    s.sums = sums;
    GaussSpan<GaussMode::Premul>(s);
}

uint32_t KXGaussianSpanWidth::FinishAlphaWeighted(double b, double g, double r, double a)
{
    U8 pixels = FinishPremul8(Broadcast(b), Broadcast(g), Broadcast(r), Broadcast(a));
    return pixels[0];
}

void KXGaussian1D::Span(int first, int end) const
{
    GaussSpan<GaussMode::AllChannels>(
        {m_source->data(), m_last, m_offset, m_weights.data(), m_radius, m_destination->data(), first, end});
}

void KXGaussian1DPremul::Span(int first, int end) const
{
    GaussSpan<GaussMode::Premul>(
        {m_source->data(), m_last, m_offset, m_weights.data(), m_radius, m_destination->data(), first, end});
}

void KXGaussianAlpha1D::Span(int first, int end) const
{
    GaussSpan<GaussMode::AlphaOnly>(
        {m_source->data(), m_last, m_offset, m_weights.data(), m_radius, m_destination->data(), first, end});
}
