// Every path that spreads its work over Qt's pool — the box passes, the
// Gaussian bands, the 3-tap area merge, the geometry samplers and the view
// scaler, inpainting and text — run on a pool of two threads gives the
// pixels of the same run on one. The thread-sanitizer leg runs these on
// small pictures and must see no report.

#include "KXBlurFilters.h"
#include "KXDetailFilters.h"
#include "KXFilterTestImages.h"
#include "KXInpaint.h"
#include "KXScaleImage.h"
#include "KXTextHelper.h"
#include "KXTransformImage.h"

#include <QFont>
#include <QReadWriteLock>
#include <QThreadPool>
#include <QTransform>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using KXFilterTest::Pixels;
using KXFilterTest::RandomImage;

namespace {

using Image = KXImageRGBA32i;

struct ParallelPath {
    std::string name;
    std::function<std::vector<KXRGBA32i>()> run; // the pixels it gives
};

// The pictures the paths work on, made per test (a block held past the
// test would count as lost).
struct Pictures {
    Image layer = RandomImage(300, 200, 11);
    Image selection = RandomImage(150, 110, 12);
};
const Pictures* gPictures = nullptr;

const Image& Layer()
{
    return gPictures->layer;
}

const Image& Selection()
{
    return gPictures->selection;
}

template <class Processing, class Data>
Image RunFilter(const Data& data)
{
    QReadWriteLock lock;
    bool cancel = false;
    Processing filter(lock, cancel);
    return filter.run(data);
}

template <class Data>
Data Fields(bool area)
{
    Data data;
    data.image = Layer();
    if (area) {
        data.selection = Selection();
        data.selectionRect = Selection().Rect();
        data.offset = QPoint(90, 50); // across the tile borders at 128
    }
    return data;
}

std::vector<KXRGBA32i> QImagePixels(const QImage& image)
{
    std::vector<KXRGBA32i> out;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            out.push_back(KXRGBA32i(image.pixel(x, y)));
    return out;
}

std::vector<ParallelPath> Paths()
{
    return {
        {"box passes, whole", [] {
             auto d = Fields<KXBoxBlurProcessing::BlurData>(false);
             d.radius = 5;
             return Pixels(RunFilter<KXBoxBlurProcessing>(d));
         }},
        {"box passes, area", [] {
             auto d = Fields<KXBoxBlurProcessing::BlurData>(true);
             d.radius = 3;
             return Pixels(RunFilter<KXBoxBlurProcessing>(d));
         }},
        {"Gaussian bands, whole", [] {
             auto d = Fields<KXGaussianBlurProcessing::BlurData>(false);
             d.sigma = 2.5;
             return Pixels(RunFilter<KXGaussianBlurProcessing>(d));
         }},
        {"Gaussian bands, area", [] {
             auto d = Fields<KXGaussianBlurProcessing::BlurData>(true);
             d.sigma = 1.5;
             return Pixels(RunFilter<KXGaussianBlurProcessing>(d));
         }},
        {"3-tap area", [] { return Pixels(RunFilter<KXSharpenProcessing>(Fields<KXSharpenProcessing::SharpenData>(true))); }},
        {"3-tap whole", [] {
             return Pixels(RunFilter<KXSmoothenProcessing>(Fields<KXSmoothenProcessing::SmoothenData>(false)));
         }},
        {"transform", [] {
             Image target(320, 240);
             TransformImage(Layer(), QTransform().rotate(17).scale(1.1, 0.9), target, QRect());
             return Pixels(target);
         }},
        {"bilinear", [] {
             Image target(280, 210);
             BilinearTransformImage(Layer(), QTransform().scale(0.8, 1.2).translate(5, -7), target, QRect());
             return Pixels(target);
         }},
        {"bicubic", [] {
             Image target(280, 210);
             BicubicTransformImage(Layer(), QTransform().rotate(-9), target, QRect());
             return Pixels(target);
         }},
        {"scaled view", [] {
             QImage view(260, 190, QImage::Format_ARGB32);
             view.fill(Qt::black);
             ScaleImage(Layer(), QPointF(-10.5, 7.25), 0.63, view);
             return QImagePixels(view);
         }},
        {"inpainting", [] {
             Image target = Layer(), holes(300, 200);
             const std::vector<KXRGBA32i> hole(30, KXRGBA32i(0xFF000000));
             for (unsigned int y = 110; y < 140; ++y)
                 holes.SetLine(y, 110, hole.data(), 30 * 4);
             KXInpaintIterative inpaint(target, holes, target.Rect(), holes.Rect());
             for (int pass = 0; pass < 20 && inpaint(); ++pass) {
             }
             return Pixels(target);
         }},
        {"text", [] {
             KXTextHelper helper;
             QFont font(QStringLiteral("DejaVu Sans"));
             font.setPixelSize(70);
             font.setUnderline(true);
             helper.SetFont(font);
             helper.SetText(QStringLiteral("Wave of ink"));
             helper.SetRenderMode(2);
             QPointF offset;
             return Pixels(helper.CreateImageByText(offset));
         }},
    };
}

class ParallelPaths : public testing::Test {
protected:
    void SetUp() override { m_threads = QThreadPool::globalInstance()->maxThreadCount(); }
    void TearDown() override { QThreadPool::globalInstance()->setMaxThreadCount(m_threads); }

private:
    int m_threads = 0;
};

} // namespace

TEST_F(ParallelPaths, TwoThreadsGiveTheOneThreadPixels)
{
    const Pictures pictures;
    gPictures = &pictures;
    for (const ParallelPath& path : Paths()) {
        SCOPED_TRACE(path.name);
        QThreadPool::globalInstance()->setMaxThreadCount(1);
        const std::vector<KXRGBA32i> serial = path.run();
        QThreadPool::globalInstance()->setMaxThreadCount(2);
        const std::vector<KXRGBA32i> parallel = path.run();
        EXPECT_FALSE(serial.empty());
        EXPECT_TRUE(parallel == serial);
    }
    gPictures = nullptr;
}
