#include "KXEffectFilters.h"

#include "KXBlend.h"
#include "KXBlendModes.h"
#include "KXFilterKernels.h"
#include "KXFilterPasses.h"
#include "core/KXLogMacros.h"
#include "core/KXTileWalker.h"
#include "filters/KXEffectFilterRun.h"
#include "filters/KXFilterStages.h"
#include "filters/KXRunProtocol.h"

#include <QReadLocker>
#include <QWriteLocker>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>
#include <new>
#include <random>
#include <utility>

namespace {

constexpr const char* kLogFile = "src/KXFilterProcessing";
using KXGeometry::Box;
using Image = KXImageRGBA32i;

// The selection's rectangle in layer coordinates (the selection image moved
// by the offset).
Box SelectionBox(const KXFilterData& data)
{
    return Box::Of(data.selection.Rect()).Moved(data.offset);
}

// Each colour channel c := colour.c (1 - t) + c t + 0.5, at most 255.5 (and
// at least 0, which t in 0 … 1 never goes below), truncated.
void Tint(KXRGBA32i& p, double t, const KXRGBA32i& colour)
{
    const auto mix = [t](uint8_t c, uint8_t towards) {
        const double v = std::min(towards * (1 - t) + c * t + 0.5, 255.5);
        return static_cast<uint8_t>(v < 0 ? 0 : static_cast<int>(v));
    };
    p.r = mix(p.r, colour.r);
    p.g = mix(p.g, colour.g);
    p.b = mix(p.b, colour.b);
}

// The vignette's tile stage: whole-image case in place, area case on a copy
// merged through the selection. A tile whose corners all lie well inside
// the ellipse ((dx/a)² + (dy/b)² at most 0.99, a convex set, so every pixel
// between them has a distance far below 0) changes nothing and is left
// shared.
template <class Rule>
Image Vignette(KXAdjustmentProcessing& filter, QReadWriteLock& lock, const bool& flag,
               const KXVignetteProcessing::VignetteData& data, const Rule& rule, double a, double b)
{
    Image image = data.image;
    const auto needed = [a, b](const QRect& part) {
        for (const QPoint& p : {part.topLeft(), part.topRight(), part.bottomLeft(), part.bottomRight()}) {
            const double u = (p.x() - a) / a, v = (p.y() - b) / b;
            if (u * u + v * v > 0.99)
                return true;
        }
        return false;
    };
    if (!data.selectionRect.isValid()) {
        KXRunProtocol::Run run(filter, lock, flag, KXFilterStages::TileCount(image, image.Rect()),
                               KXLineRunner::Scheme::ConcurrentLines);
        KXFilterStages::RunTiles(run.Runner(), image, image.Rect(), rule, needed);
        return image;
    }
    const Box area = Box::Of(data.selectionRect).Moved(data.offset) & Box::Of(image.Rect());
    const Box merged = area & SelectionBox(data);
    Image tinted = image;
    KXRunProtocol::Run run(filter, lock, flag, KXFilterStages::TileCount(image, area.ToRect()) + int(merged.Height()),
                           KXLineRunner::Scheme::ConcurrentLines);
    KXFilterStages::RunTiles(run.Runner(), tinted, area.ToRect(), rule, needed);
    if (!merged.IsEmpty())
        KXRunProtocol::MergeBySelection(run.Runner(), tinted, image, data.selection, merged.ToRect(), data.offset);
    return image;
}

// Noise pixels, channels drawn in the order byte 2, 1, 0, 3.
struct UniformNoise {
    std::mt19937 engine;
    std::uniform_int_distribution<int> r{0, 255}, g{0, 255}, b{0, 255}, a{0, 255};

    void operator()(KXRGBA32i& p)
    {
        p.r = static_cast<uint8_t>(r(engine));
        p.g = static_cast<uint8_t>(g(engine));
        p.b = static_cast<uint8_t>(b(engine));
        p.a = static_cast<uint8_t>(a(engine));
    }
};

struct GaussianNoise {
    std::mt19937 engine;
    std::normal_distribution<double> r{255.0, 255.0}, g{255.0, 255.0}, b{255.0, 255.0}, a{255.0, 255.0};

