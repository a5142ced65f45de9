// Whole-image conversions. One walker pairs the tiles of the working image
// (128 x 128) with the two 128 x 64 tiles of an 8-byte form; small functors
// convert one pixel. Tiled forms convert whole tiles, margin included.

#include "KXImageConversion.h"

#include "core/KXCMYKToRGB.h"
#include "core/KXColorModelKernels.h"
#include "core/KXTileWalker.h"

#include "core/KXLogMacros.h"

#include <QtGlobal>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

const char kLogFile[] = "src/KXImage";
constexpr unsigned int kHalfTilePixels = 128 * 64;

using KXColorModelKernels::FromByte;
using KXColorModelKernels::To8;

// ---- Per-pixel rules -------------------------------------------------------

struct To64i {
    KXRGBA64i operator()(KXRGBA32i p) const
    {
        KXRGBA64i out;
        out.b = static_cast<uint16_t>(p.b << 8);
        out.g = static_cast<uint16_t>(p.g << 8);
        out.r = static_cast<uint16_t>(p.r << 8);
        out.a = static_cast<uint16_t>(p.a << 8);
        return out;
    }
};

struct From64i {
    KXRGBA32i operator()(KXRGBA64i p) const
    {
        KXRGBA32i out;
        out.b = static_cast<uint8_t>(p.b >> 8);
        out.g = static_cast<uint8_t>(p.g >> 8);
        out.r = static_cast<uint8_t>(p.r >> 8);
        out.a = static_cast<uint8_t>(p.a >> 8);
        return out;
    }
};

// 8-bit channel -> half of c / 255 * 256.87842 (single precision).
struct ToHalf {
    const uint16_t* table;
    ToHalf() : table(Table()) {}
    static const uint16_t* Table()
    {
        static const struct Values {
            uint16_t v[256];
            Values()
            {
                for (int c = 0; c < 256; ++c)
                    v[c] = HalfFromFloat(static_cast<float>(c) / 255.0f * 256.87841796875f);
            }
        } values;
        return values.v;
    }
    KXRGBA64f operator()(KXRGBA32i p) const
    {
        KXRGBA64f out;
        out.b = table[p.b];
        out.g = table[p.g];
        out.r = table[p.r];
        out.a = table[p.a];
        return out;
    }
};

// Half -> its value * 0.9926875, truncated toward zero. Values outside
// 0..255 (never produced by ToHalf) wrap like an int cast to a byte; NaN and
// infinities give 0.
struct FromHalf {
    const uint8_t* table;
    FromHalf() : table(Table()) {}
    static const uint8_t* Table()
    {
        static const struct Values {
            uint8_t v[65536];
            Values()
            {
                for (uint32_t h = 0; h < 65536; ++h) {
                    const float scaled = HalfToFloat(static_cast<uint16_t>(h)) * 0.9926875233650208f;
                    v[h] = (scaled > -2147483648.0f && scaled < 2147483648.0f)
                               ? static_cast<uint8_t>(static_cast<int32_t>(scaled))
                               : 0;
                }
            }
        } values;
        return values.v;
    }
    KXRGBA32i operator()(KXRGBA64f p) const
    {
        KXRGBA32i out;
        out.b = table[p.b];
        out.g = table[p.g];
        out.r = table[p.r];
        out.a = table[p.a];
        return out;
    }
};

using CMYKToRGB = KXCMYKToRGB;

// Row rules: whole runs of pixels through the kernels of the
// instruction-set level in use.
struct RGBToHSLRows {
    KXColorModelKernels::Level level = KXIsa::Current();
    void Row(const KXRGBA32i* in, KXHSLA* out, unsigned int n) const
    {
        KXColorModelKernels::RGBToHSLRow(in, out, n, level);
    }
};

struct HSLToRGBRows {
    KXColorModelKernels::Level level = KXIsa::Current();
    void Row(const KXHSLA* in, KXRGBA32i* out, unsigned int n) const
    {
        KXColorModelKernels::HSLToRGBRow(in, out, n, level);
    }
};

