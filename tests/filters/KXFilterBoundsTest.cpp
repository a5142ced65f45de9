// Parameters at the edges of their types: work that would grow with a
// parameter beyond what the picture can show is refused with the entry
// point's line, values within it run as before, and rectangles, offsets
// and amounts anywhere in the int range leave the layer as it was or act
// as their nearest representable neighbours do.

#include "KXBlurFilters.h"
#include "KXBlurOperators.h"
#include "KXDetailFilters.h"
#include "KXEffectFilters.h"
#include "KXFilterKernels.h"
#include "KXFilterRunSupport.h"
#include "KXFilterTestImages.h"
#include "KXRefineSelection.h"
#include "KXShadowFilters.h"
#include "KXTestSupport.h"
#include "core/KXTileFaultInjection.h"

#include <gtest/gtest.h>

#include <QReadWriteLock>

#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

using KXFilterTest::Pixels;
using KXFilterTest::RandomImage;

namespace {

// One filter run on `image` with its work parameter set to `value`.
struct Bounded {
    std::string name;
    std::function<KXImageRGBA32i(const KXImageRGBA32i& image, double value)> run;
    double within;   // runs: the kernel radius is inside max(1024, 2 x side)
    double beyond;   // refused: the radius just passes it
    QString refusal; // the line's end for `beyond`
    bool integral = false; // an int parameter (its line shows the int)
    bool makesNew = false; // gives a picture of its own, empty when refused