    static uint8_t Byte(double v) { return static_cast<uint8_t>(std::min(255.0, std::max(0.0, std::trunc(v)))); }
    void operator()(KXRGBA32i& p)
    {
        p.r = Byte(r(engine));
        p.g = Byte(g(engine));
        p.b = Byte(b(engine));
        p.a = Byte(a(engine));
    }
};

// Fills every pixel of `noise`, margins included, a tile a step (rows of
// tiles top to bottom, left to right; inside a tile row by row) from a copy
// of `draw`.
template <class Draw>
void DrawNoise(KXLineRunner& runner, Image& noise, Draw draw)
{
    const QRect tiles = KXTileWalker::Grid(noise);
    runner.RunRows(tiles.isEmpty() ? 0 : tiles.width() * tiles.height(), [&](int step) {
        const QRect tile(step % tiles.width(), step / tiles.width(), 1, 1);
        KXTileWalker::Write(noise, tile, KXTileWalker::Run::Serial,
                            [&](KXRGBA32i* out, const KXRGBA32i*, unsigned int, unsigned int) {
                                for (unsigned int i = 0; i < Image::kTilePixels; ++i)
                                    draw(out[i]);
                            });
    });
}

// The glow (or noise) `source`, placed at `sourceAt`, over (or behind) the
// layer: through the selection in the area case.
template <class Plain, class BySelection>
void Merge(KXLineRunner& runner, const Image& source, const QPoint& sourceAt, Image& image, const KXFilterData& data,
           const Box& rows, unsigned int opacity)
{
    if (rows.IsEmpty())
        return;
    if (data.selectionRect.isValid())
        KXFilterStages::MergeRows<true>(runner, source, sourceAt, image, &data.selection, data.offset, rows.ToRect(),
                                  BySelection(opacity));
    else
        KXFilterStages::MergeRows<false>(runner, source, sourceAt, image, nullptr, QPoint(), rows.ToRect(), Plain(opacity));
}

unsigned int Opacity(int percent)
{
    return static_cast<unsigned int>(std::min<int64_t>(256, std::max<int64_t>(0, int64_t(percent) * 256 / 100)));
}

} // namespace

// ---- Vignette ----

double KXVignetteProcessing::Distance(double a, double b, double x, double y)
{
    const double dx = std::fabs(x - a), dy = std::fabs(y - b);
    if (dx == 0)
        return dy - b;
    if (dy == 0)
        return dx - a;
    const double q = (b * b * a * a) / (dy * dy * a * a / (dx * dx) + b * b);
    return std::sqrt(dx * dx + dy * dy) - std::sqrt(std::fabs(1 - q / (a * a)) * b * b + q);
}

KXVignetteProcessing::Linear::Linear(double a, double b, double s, int reach, const KXRGBA32i& colour)
    : m_a(a), m_b(b), m_k((s - 1.0) / reach), m_colour(colour)
{
}

void KXVignetteProcessing::Linear::operator()(int x, int y, KXRGBA32i& p) const
{
    const double d = Distance(m_a, m_b, x, y);
    if (d <= 0)
        return;
    Tint(p, std::max(0.0, 1 + m_k * d), m_colour);
}

KXVignetteProcessing::Parabolic::Parabolic(double a, double b, double s, int reach, const KXRGBA32i& colour)
    : m_a(a), m_b(b), m_k((s - 1.0) / (double(reach) * reach)), m_colour(colour)
{
}

void KXVignetteProcessing::Parabolic::operator()(int x, int y, KXRGBA32i& p) const
{
    const double d = Distance(m_a, m_b, x, y);
    if (d <= 0)
        return;
    Tint(p, std::max(0.0, 1 + m_k * d * d), m_colour);
}

