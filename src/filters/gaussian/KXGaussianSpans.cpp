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

#pragma GCC diagnostic ignored "-Wpsabi" // the wide vectors never cross a call: their helpers are always inlined

#include "KXGaussianSpans.h"

#include "KXFilterKernels.h"
#include "KXGaussianCertified.h"
#include "KXGaussianCertifiedSpans.h"
#include "KXGaussianOpaqueSpans.h"
#include "KXGaussianSpanVectors.h"
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
using namespace KXGaussianSpanParts;

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
