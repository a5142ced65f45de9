#include "KXTonalAdjustments.h"

#include "core/KXIsa.h"

#if defined(KX_ISA_X86)
#include <immintrin.h>
#endif

namespace {

#if defined(KX_ISA_X86)

// Sixteen pixels at a time: a byte permute looks up 128 table entries at
// once, so each channel takes two permutes (entries 0 … 127 and 128 … 255),
// each applied only to the bytes of that channel and that half. A byte not
// yet looked up still holds the pixel's own value, which is what the next
// permute indexes with; alpha bytes are never selected.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void ApplyVbmi(const KXByteTable* tables,
                                                                      KXRGBA32i* out, const KXRGBA32i* in,
                                                                      unsigned int count)
{
    __m512i quarter[3][4];
    for (int channel = 0; channel < 3; ++channel)
        for (int q = 0; q < 4; ++q)
            quarter[channel][q] = _mm512_loadu_si512(tables[channel].data() + 64 * q);
    const __mmask64 lane[3] = {0x1111111111111111ull, 0x2222222222222222ull, 0x4444444444444444ull};
    unsigned int i = 0;
    for (; i + 16 <= count; i += 16) {
        __m512i v = _mm512_loadu_si512(in + i);
        const __mmask64 high = _mm512_movepi8_mask(v);
        for (int channel = 0; channel < 3; ++channel) {
            v = _mm512_mask2_permutex2var_epi8(quarter[channel][0], v, lane[channel] & ~high, quarter[channel][1]);
            v = _mm512_mask2_permutex2var_epi8(quarter[channel][2], v, lane[channel] & high, quarter[channel][3]);
        }
        _mm512_storeu_si512(out + i, v);
    }
    for (; i < count; ++i) {
        const KXRGBA32i p = in[i];
        out[i] = KXRGBA32i((p.value & 0xFF000000u) | uint32_t(tables[2][p.r]) << 16 | uint32_t(tables[1][p.g]) << 8 |
                           tables[0][p.b]);
    }
}

#endif

} // namespace

KXByteTable KXRGBTables::IdentityTable()
{
    KXByteTable table;
    for (int i = 0; i < 256; ++i)
        table[i] = static_cast<uint8_t>(i);
    return table;
}

KXRGBTables::KXRGBTables() : m_bytes{IdentityTable(), IdentityTable(), IdentityTable()}
{
    Shift();
}

KXRGBTables::KXRGBTables(const KXByteTable& all) : m_bytes{all, all, all}
{
    Shift();
}

KXRGBTables::KXRGBTables(const KXByteTable& red, const KXByteTable& green, const KXByteTable& blue)
    : m_bytes{blue, green, red}
{
    Shift();
}

void KXRGBTables::Shift()
{
    for (int channel = 0; channel < 3; ++channel)
        for (int i = 0; i < 256; ++i)
            m_words[channel][i] = uint32_t(m_bytes[channel][i]) << (8 * channel);
}

void KXRGBTables::ApplyRunPlain(KXRGBA32i* out, const KXRGBA32i* in, unsigned int count) const
{
    for (unsigned int i = 0; i < count; ++i) {
        KXRGBA32i p = in[i];
        (*this)(p);
        out[i] = p;
    }
}

void KXRGBTables::ApplyRun(KXRGBA32i* out, const KXRGBA32i* in, unsigned int count) const
{
#if defined(KX_ISA_X86)
    if (count >= 16 && KXIsa::Allows(KXIsa::Level::Avx512)) {
        ApplyVbmi(m_bytes, out, in, count);
        return;
    }
#endif
    ApplyRunPlain(out, in, count);
}