std::vector<double> KXVignetteProcessing::DistancePointEllipseSpecial(double a, double b, double x, double y)
{
    if (y > 0) {
        if (x > 0) {
            const double z0 = x / a, z1 = y / b;
            double g = z0 * z0 + z1 * z1 - 1;
            if (g == 0)
                return {0.0, x, y};
            // The root s of (r0 z0 / (s + r0))² + (z1 / (s + 1))² = 1 by
            // bisection between z1 - 1 and |(r0 z0, z1)| - 1 (or 0 inside).
            const double r0 = (a / b) * (a / b), n0 = r0 * z0;
            double s0 = z1 - 1, s1 = g < 0 ? 0 : std::hypot(n0, z1) - 1, s = 0;
            for (int i = 0; i < 256; ++i) {
                s = (s0 + s1) / 2;
                if (s == s0 || s == s1)
                    break;
                const double ratio0 = n0 / (s + r0), ratio1 = z1 / (s + 1);
                g = ratio0 * ratio0 + ratio1 * ratio1 - 1;
                if (g > 0)
                    s0 = s;
                else if (g < 0)
                    s1 = s;
                else
                    break;
            }
            const double nx = r0 * x / (s + r0), ny = y / (s + 1);
            return {std::hypot(nx - x, ny - y), nx, ny};
        }
        return {std::fabs(y - b), 0.0, b};
    }
    // On the long axis: inside the evolute's reach the nearest point leaves
    // the axis.
    const double numerator = a * x, denominator = a * a - b * b;
    if (numerator < denominator) {
        const double xa = numerator / denominator;
        const double nx = a * xa, ny = b * std::sqrt(1 - xa * xa);
        return {std::hypot(nx - x, ny), nx, ny};
    }
    return {std::fabs(x - a), a, 0.0};
}

std::vector<double> KXVignetteProcessing::DistancePointEllipse(double a, double b, double x, double y)
{
    if (!(a > 0 && b > 0 && std::isfinite(a) && std::isfinite(b) && std::isfinite(x) && std::isfinite(y))) {
        KX_LOG_REPORT(kLogFile, QStringLiteral("Ellipse distance of (%1, %2) to semi-axes %3, %4 refused.")
                                    .arg(x)
                                    .arg(y)
                                    .arg(a)
                                    .arg(b));
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return {nan, nan, nan};
    }
    const bool swapped = a < b;
    if (swapped) {
        std::swap(a, b);
        std::swap(x, y);
    }
    std::vector<double> r = DistancePointEllipseSpecial(a, b, std::fabs(x), std::fabs(y));
    r[1] = std::copysign(r[1], x);
    r[2] = std::copysign(r[2], y);
    if (swapped)
        std::swap(r[1], r[2]);
    return r;
}

KXVignetteProcessing::KXVignetteProcessing(QReadWriteLock& cancelLock, bool& cancelFlag)
    : m_cancelLock(cancelLock), m_cancelFlag(cancelFlag)
{
}

KXVignetteProcessing::~KXVignetteProcessing() = default;

KXImageRGBA32i KXVignetteProcessing::run(VignetteData data)
{
    if (data.reach < 1) {
        KX_LOG_REPORT(kLogFile, QStringLiteral("Vignette reach %1 refused.").arg(data.reach));
        return data.image;
    }
    const double a = data.image.Width() * 0.5, b = data.image.Height() * 0.5;
    const double s = (100.0 - data.amount) / 100.0; // in double: amount may be INT_MIN
    const KXRGBA32i colour(data.colour.rgba());
    if (data.curve == 0)
        return Vignette(*this, m_cancelLock, m_cancelFlag, data, Linear(a, b, s, data.reach, colour), a, b);
    return Vignette(*this, m_cancelLock, m_cancelFlag, data, Parabolic(a, b, s, data.reach, colour), a, b);
}

// ---- Add noise ----

