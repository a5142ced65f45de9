// The 3-tap spans' byte loops, built for each instruction set the box line
// chooses from (KXBoxLineWidth) and taken at the width in use: the same
// integer and single-precision arithmetic in every build, only more bytes a
// vector; the 16-bit rules for the strengths they cover (callers pass
// n > 0).

#include "filters/KXThreeTapSpans.h"

#include "filters/KXBoxLineWidth.h"

namespace {

using KXBoxLineWidth::Width;

template <class Rule>
inline __attribute__((always_inline)) void Loop(const uint8_t* l, const uint8_t* m, const uint8_t* r,
                                                uint8_t* __restrict out, int count, Rule rule)
{
    for (int j = 0; j < 4 * count; ++j)
        out[j] = static_cast<uint8_t>(rule(l[j], m[j], r[j]));
}

using KXThreeTapSpans::BytesFunction;

template <class Rule>
__attribute__((flatten)) void Plain(const uint8_t* l, const uint8_t* m, const uint8_t* r, uint8_t* out, int count,
                                    int n)
{
    Loop(l, m, r, out, count, Rule(n));
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
template <class Rule>
__attribute__((flatten, target("avx2"))) void Avx2(const uint8_t* l, const uint8_t* m, const uint8_t* r,
                                                   uint8_t* out, int count, int n)
{
    Loop(l, m, r, out, count, Rule(n));
}

template <class Rule>
__attribute__((flatten, target("avx512f,avx512bw"))) void Avx512(const uint8_t* l, const uint8_t* m,
                                                                 const uint8_t* r, uint8_t* out, int count, int n)
{
    Loop(l, m, r, out, count, Rule(n));
}
#endif

template <class Rule>
BytesFunction Choose()
{
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    static const bool avx512bw = __builtin_cpu_supports("avx512bw");
    switch (KXBoxLineWidth::InUse()) {
    case Width::Avx512:
        return avx512bw ? Avx512<Rule> : Avx2<Rule>;
    case Width::Avx2:
        return Avx2<Rule>;
    default:
        break;
    }
#endif
    return Plain<Rule>;
}

} // namespace

KXThreeTapSpans::BytesFunction KXThreeTapSpans::SharpenBytesFor(int n)
{
    return n <= kMaxSharpen16 ? Choose<SharpenRule16>() : Choose<SharpenRule>();
}

KXThreeTapSpans::BytesFunction KXThreeTapSpans::SmoothenBytesFor(int n)
{
    return n <= kMaxSmoothen16 ? Choose<SmoothenRule16>() : Choose<SmoothenRule>();
}

void KXThreeTapSpans::SharpenBytes(const uint8_t* l, const uint8_t* m, const uint8_t* r, uint8_t* out, int count,
                                   int n)
{
    SharpenBytesFor(n)(l, m, r, out, count, n);
}

void KXThreeTapSpans::SmoothenBytes(const uint8_t* l, const uint8_t* m, const uint8_t* r, uint8_t* out, int count,
                                    int n)
{
    SmoothenBytesFor(n)(l, m, r, out, count, n);
}