struct RGBToCMYKRows {
    void Row(const KXRGBA32i* in, KXCMYKA* out, unsigned int n) const
    {
        KXColorModelKernels::RGBToCMYKRow(in, out, n);
    }
};

// A run of pixels through a row rule, or through a per-pixel one.
template <class Rule, class In, class Out>
auto ConvertRun(Rule& rule, const In* in, Out* out, unsigned int n, int) -> decltype(rule.Row(in, out, n))
{
    rule.Row(in, out, n);
}

template <class Rule, class In, class Out>
void ConvertRun(Rule& rule, const In* in, Out* out, unsigned int n, long)
{
    for (unsigned int i = 0; i < n; ++i)
        out[i] = rule(in[i]);
}

// ---- Walkers ---------------------------------------------------------------

// Working image -> 8-byte form: working tile (r, c) holds 8-byte tiles
// (2r, c) (its rows 0-63) and (2r + 1, c) (rows 64-127) when they exist.
// Tiles are converted in parallel, each task with its own copy of the rule.
template <class Narrow, class Rule>
KXImage<Narrow, 128, 64> FromWorking(const KXImageRGBA32i& source, const Rule& rule)
{
    KXImage<Narrow, 128, 64> target(source.Width(), source.Height());
    KXTileWalker::Read(source, KXTileWalker::Grid(source), KXTileWalker::Run::Parallel,
                       [&](const KXRGBA32i* in, unsigned int column, unsigned int row) {
                           Rule local(rule);
                           const unsigned int halves = std::min(2u, target.TileRows() - 2 * row);
                           for (unsigned int half = 0; half < halves; ++half) {
                               const KXTileAccess<Narrow> out = target.OverwriteTile(column, 2 * row + half);
                               ConvertRun(local, in + half * kHalfTilePixels, out.Data(), kHalfTilePixels, 0);
                           }
                       });
    return target;
}

// 8-byte form -> working image; where the second 8-byte tile does not exist
// the lower half of the working tile keeps the zero of the new image.
template <class Narrow, class Rule>
KXImageRGBA32i ToWorking(const KXImage<Narrow, 128, 64>& source, const Rule& rule)
{
    KXImageRGBA32i target(source.Width(), source.Height());
    KXTileWalker::ForEach(KXTileWalker::Grid(target), KXTileWalker::Run::Parallel,
                          [&](unsigned int column, unsigned int row) {
                              Rule local(rule);
                              const unsigned int halves = std::min(2u, source.TileRows() - 2 * row);
                              const KXTileAccess<KXRGBA32i> out =
                                  halves == 2 ? target.OverwriteTile(column, row) : target.WriteTile(column, row);
                              for (unsigned int half = 0; half < halves; ++half) {
                                  const KXTileAccess<const Narrow> in = source.ReadTile(column, 2 * row + half);
                                  ConvertRun(local, in.Data(), out.Data() + half * kHalfTilePixels, kHalfTilePixels, 0);
                              }
                          });
    return target;
}

QImage NewQImage(unsigned int width, unsigned int height)
{
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_ARGB32);
    if (width && height && image.isNull())
        throw KXBadAlloc();
    return image;
}

} // namespace

// One colour channel from an ink and black: 1 - ((1 - k') * ink' + k').
// It depends on two bytes only, so it is tabulated once.
const uint8_t* KXCMYKToRGBTable()
{
    static const struct Values {
        uint8_t v[65536];
        Values()
        {
            for (unsigned int k = 0; k < 256; ++k) {
                const double kk = FromByte(k);
                for (unsigned int ink = 0; ink < 256; ++ink)
                    v[k * 256 + ink] = To8(1.0 - ((1.0 - kk) * FromByte(ink) + kk));
            }
        }
    } values;
    return values.v;
}