namespace KXEffectFilterRun {

// The noise region in layer coordinates: the layer, or the selection
// rectangle moved by the offset. A rectangle wider or taller than twice the
// layer (and than 1024) is cut to the layer: the noise beyond it is never
// shown, and its pixels do not depend on where they lie.
Box NoiseRegion(const KXAddNoiseProcessing::AddNoiseData& data, const Box& bounds)
{
    if (!data.selectionRect.isValid())
        return bounds;
    const Box region = Box::Of(data.selectionRect).Moved(data.offset);
    const double bound = KXFilterStages::MaxRadiusFor(data.image);
    if (double(region.Width()) <= bound && double(region.Height()) <= bound)
        return region;
    const Box shown = region & bounds;
    return shown.IsEmpty() ? Box{0, 0, 0, 0} : shown;
}

KXImageRGBA32i AddNoise(KXAdjustmentProcessing& filter, const NoiseShared& shared,
                        const KXAddNoiseProcessing::AddNoiseData& data, uint32_t seed)
{
    Image image = data.image;
    const bool area = data.selectionRect.isValid();
    const Box bounds = Box::Of(image.Rect());
    const Box region = NoiseRegion(data, bounds);
    const QSize size(int(region.Width()), int(region.Height()));
    const bool uniform = data.distribution == 0;
    Image& cache = uniform ? shared.uniformNoise : shared.gaussianNoise;
    Image noise;
    bool reuse;
    {
        QReadLocker locker(&shared.cacheLock);
        reuse = int64_t(cache.Width()) == size.width() && int64_t(cache.Height()) == size.height();
        if (reuse)
            noise = cache;
    }
    if (!reuse) {
        try {
            noise = Image(static_cast<unsigned int>(size.width()), static_cast<unsigned int>(size.height()));
        } catch (const std::bad_alloc&) {
            KX_LOG_REPORT(kLogFile,
                          QStringLiteral("Noise of %1 x %2 refused.").arg(size.width()).arg(size.height()));
            return image;
        }
    }
    // Where the region does not fit an int it lies beyond the layer: no
    // rows are merged and `at` is not used.
    const QPoint at = area ? QPoint(KXFilterStages::HeldToInt(region.left), KXFilterStages::HeldToInt(region.top))
                           : QPoint();
    const Box rows = area ? region & bounds & SelectionBox(data) : bounds;
    const int tiles = reuse ? 0 : KXFilterStages::TileCount(noise, noise.Rect());
    KXRunProtocol::Run run(filter, shared.cancelLock, shared.cancelFlag, tiles + int(rows.Height()),
                           KXLineRunner::Scheme::ConcurrentLines);
    if (!reuse) {
        std::mt19937 engine(seed);
        if (uniform)
            DrawNoise(run.Runner(), noise, UniformNoise{engine});
        else
            DrawNoise(run.Runner(), noise, GaussianNoise{engine});
        if (!run.Runner().Cancelled()) {
            QWriteLocker locker(&shared.cacheLock);
            cache = noise;
        }
    }
    const unsigned int opacity = Opacity(data.amount);
    if (data.flag)
        Merge<KXBlend::KXSourceOver<1>, KXBlend::KXSourceOverBySelection<1>>(run.Runner(), noise, at, image, data,
                                                                            rows, opacity);
    else
        Merge<KXBlend::KXSourceOver<0>, KXBlend::KXSourceOverBySelection<0>>(run.Runner(), noise, at, image, data,
                                                                            rows, opacity);
    return image;
}

} // namespace KXEffectFilterRun

KXAddNoiseProcessing::KXAddNoiseProcessing(QReadWriteLock& cancelLock, bool& cancelFlag, QReadWriteLock& cacheLock,
                                           KXImageRGBA32i& uniformNoise, KXImageRGBA32i& gaussianNoise)
    : m_cancelLock(cancelLock),
      m_cancelFlag(cancelFlag),
      m_cacheLock(cacheLock),
      m_uniformNoise(uniformNoise),
      m_gaussianNoise(gaussianNoise)
{
}

KXAddNoiseProcessing::~KXAddNoiseProcessing() = default;

