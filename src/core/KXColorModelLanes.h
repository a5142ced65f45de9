#ifndef KXCOLORMODELLANES_H
#define KXCOLORMODELLANES_H

// Lanes of eight pixels for the colour model row kernels (private to
// KXColorModelKernels*.cpp): integer work on the bytes in eight 32-bit lanes,
// double work in registers of N lanes (2 for the baseline, 4 for AVX2, 8 for
// AVX-512), a block of eight pixels in 8 / N steps. Everything here is
// inlined into the kernels of each instruction set.

#include "core/KXColorModelKernels.h"

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi" // the eight-lane helpers are always inlined

namespace KXColorModelKernels {

#define KX_LANES_INLINE inline __attribute__((always_inline))

typedef int32_t I8 __attribute__((vector_size(32)));

template <int N>
struct Lanes {
    typedef double D __attribute__((vector_size(8 * N)));
    typedef int64_t L __attribute__((vector_size(8 * N)));
    typedef int32_t I __attribute__((vector_size(4 * N)));
};

template <int N>
KX_LANES_INLINE typename Lanes<N>::D Look(const double* table, typename Lanes<N>::I index)
{
    typename Lanes<N>::D v;
    for (int k = 0; k < N; ++k)
        v[k] = table[index[k]];
    return v;
}

template <int N>
KX_LANES_INLINE typename Lanes<N>::D ToDouble(typename Lanes<N>::I v)
{
    return __builtin_convertvector(v, typename Lanes<N>::D);
}

// qRound(d) for d >= 0, its low 16 bits.
template <int N>
KX_LANES_INLINE typename Lanes<N>::I Round16(typename Lanes<N>::D d)
{
    return __builtin_convertvector(d + 0.5, typename Lanes<N>::I) & 0xFFFF;
}

// Whether a lane is below 0 or NaN, which qRound's int(d + 0.5) misses.
template <int N>
KX_LANES_INLINE typename Lanes<N>::L BelowZero(typename Lanes<N>::D d)
{
    return (d >= 0.0) == 0;
}

template <int N>
KX_LANES_INLINE bool Any(typename Lanes<N>::L m)
{
    int64_t folded = 0;
    for (int k = 0; k < N; ++k)
        folded |= m[k];
    return folded != 0;
}

// Lanes K * N .. K * N + N - 1 of eight.
template <int N, int K>
KX_LANES_INLINE typename Lanes<N>::I Slice(I8 v)
{
    if constexpr (N == 8)
        return v;
    else if constexpr (N == 4)
        return __builtin_shufflevector(v, v, 4 * K, 4 * K + 1, 4 * K + 2, 4 * K + 3);
    else
        return __builtin_shufflevector(v, v, 2 * K, 2 * K + 1);
}

// Eight lanes from 8 / N slices.
template <int N>
KX_LANES_INLINE I8 Join(const typename Lanes<N>::I* part)
{
    if constexpr (N == 8) {
        return part[0];
    } else if constexpr (N == 4) {
        return __builtin_shufflevector(part[0], part[1], 0, 1, 2, 3, 4, 5, 6, 7);
    } else {
        typedef int32_t I4 __attribute__((vector_size(16)));
        const I4 low = __builtin_shufflevector(part[0], part[1], 0, 1, 2, 3);
        const I4 high = __builtin_shufflevector(part[2], part[3], 0, 1, 2, 3);
        return __builtin_shufflevector(low, high, 0, 1, 2, 3, 4, 5, 6, 7);
    }
}

// fn(std::integral_constant<int, K>) for K = 0 .. 8 / N - 1.
template <int N, class Fn, int... K>
KX_LANES_INLINE void EachSlice(Fn&& fn, std::integer_sequence<int, K...>)
{
    (fn(std::integral_constant<int, K>()), ...);
}

template <int N, class Fn>
KX_LANES_INLINE void EachSlice(Fn&& fn)
{
    EachSlice<N>(fn, std::make_integer_sequence<int, 8 / N>());
}

// Eight pixels; false (nothing written) when a lane needs the plain rule.

template <int N>
KX_LANES_INLINE typename Lanes<N>::D ChannelLanes(typename Lanes<N>::D p, typename Lanes<N>::D q,
                                                  typename Lanes<N>::D t)
{
    using D = typename Lanes<N>::D;
    t = t < 0.0 ? t + 1.0 : t > 1.0 ? t - 1.0 : t;
    const D sixT = t * 6.0;
    const D rising = p + (q - p) * sixT;
    const D falling = p + (q - p) * (2.0 / 3.0 - t) * 6.0;
    return sixT < 1.0 ? rising : t * 2.0 < 1.0 ? q : t * 3.0 < 2.0 ? falling : p;
}

typedef float F8 __attribute__((vector_size(32)));

// floor of a quotient (exact or of floats), by truncating and stepping down
// for a negative fraction.
KX_LANES_INLINE I8 Floor(F8 quotient)
{
    const I8 q = __builtin_convertvector(quotient, I8);
    return q + (__builtin_convertvector(q, F8) > quotient); // a true lane is -1
}

// Whether any of eight lanes is true.
KX_LANES_INLINE bool AnyLane(I8 m)
{
    I8 folded = m | __builtin_shufflevector(m, m, 4, 5, 6, 7, 0, 1, 2, 3);
    folded |= __builtin_shufflevector(folded, folded, 2, 3, 0, 1, 6, 7, 4, 5);
    folded |= __builtin_shufflevector(folded, folded, 1, 0, 3, 2, 5, 4, 7, 6);
    return folded[0] != 0;
}

// s | l << 8 of the HSL `rule` gives for [max << 8 | min] (a pixel with red
// max and green and blue min).
template <KXHSLA (*rule)(KXRGBA32i)>
const uint16_t* SaturationLightness()
{
    struct Table {
        uint16_t sl[256 * 256] = {};
        Table()
        {
            for (unsigned int max = 0; max < 256; ++max)
                for (unsigned int min = 0; min <= max; ++min) {
                    const KXHSLA hsl = rule(KXRGBA32i(max << 16 | min << 8 | min));
                    sl[max << 8 | min] = static_cast<uint16_t>(hsl.s | hsl.l << 8);
                }
        }
    };
    static const Table table;
    return table.sl;
}

// The row kernel compiled for `level` when this CPU runs it; null for
// Level::Plain or a level above the processor's (the plain rule's turn).
template <class Kernel>
Kernel* KernelFor(Level level, Kernel* sse2, Kernel* avx2, Kernel* avx512)
{
    if (level == Level::Plain || int(level) > int(KXIsa::Probed()))
        return nullptr;
    return level == Level::Avx512 ? avx512 : level == Level::Avx2 ? avx2 : sse2;
}

// The kernel Name##Sse2, Name##Avx2 or Name##Avx512 for `level`.
#define KX_ROW_KERNEL_FOR(Name, level) KernelFor(level, Name##Sse2, Name##Avx2, Name##Avx512)

} // namespace KXColorModelKernels

#pragma GCC diagnostic pop

#endif // KXCOLORMODELLANES_H