    // Whether `out`, the run's result on `in`, is the refusal's.
    bool Refused(const KXImageRGBA32i& out, const KXImageRGBA32i& in) const
    {
        return makesNew ? out.Width() == 0 : Pixels(out) == Pixels(in);
    }
};

// `value` held to the int range (NaN as 0).
int Integer(double value)
{
    return value >= INT_MAX ? INT_MAX : value <= INT_MIN ? INT_MIN : value == value ? int(value) : 0;
}

std::vector<Bounded> BoundedFilters()
{
    static QReadWriteLock lock;
    static bool cancel = false;
    return {
        {"box blur",
         [](const KXImageRGBA32i& image, double value) {
             KXBoxBlurProcessing filter(lock, cancel);
             KXBoxBlurProcessing::BlurData data;
             data.image = image;
             data.radius = Integer(value);
             return filter.run(data);
         },
         1024, 1025, QStringLiteral("Box radius 1025 refused: it must lie in 0 ... 1024"), true},
        {"box blur, runEx",
         [](const KXImageRGBA32i& image, double value) {
             KXBoxBlurProcessing filter(lock, cancel);
             KXBoxBlurProcessing::BlurDataEx data;
             data.image = image;
             data.radius = Integer(value);
             return filter.runEx(data).image;
         },
         1024, 1025, QStringLiteral("Box radius 1025 refused: it must lie in 0 ... 1024"), true},
        // trunc(3 sigma): 341.4 gives 1024, 341.7 gives 1025.
        {"Gaussian blur",
         [](const KXImageRGBA32i& image, double value) {
             KXGaussianBlurProcessing filter(lock, cancel);
             KXGaussianBlurProcessing::BlurData data;
             data.image = image;
             data.sigma = value;
             return filter.run(data);
         },
         341.4, 341.7, QStringLiteral("Gaussian blur sigma 341.7 refused.")},
        {"Gaussian blur, runEx",
         [](const KXImageRGBA32i& image, double value) {
             KXGaussianBlurProcessing filter(lock, cancel);
             KXGaussianBlurProcessing::BlurDataEx data;
             data.image = image;
             data.sigma = value;
             return filter.runEx(data).image;
         },
         341.4, 341.7, QStringLiteral("Gaussian blur sigma 341.7 refused.")},
        {"high pass",
         [](const KXImageRGBA32i& image, double value) {
             QReadWriteLock cacheLock;
             double cachedSigma = std::nan("");
             KXImageRGBA32i cached;
             KXHighPassProcessing filter(lock, cancel, cacheLock, cachedSigma, cached);
             KXHighPassProcessing::HighPassData data;
             data.image = image;
             data.sigma = value;
             return filter.run(data);
         },
         341.4, 341.7, QStringLiteral("High pass sigma 341.7 refused.")},
        {"diffuse glow",
         [](const KXImageRGBA32i& image, double value) {
             KXDiffuseGlowProcessing filter(lock, cancel);
             KXDiffuseGlowProcessing::DiffuseGlowData data;
             data.image = image;
             data.sigma = Integer(value);
             data.threshold = 0;
             return filter.run(data);
         },
         341, 342, QStringLiteral("Diffuse glow sigma 342 refused."), true},
        {"drop shadow",
         [](const KXImageRGBA32i& image, double value) {
             KXDropShadowProcessing filter(lock, cancel);
             KXDropShadowProcessing::DropShadowData data;
             data.image = image;
             data.size = Integer(value);
             return filter.run(data).shadow;
         },
         1024, 1025, QStringLiteral("Shadow size 1025 refused."), true, true},
        {"refine selection",
         [](const KXImageRGBA32i& image, double value) {
             VQRefineSelectionProcessing filter(lock, cancel);
             VQRefineSelectionProcessing::RefineSelectionData data;
             data.image = image;
             data.selectionRect = image.Rect();
             data.radius = value;
             return filter.run(data).image;
         },
         1024.5, 1025, QStringLiteral("Refine selection radius 1025 refused."), false, true},
    };
}

// A radius or sigma whose kernel reaches past max(1024, twice the larger
// side) is refused with the filter's line and leaves the layer; the largest
// value inside still runs (and changes the layer). A 600-pixel side moves
// the bound to 1200.
TEST(KXFilterBounds, KernelsBeyondThePictureAreRefused)
{
    const KXImageRGBA32i small = RandomImage(30, 20, 3);
    for (const Bounded& filter : BoundedFilters()) {
        SCOPED_TRACE(filter.name);
        KXTest::LogCapture log;
        EXPECT_FALSE(filter.Refused(filter.run(small, filter.within), small));
        EXPECT_TRUE(log.Messages().isEmpty()) << log.Messages().join('\n').toStdString();
        EXPECT_TRUE(filter.Refused(filter.run(small, filter.beyond), small));
        ASSERT_EQ(log.Messages().size(), 1);
        EXPECT_TRUE(log.Messages()[0].endsWith(filter.refusal)) << log.Messages()[0].toStdString();
    }
    const KXImageRGBA32i wide = RandomImage(600, 2, 4);
    for (const Bounded& filter : BoundedFilters()) {
        SCOPED_TRACE(filter.name + ", 600 wide");
        KXTest::LogCapture log;
        EXPECT_FALSE(filter.Refused(filter.run(wide, filter.beyond), wide));
        EXPECT_TRUE(log.Messages().isEmpty()) << log.Messages().join('\n').toStdString();
    }
}

// A negative sigma is refused like 0, at every Gaussian entry point.
TEST(KXFilterBounds, NegativeSigmaIsRefused)
{
    const KXImageRGBA32i image = RandomImage(30, 20, 5);
    for (const Bounded& filter : BoundedFilters()) {
        if (filter.refusal.contains(QLatin1String("sigma"))) {
            SCOPED_TRACE(filter.name);
            for (double sigma : {-2.0, -1e10, -std::numeric_limits<double>::infinity()}) {
                KXTest::LogCapture log;
                EXPECT_TRUE(filter.Refused(filter.run(image, sigma), image));
                ASSERT_EQ(log.Messages().size(), 1);
                const QString shown = QString::number(filter.integral ? double(Integer(sigma)) : sigma);
                EXPECT_TRUE(log.Messages()[0].endsWith(QStringLiteral("sigma %1 refused.").arg(shown)))
                    << log.Messages()[0].toStdString();
            }
        }
    }
    // The kernel on its own takes a negative sigma as the smallest kernel.
    EXPECT_EQ(KXGaussian1DPremul(-1e10).Radius(), 1);
}

// Add noise over a selection rectangle far wider than the layer makes noise
// for the part over the layer only (the cache holds that part), and the
// layer still gets noise; a rectangle within twice the layer keeps its size.
TEST(KXFilterBounds, NoiseOfAFarRectangleIsCutToTheLayer)
{
    QReadWriteLock lock, cacheLock;
    bool cancel = false;
    KXImageRGBA32i uniform, gaussian;
    KXAddNoiseProcessing filter(lock, cancel, cacheLock, uniform, gaussian);
    KXAddNoiseProcessing::AddNoiseData data;
    data.image = KXImageRGBA32i(64, 64);
    data.image.Fill(KXRGBA32i(0xFF808080));
    data.selection = KXImageRGBA32i(64, 64);
    data.selection.Fill(KXRGBA32i(0xFF000000));
    data.amount = 100;
    data.selectionRect = QRect(0, 0, 5000, 5000);
    data.offset = QPoint(-10, -20);
    const KXImageRGBA32i out = filter.run(data);
    EXPECT_EQ(uniform.Width(), 64u);
    EXPECT_EQ(uniform.Height(), 64u);
    EXPECT_NE(Pixels(out), Pixels(data.image));

    data.selectionRect = QRect(0, 0, 100, 90);
    filter.run(data);
    EXPECT_EQ(uniform.Width(), 100u);
    EXPECT_EQ(uniform.Height(), 90u);
}

// Rectangles and offsets at the ends of the int range: the area lies beyond
// the layer (or the sums would leave the int range), so nothing changes.
// A 40 x 30 layer, wholly selected, with the locks and flag a run needs.
struct KXFilterBoundsLayer : testing::Test {
    QReadWriteLock lock, cacheLock;
    bool cancel = false;
    const KXImageRGBA32i image = RandomImage(40, 30, 6);
    KXImageRGBA32i selection{40, 30};
    KXFilterBoundsLayer() { selection.Fill(KXRGBA32i(0xFF000000)); }
};

TEST_F(KXFilterBoundsLayer, AreasBeyondTheIntRangeLeaveTheLayer)
{
    struct Area {
        QRect rect;
        QPoint offset;
    };
    for (const Area& a : {Area{QRect(INT_MAX - 10, INT_MAX - 10, 5, 5), QPoint(100, 100)},
                          Area{QRect(INT_MIN, INT_MIN, 5, 5), QPoint(-100, -100)},
                          Area{QRect(0, 0, 10, 10), QPoint(INT_MAX, INT_MIN)}}) {
        SCOPED_TRACE(testing::Message() << a.rect.x() << "," << a.rect.y() << " + " << a.offset.x());
        double cachedSigma = std::nan("");
        KXImageRGBA32i cached, uniform, gaussian;
        KXHighPassProcessing highPass(lock, cancel, cacheLock, cachedSigma, cached);
        KXHighPassProcessing::HighPassData h;
        h.image = image;
        h.selection = selection;
        h.selectionRect = a.rect;
        h.offset = a.offset;
        EXPECT_EQ(Pixels(highPass.run(h)), Pixels(image));
        KXAddNoiseProcessing noise(lock, cancel, cacheLock, uniform, gaussian);
        KXAddNoiseProcessing::AddNoiseData n;
        n.image = image;
        n.selection = selection;
        n.selectionRect = a.rect;
        n.offset = a.offset;
        EXPECT_EQ(Pixels(noise.run(n)), Pixels(image));
    }
}

// Areas beside the layer, within a filter's reach of it: nothing changes,
// and the range counts only the horizontal stage's rows of the grown area
// that reach the layer (no columns, no merge; a pass over the empty part
// would count the whole layer). Layer 40 x 30, area x 43 … 46 (41 … 44),
// y 5 … 14: the box (r 5) and the high pass (sigma 2 grows by 2) reach
// columns 38 … 39 (39) in rows 0 … 19 (3 … 16): 20 (14) rows; the Gaussian
// (sigma 1, m 3) grows x 41 … 44 to 38 … 47 in rows 2 … 17: 16 rows. The
// high pass adds its two cache steps.
namespace {

// Runs `filter` over `data` with `image`, `selection` and the area `area`:
// the layer must come back unchanged. Returns the end of the range the run
// announced (0 if it announced none: (0, 0) is no change).
template <class Filter, class Data>
int RangeEnd(Filter&& filter, Data data, const KXImageRGBA32i& image, const KXImageRGBA32i& selection,
             const QRect& area)
{
    KXFilterTest::Progress progress(filter);
    data.image = image;
    data.selection = selection;
    data.selectionRect = area;
    EXPECT_EQ(Pixels(filter.run(data)), Pixels(image));
    return progress.ranges.empty() ? 0 : progress.ranges.back().second;
}

} // namespace

TEST_F(KXFilterBoundsLayer, AreasBesideTheLayerCountOnlyTheRowsThatReachIt)
{
    const QRect beside(43, 5, 4, 10), nearer(41, 5, 4, 10), far(100, 100, 5, 5);
    KXBoxBlurProcessing::BlurData box;
    box.radius = 5;
    KXGaussianBlurProcessing::BlurData gaussian;
    gaussian.sigma = 1.0;
    KXHighPassProcessing::HighPassData highPass;
    highPass.sigma = 2.0;
    double cachedSigma = std::nan("");
    KXImageRGBA32i cached;
    EXPECT_EQ(RangeEnd(KXBoxBlurProcessing(lock, cancel), box, image, selection, beside), 20);
    EXPECT_EQ(RangeEnd(KXBoxBlurProcessing(lock, cancel), box, image, selection, far), 0);
    EXPECT_EQ(RangeEnd(KXGaussianBlurProcessing(lock, cancel), gaussian, image, selection, nearer), 16);
    EXPECT_EQ(RangeEnd(KXGaussianBlurProcessing(lock, cancel), gaussian, image, selection, far), 0);
    EXPECT_EQ(RangeEnd(KXHighPassProcessing(lock, cancel, cacheLock, cachedSigma, cached), highPass, image,
                       selection, nearer),
              16);
}

// (100 - amount) is worked in double: INT_MIN tints as its neighbour
// INT_MIN + 101 (whose 100 - amount is INT_MAX) does.
TEST(KXFilterBounds, VignetteAmountAtIntMin)
{
    QReadWriteLock lock;
    bool cancel = false;
    KXVignetteProcessing filter(lock, cancel);
    KXVignetteProcessing::VignetteData data;
    data.image = RandomImage(40, 30, 7, false);
    data.reach = 3;
    data.colour = QColor(10, 200, 30);
    data.amount = INT_MIN;
    const KXImageRGBA32i lowest = filter.run(data);
    data.amount = INT_MIN + 101;
    EXPECT_EQ(Pixels(lowest), Pixels(filter.run(data)));
    EXPECT_NE(Pixels(lowest), Pixels(data.image));
}

// Every request of the in-place convolutions may fail: a run that throws
// leaves the image's pixels as they were.
TEST(KXFilterBounds, ConvolutionsThatThrowLeaveTheImage)
{
    const double kernel[9] = {0.1, 0.2, 0.1, 0.0, 0.2, 0.0, 0.1, 0.2, 0.1};
    const KXImageRGBA32i input = RandomImage(300, 200, 8);
    const std::vector<KXRGBA32i> before = Pixels(input);
    const std::function<void(KXImageRGBA32i&)> operators[] = {
        [&](KXImageRGBA32i& image) { KXImageConvolution(kernel, QSize(3, 3))(image); },
        [&](KXImageRGBA32i& image) { KXImageConvoluteAlpha(kernel, QSize(3, 3))(image); },
    };
    for (const auto& convolve : operators) {
        int failures = 0;
        for (long long n = 0;; ++n) {
            KXImageRGBA32i image = input;
            KXTileFaultInjection::FailRequest(n);
            try {
                convolve(image);
            } catch (const std::bad_alloc&) {
            }
            const bool fired = KXTileFaultInjection::Fired();
            KXTileFaultInjection::Disarm();
            if (!fired)
                break;
            ++failures;
            ASSERT_EQ(Pixels(image), before) << "request " << n;
        }
        EXPECT_GT(failures, 1);
    }
}

} // namespace