template <>
KXImageRGBA32i ConvertImage<RGB32iRawImage, KXImageRGBA32i>(const RGB32iRawImage& source)
{
    return KXLog::GuardRethrow(KX_SITE(kLogFile), [&] {
        const unsigned int width = source.width, height = source.height;
        const unsigned int step = source.bytesPerPixel;
        if ((width && height) && (!source.data || step < 3))
            throw std::invalid_argument("ConvertImage: raw image without data or with fewer than 3 bytes per pixel");
        KXImageRGBA32i target(width, height);
        KXTileWalker::ForEach(KXTileWalker::Grid(target), KXTileWalker::Run::Parallel,
                              [&](unsigned int column, unsigned int row) {
                                  const unsigned int y0 = row * 128, rows = std::min(128u, height - y0);
                                  const unsigned int x0 = column * 128, columns = std::min(128u, width - x0);
                                  const KXTileAccess<KXRGBA32i> out = target.WriteTile(column, row);
                                  for (unsigned int i = 0; i < rows; ++i) {
                                      const uint8_t* in = source.data + (size_t(y0 + i) * width + x0) * step;
                                      KXRGBA32i* to = out.Data() + i * 128;
                                      for (unsigned int j = 0; j < columns; ++j, in += step)
                                          to[j] = KXRGBA32i(0xFF000000u | (unsigned(in[0]) << 16)
                                                            | (unsigned(in[1]) << 8) | in[2]);
                                  }
                              });
        return target;
    });
}

template <>
KXImageRGBA32i ConvertImage<QImage, KXImageRGBA32i>(const QImage& source)
{
    return KXLog::GuardRethrow(KX_SITE(kLogFile), [&] {
        // Any image Qt can read enters as 32-bit ARGB in the pixel's byte order.
        const QImage argb = (source.format() == QImage::Format_ARGB32 || source.format() == QImage::Format_RGB32)
                                ? source
                                : source.convertToFormat(QImage::Format_ARGB32);
        if (!source.isNull() && argb.isNull())
            throw KXBadAlloc();
        const unsigned int width = static_cast<unsigned int>(argb.width());
        const unsigned int height = static_cast<unsigned int>(argb.height());
        KXImageRGBA32i target(width, height);
        // Row by row within each tile; a tile wholly inside the image is
        // overwritten without first copying the blank tile it shared.
        KXTileWalker::ForEach(KXTileWalker::Grid(target), KXTileWalker::Run::Parallel,
                              [&](unsigned int column, unsigned int row) {
                                  const unsigned int y0 = row * 128, rows = std::min(128u, height - y0);
                                  const unsigned int x0 = column * 128, columns = std::min(128u, width - x0);
                                  const bool whole = rows == 128 && columns == 128;
                                  const KXTileAccess<KXRGBA32i> out =
                                      whole ? target.OverwriteTile(column, row) : target.WriteTile(column, row);
                                  for (unsigned int i = 0; i < rows; ++i)
                                      KXCopyMemory(out.Data() + i * 128,
                                                   argb.constScanLine(static_cast<int>(y0 + i)) + x0 * 4, columns * 4);
                              });
        return target;
    });
}

template <>
QImage ConvertImage<KXImageRGBA32i, QImage>(const KXImageRGBA32i& source)
{
    return KXLog::GuardRethrow(KX_SITE(kLogFile), [&] {
        QImage target = NewQImage(source.Width(), source.Height());
        // Tasks write disjoint parts of the scan lines, so they reach them
        // from bits() taken once: scanLine() may detach the image.
        uchar* const bits = target.bits();
        const size_t stride = static_cast<size_t>(target.bytesPerLine());
        KXTileWalker::Read(source, KXTileWalker::Grid(source), KXTileWalker::Run::Parallel,
                           [&](const KXRGBA32i* in, unsigned int column, unsigned int row) {
                               const unsigned int y0 = row * 128, rows = std::min(128u, source.Height() - y0);
                               const unsigned int x0 = column * 128, columns = std::min(128u, source.Width() - x0);
                               for (unsigned int i = 0; i < rows; ++i)
                                   KXCopyMemory(bits + (y0 + i) * stride + x0 * 4, in + i * 128, columns * 4);
                           });
        return target;
    });
}

