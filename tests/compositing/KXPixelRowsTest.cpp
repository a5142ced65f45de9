#include "compositing/KXPixelRows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

// The row forms of the merge and the high pass's subtraction against the
// bytes worked out one by one: ((255 - k) d + k s) / 255 and clamp(s - d +
// offset), on rows with runs of unselected, fully selected and every other
// selection value, and lengths that leave a tail.
namespace {

const uint8_t* BytesOf(const std::vector<KXRGBA32i>& row, int i)
{
    return reinterpret_cast<const uint8_t*>(&row[size_t(i)]);
}

} // namespace

TEST(KXPixelRowsTest, RowsMatchTheBytesWorkedOutOneByOne)
{
    std::mt19937 random(7);
    for (int n : {0, 3, 4, 1027}) {
        std::vector<KXRGBA32i> s(size_t(n) + 1), d(s.size()), m(s.size());
        for (int i = 0; i < n; ++i) {
            s[size_t(i)] = KXRGBA32i(random());
            d[size_t(i)] = KXRGBA32i(random());
            m[size_t(i)] = KXRGBA32i(random());
            m[size_t(i)].a = uint8_t(i < 256 ? i : (i / 8) % 3 == 0 ? 0 : (i / 8) % 3 == 1 ? 255 : random());
        }
        std::vector<KXRGBA32i> mixed = d;
        KXPixelRows::MixRow(s.data(), mixed.data(), m.data(), n);
        for (int offset : {128, 0, -256, 511, 1000}) {
            std::vector<KXRGBA32i> subtracted = d;
            KXPixelRows::SubtractRow(s.data(), subtracted.data(), offset, n);
            for (int i = 0; i < n; ++i)
                for (int c = 0; c < 4; ++c) {
                    const int sc = BytesOf(s, i)[c], dc = BytesOf(d, i)[c], k = m[size_t(i)].a;
                    const int difference = std::min(255, std::max(0, sc - dc + offset));
                    ASSERT_EQ(BytesOf(mixed, i)[c], ((255 - k) * dc + k * sc) / 255) << i << " byte " << c;
                    ASSERT_EQ(BytesOf(subtracted, i)[c], c == 3 ? dc : difference) << i << " byte " << c;
                }
            ASSERT_EQ(subtracted[size_t(n)], d[size_t(n)]); // nothing beyond the row
        }
        ASSERT_EQ(mixed[size_t(n)], d[size_t(n)]);
    }
}