KXImageRGBA32i KXAddNoiseProcessing::run(AddNoiseData data)
{
    const KXEffectFilterRun::NoiseShared shared{m_cancelLock, m_cancelFlag, m_cacheLock, m_uniformNoise,
                                                m_gaussianNoise};
    return KXEffectFilterRun::AddNoise(*this, shared, data, static_cast<uint32_t>(std::time(nullptr)));
}

// ---- Diffuse glow ----

KXDiffuseGlowProcessing::KXDiffuseGlowProcessing(QReadWriteLock& cancelLock, bool& cancelFlag)
    : m_cancelLock(cancelLock), m_cancelFlag(cancelFlag)
{
}

KXDiffuseGlowProcessing::~KXDiffuseGlowProcessing() = default;

KXImageRGBA32i KXDiffuseGlowProcessing::run(DiffuseGlowData data)
{
    Image image = data.image;
    if (!KXFilterStages::AcceptsSigma(data.sigma, image, kLogFile, "Diffuse glow"))
        return image;
    const bool area = data.selectionRect.isValid();
    const Box bounds = Box::Of(image.Rect());
    const Box part = area ? Box::Of(data.selectionRect).Moved(data.offset) & bounds : bounds;
    // The glow: the layer, or its part in the area.
    Image glow;
    if (!area) {
        glow = image;
    } else if (!part.IsEmpty()) {
        const QRect rect = part.ToRect();
        glow = Image(static_cast<unsigned int>(rect.width()), static_cast<unsigned int>(rect.height()));
        BlendOn(image, rect, KXBlendMode::Source, glow, glow.Rect(), 1.0, false);
    }
    const Box rows = area ? part & SelectionBox(data) : bounds;
    const KXGaussianAlpha1D kernel(data.sigma);
    const QRect whole = glow.Rect();
    KXKernelPass<KXGaussianAlpha1D> rows1(glow, whole, kernel, KXPassDirection::Horizontal);
    KXKernelPass<KXGaussianAlpha1D> columns1(glow, whole, kernel, KXPassDirection::Vertical);
    KXKernelPass<KXGaussianAlpha1D> rows2(glow, whole, kernel, KXPassDirection::Horizontal);
    KXKernelPass<KXGaussianAlpha1D> columns2(glow, whole, kernel, KXPassDirection::Vertical);
    const int tiles = KXFilterStages::TileCount(glow, whole);
    KXRunProtocol::Run run(*this, m_cancelLock, m_cancelFlag,
                           2 * tiles + 2 * (rows1.Lines() + columns1.Lines()) + int(rows.Height()),
                           KXLineRunner::Scheme::ConcurrentLines);
    KXLineRunner& runner = run.Runner();
    // The glow image is seen only through the merge.
    constexpr auto Unseen = KXLineRunner::Image::Unseen;
    const KXColorizeThreshold colorize(data.threshold, KXRGBA32i(data.colour.rgba()));
    KXFilterStages::RunTiles(runner, glow, whole, [&colorize](int, int, KXRGBA32i& p) { colorize(p); });
    runner.Run(rows1, Unseen);
    runner.Run(columns1, Unseen);
    const KXAlphaThreshold threshold(data.threshold);
    KXFilterStages::RunTiles(runner, glow, whole, [&threshold](int, int, KXRGBA32i& p) { threshold(p); });
    runner.Run(rows2, Unseen);
    runner.Run(columns2, Unseen);
    const QPoint at = area ? QPoint(int(part.left), int(part.top)) : QPoint();
    const unsigned int opacity = Opacity(data.opacity);
    if (data.placement == 0)
        Merge<KXBlend::KXSourceOver<1>, KXBlend::KXSourceOverBySelection<1>>(runner, glow, at, image, data, rows,
                                                                            opacity);
    else
        Merge<KXBlend::KXDestinationOver<0>, KXBlend::KXDestinationOverBySelection<0>>(runner, glow, at, image,
                                                                                      data, rows, opacity);
    return image;
}