template <>
KXImageRGBA64i ConvertImage<KXImageRGBA32i, KXImageRGBA64i>(const KXImageRGBA32i& source)
{
    return KXLog::GuardRethrow(KX_SITE(kLogFile), [&] { return FromWorking<KXRGBA64i>(source, To64i()); });
}

template <>
KXImageRGBA32i ConvertImage<KXImageRGBA64i, KXImageRGBA32i>(const KXImageRGBA64i& source)
{
    return KXLog::GuardRethrow(KX_SITE(kLogFile), [&] { return ToWorking(source, From64i()); });
}

template <>
KXImageRGBA64f ConvertImage<KXImageRGBA32i, KXImageRGBA64f>(const KXImageRGBA32i& source)
{
    return KXLog::GuardRethrow(KX_SITE(kLogFile), [&] { return FromWorking<KXRGBA64f>(source, ToHalf()); });
}

template <>
KXImageRGBA32i ConvertImage<KXImageRGBA64f, KXImageRGBA32i>(const KXImageRGBA64f& source)
{
    return KXLog::GuardRethrow(KX_SITE(kLogFile), [&] { return ToWorking(source, FromHalf()); });
}

template <>
KXImageCMYKA ConvertImage<KXImageRGBA32i, KXImageCMYKA>(const KXImageRGBA32i& source)
{
    return KXLog::GuardRethrow(KX_SITE(kLogFile), [&] {
        return FromWorking<KXCMYKA>(source, RGBToCMYKRows());
    });
}

template <>
KXImageRGBA32i ConvertImage<KXImageCMYKA, KXImageRGBA32i>(const KXImageCMYKA& source)
{
    return KXLog::GuardRethrow(KX_SITE(kLogFile), [&] { return ToWorking(source, CMYKToRGB()); });
}

template <>
QImage ConvertImage<KXImageCMYKA, QImage>(const KXImageCMYKA& source)
{
    return KXLog::GuardRethrow(KX_SITE(kLogFile), [&] {
        QImage target = NewQImage(source.Width(), source.Height());
        // Tasks write disjoint parts of the scan lines, so they reach them
        // from bits() taken once: scanLine() may detach the image.
        uchar* const bits = target.bits();
        const size_t stride = static_cast<size_t>(target.bytesPerLine());
        const CMYKToRGB rule;
        KXTileWalker::Read(source, KXTileWalker::Grid(source), KXTileWalker::Run::Parallel,
                           [&](const KXCMYKA* in, unsigned int column, unsigned int row) {
                               const unsigned int y0 = row * 64, rows = std::min(64u, source.Height() - y0);
                               const unsigned int x0 = column * 128, columns = std::min(128u, source.Width() - x0);
                               for (unsigned int i = 0; i < rows; ++i) {
                                   const KXCMYKA* from = in + i * 128;
                                   KXRGBA32i* to = reinterpret_cast<KXRGBA32i*>(bits + (y0 + i) * stride) + x0;
                                   for (unsigned int j = 0; j < columns; ++j)
                                       to[j] = rule(from[j]);
                               }
                           });
        return target;
    });
}

template <>
KXImageHSLA ConvertImage<KXImageRGBA32i, KXImageHSLA>(const KXImageRGBA32i& source)
{
    return KXLog::GuardRethrow(KX_SITE(kLogFile), [&] {
        return FromWorking<KXHSLA>(source, RGBToHSLRows());
    });
}

template <>
KXImageRGBA32i ConvertImage<KXImageHSLA, KXImageRGBA32i>(const KXImageHSLA& source)
{
    return KXLog::GuardRethrow(KX_SITE(kLogFile), [&] {
        return ToWorking(source, HSLToRGBRows());
    });
}
