#ifndef KXSHIFTEDGERUN_H
#define KXSHIFTEDGERUN_H

// KXShiftEdge1D with a Span that costs O(1) per pixel whatever the shift.
// Private to the library.
//
// Along a line, the kernel's alpha at position p is the largest (shift s >
// 0) or smallest (s < 0) alpha a'(q) over q = p - |s| … p + |s|, where a'(q)
// is the line's alpha inside the line and 0 beyond it: beyond the line a
// grow ignores the position (0 never wins a maximum) and a shrink takes it
// as transparent. For every destination pixel whose p lies in the line this
// is exactly operator()'s result; Span does those with the van Herk /
// Gil-Werman running extreme (blocks of 2|s| + 1: a prefix and a suffix
// extreme per block, one comparison of the two per pixel) and leaves any
// other pixel to operator(). A window wider than the line is cut to the
// line's length, which changes nothing: it already reaches every pixel of
// the line, or beyond it on one side.

#include "KXFilterKernels.h"

#include <algorithm>
#include <cstdint>
#include <vector>

class KXShiftEdgeRun : public KXShiftEdge1D {
public:
    explicit KXShiftEdgeRun(int shift) : KXShiftEdge1D(shift), m_grow(shift > 0) {}

    // Destination pixels first … end - 1.
    void Span(int first, int end) const
    {
        if (first >= end)
            return;
        const int64_t length = int64_t(m_last) + 1;
        const int64_t reach = std::min<int64_t>(Left(), length);
        if (reach == 0 || length == 0) {
            for (int i = first; i < end; ++i)
                (*this)(i);
            return;
        }
        // Pixels whose p lies in the line: first … last - 1 (i), the others
        // one by one.
        const int inFirst = static_cast<int>(std::clamp<int64_t>(-int64_t(m_offset), first, end));
        const int inEnd = static_cast<int>(std::clamp<int64_t>(length - m_offset, inFirst, end));
        for (int i = first; i < inFirst; ++i)
            (*this)(i);
        for (int i = inEnd; i < end; ++i)
            (*this)(i);
        if (inFirst < inEnd)
            Extremes(inFirst, inEnd, reach);
    }

private:
    uint8_t Pick(uint8_t a, uint8_t b) const { return m_grow ? std::max(a, b) : std::min(a, b); }

    // Pixels first … end - 1, all with p in the line.
    void Extremes(int first, int end, int64_t reach) const
    {
        const int64_t window = 2 * reach + 1;
        const int64_t start = Position(first) - reach; // line position of b[0]
        const size_t count = static_cast<size_t>(int64_t(end - first) + 2 * reach);
        // b: a' over the padded run; prefix / suffix extremes per block.
        std::vector<uint8_t> b(count), prefix(count), suffix(count);
        for (size_t j = 0; j < count; ++j) {
            const int64_t q = start + int64_t(j);
            b[j] = Inside(q) ? (*m_source)[static_cast<size_t>(q)].a : 0;
        }
        const size_t w = static_cast<size_t>(window);
        for (size_t block = 0; block < count; block += w) {
            const size_t last = std::min(block + w, count) - 1;
            prefix[block] = b[block];
            for (size_t j = block + 1; j <= last; ++j)
                prefix[j] = Pick(prefix[j - 1], b[j]);
            suffix[last] = b[last];
            for (size_t j = last; j-- > block;)
                suffix[j] = Pick(suffix[j + 1], b[j]);
        }
        for (int i = first; i < end; ++i) {
            const size_t j = static_cast<size_t>(i - first); // window b[j … j + 2 reach]
            KXRGBA32i c = At(Position(i));
            c.a = Pick(suffix[j], prefix[j + w - 1]);
            Out(i) = c;
        }
    }

    bool m_grow;
};

#endif // KXSHIFTEDGERUN_H
