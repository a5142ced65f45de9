// Layer blending on 6000 x 4000 images, next to QPainter::drawImage doing the
// same job in the same run: a half-transparent layer (alpha 128) over an
// opaque base and over a half-transparent base.
//
// Every iteration blends onto the same destination, whose tiles (or QImage
// bytes) are private; between iterations, untimed, the base's pixels are
// copied back so that each iteration starts from the same pixels.
//
// Compare BM_BlendOn/0/base with BM_QPainterDrawImage/premultiplied/0/base
// (Qt's fastest case) and with BM_QPainterDrawImage/argb32/0/base (the same
// non-premultiplied pixel format as the library's).

#include "KXBenchSupport.h"
#include "KXBlendModes.h"
#include "KXImageConversion.h"

#include <benchmark/benchmark.h>

#include <QPainter>

#include <cstring>
#include <random>
#include <vector>

namespace {

using namespace KXBench;

enum Base { kOpaqueBase = 0, kHalfBase = 1 };

// Smooth gradients with noise, as in a photo, at one alpha.
QImage Photo(int alpha, unsigned int seed)
{
    QImage image(kWidth, kHeight, QImage::Format_ARGB32);
    std::mt19937 random(seed);
    for (int y = 0; y < kHeight; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            const int noise = static_cast<int>(random() & 15);
            row[x] = qRgba((x * 255 / kWidth + noise) & 255, (y * 255 / kHeight + noise * int(seed)) & 255,
                           ((x + y) / 40 + noise) & 255, alpha);
        }
    }
    return image;
}

const QImage& Layer()
{
    static const QImage layer = Photo(128, 1);
    return layer;
}

const QImage& BaseImage(int base)
{
    static const QImage opaque = Photo(255, 2);
    static const QImage half = Photo(128, 2);
    return base == kOpaqueBase ? opaque : half;
}

const char* BaseName(int base)
{
    return base == kOpaqueBase ? "over opaque" : "over half-transparent";
}

// The memory floor of a blend over tiles: as many bytes as the tiles of the
// destination and of the layer hold (margins included), read, one XOR per
// pixel, and written, in one plain pass.
void BM_TileReadWriteBaseline(benchmark::State& state)
{
    const size_t pixels = size_t(kTiles) * KXImageRGBA32i::kTilePixels;
    std::vector<uint32_t> from(pixels, 1u), to(pixels, 2u);
    for (auto _ : state) {
        for (size_t i = 0; i < to.size(); ++i)
            to[i] ^= from[i];
        benchmark::ClobberMemory();
    }
    SetPixels(state);
}
BENCHMARK(BM_TileReadWriteBaseline)->Unit(benchmark::kMillisecond);

// The same pass over two contiguous buffers of the same size.
void BM_FlatReadWriteBaseline(benchmark::State& state)
{
    std::vector<uint32_t> from(size_t(kWidth) * kHeight, 1u), to(from.size(), 2u);
    for (auto _ : state) {
        for (size_t i = 0; i < to.size(); ++i)
            to[i] ^= from[i];
        benchmark::ClobberMemory();
    }
    SetPixels(state);
}
BENCHMARK(BM_FlatReadWriteBaseline)->Unit(benchmark::kMillisecond);

// Args: blend mode, base.
void BM_BlendOn(benchmark::State& state)
{
    const unsigned int mode = static_cast<unsigned int>(state.range(0));
    const int base = static_cast<int>(state.range(1));
    KXParkedBlocks parked(3 * kTiles + 64);
    const KXImageRGBA32i layer = ConvertImage<QImage, KXImageRGBA32i>(Layer());
    const KXImageRGBA32i original = ConvertImage<QImage, KXImageRGBA32i>(BaseImage(base));
    KXImageRGBA32i dst = ConvertImage<QImage, KXImageRGBA32i>(BaseImage(base));
    for (auto _ : state) {
        BlendOn(layer, layer.Rect(), mode, dst, dst.Rect(), 1.0, false);
        state.PauseTiming();
        Restore(dst, original);
        state.ResumeTiming();
    }
    SetPixels(state);
    state.SetLabel(std::string(BlendModeName(mode)) + " " + BaseName(base));
}
BENCHMARK(BM_BlendOn)
    ->ArgNames({"mode", "base"})
    ->ArgsProduct({{0, 13, 14, 21, 90}, {kOpaqueBase, kHalfBase}})
    ->Unit(benchmark::kMillisecond);

// Mode 0 through a mask whose alpha runs from 0 on the left to 255 on the
// right.
void BM_BlendMaskOn(benchmark::State& state)
{
    const int base = static_cast<int>(state.range(0));
    KXParkedBlocks parked(4 * kTiles + 64);
    const KXImageRGBA32i layer = ConvertImage<QImage, KXImageRGBA32i>(Layer());
    const KXImageRGBA32i original = ConvertImage<QImage, KXImageRGBA32i>(BaseImage(base));
    KXImageRGBA32i dst = ConvertImage<QImage, KXImageRGBA32i>(BaseImage(base));
    QImage ramp(kWidth, kHeight, QImage::Format_ARGB32);
    for (int y = 0; y < kHeight; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(ramp.scanLine(y));
        for (int x = 0; x < kWidth; ++x)
            row[x] = qRgba(0, 0, 0, x * 256 / kWidth);
    }
    const KXImageRGBA32i mask = ConvertImage<QImage, KXImageRGBA32i>(ramp);
    ramp = QImage();
    for (auto _ : state) {
        BlendMaskOn(layer, layer.Rect(), 0, dst, dst.Rect(), 1.0, mask, mask.Rect(), false, false);
        state.PauseTiming();
        Restore(dst, original);
        state.ResumeTiming();
    }
    SetPixels(state);
    state.SetLabel(std::string("Normal masked ") + BaseName(base));
}
BENCHMARK(BM_BlendMaskOn)->ArgNames({"base"})->Arg(kOpaqueBase)->Arg(kHalfBase)->Unit(benchmark::kMillisecond);

// Args: premultiplied (1) or not (0), QPainter::CompositionMode, base.
void BM_QPainterDrawImage(benchmark::State& state)
{
    const bool premultiplied = state.range(0) != 0;
    const auto mode = static_cast<QPainter::CompositionMode>(state.range(1));
    const int base = static_cast<int>(state.range(2));
    const QImage::Format format = premultiplied ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32;
    const QImage layer = Layer().convertToFormat(format);
    const QImage original = BaseImage(base).convertToFormat(format);
    QImage dst = original.copy();
    for (auto _ : state) {
        QPainter painter(&dst);
        painter.setCompositionMode(mode);
        painter.drawImage(0, 0, layer);
        painter.end();
        state.PauseTiming();
        std::memcpy(dst.bits(), original.constBits(), static_cast<size_t>(dst.sizeInBytes()));
        state.ResumeTiming();
    }
    SetPixels(state);
    const char* modeName = mode == QPainter::CompositionMode_SourceOver ? "SourceOver"
                           : mode == QPainter::CompositionMode_Multiply ? "Multiply"
                                                                         : "Screen";
    state.SetLabel(std::string(premultiplied ? "ARGB32_Premultiplied " : "ARGB32 ") + modeName + " " +
                   BaseName(base));
}
BENCHMARK(BM_QPainterDrawImage)
    ->ArgNames({"premultiplied", "mode", "base"})
    ->ArgsProduct({{1, 0},
                   {QPainter::CompositionMode_SourceOver, QPainter::CompositionMode_Multiply,
                    QPainter::CompositionMode_Screen},
                   {kOpaqueBase, kHalfBase}})
    ->Unit(benchmark::kMillisecond);

} // namespace
