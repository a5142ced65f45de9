#ifndef KXALPHABOXRUN_H
#define KXALPHABOXRUN_H

// The three alpha accumulators with their division by the window's count
// done as an exact multiplication. Private to the library.
//
// For a divisor d of at most 2^24 and l = ceil(log2 d), m = floor(2^(32+l)
// / d) + 1 gives n / d = (n m) >> (32 + l) for every n below 2^32
// (Granlund and Montgomery, "Division by invariant integers using
// multiplication", 1994); the sums of a box pass are below 255 (2r + 1) <
// 2^31, and n m stays below 2^64.

#include "KXFilterKernels.h"

#include <cstdint>
#include <type_traits>

// n / d for one d, exact for 0 <= n < 2^32.
class KXExactDivision {
public:
    explicit KXExactDivision(uint32_t d)
    {
        while ((uint64_t(1) << m_shift) < d)
            ++m_shift;
        m_factor = (uint64_t(1) << (32 + m_shift)) / d + 1;
        m_shift += 32;
    }
    uint32_t operator()(uint32_t n) const { return static_cast<uint32_t>((uint64_t(n) * m_factor) >> m_shift); }

private:
    uint64_t m_factor = 0;
    unsigned int m_shift = 0;
};

// An alpha accumulator whose Finalize divides by multiplication: Base is
// KXAlphaBlurAccumulator (alpha := average), KXAlphaBlurAccumulatorWithInvert
// (alpha := 255 - average) or KXAlphaBlurAccumulatorWithRGBColorize (the
// colour, with the average as alpha); everything else is Base's.
template <class Base>
class KXAlphaBoxRun : public Base {
public:
    static constexpr bool kInvert = std::is_same<Base, KXAlphaBlurAccumulatorWithInvert>::value;
    static constexpr bool kColorize = std::is_same<Base, KXAlphaBlurAccumulatorWithRGBColorize>::value;

    explicit KXAlphaBoxRun(int radius) : Base(radius), m_divide(static_cast<uint32_t>(this->m_count)) {}
    KXAlphaBoxRun(int radius, const KXRGBA32i& color)
        : Base(radius, color), m_divide(static_cast<uint32_t>(this->m_count)), m_color(color)
    {
    }
    void Finalize(KXRGBA32i& target) const
    {
        const uint32_t average = m_divide(static_cast<uint32_t>(this->m_alpha));
        if (kColorize)
            target = m_color;
        target.a = static_cast<uint8_t>(kInvert ? ~average : average);
    }

private:
    KXExactDivision m_divide;
    KXRGBA32i m_color;
};

#endif // KXALPHABOXRUN_H
