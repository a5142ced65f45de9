// Every operation that takes tile blocks (text and the in-place
// convolutions among them), run with its first, second, …
// block request failing as an exhausted tile manager fails it, until a run
// needs no more requests than it is given: each run must end with
// std::bad_alloc at the caller or with a logged line (the documented
// swallow), tell the exception handler once, leave the caller's inputs as
// they were and the image it writes whole and as it was (inpainting keeps
// its finished passes), and give every block back.

#include "KXFilterRuns.h"
#include "KXTestSupport.h"

#include "KXBlendModes.h"
#include "KXBlurOperators.h"
#include "KXColorTransform.h"
#include "KXFloodFill.h"
#include "KXImageConversion.h"
#include "KXImagePainter.h"
#include "KXInpaint.h"
#include "KXTextHelper.h"
#include "KXTonalAdjustments.h"
#include "KXTransformImage.h"
#include "KXTransformImageColors.h"
#include "VQTileManager64.h"
#include "core/KXTileFaultInjection.h"

#include <QPainterPath>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

using namespace KXReliability;

namespace {

// Every byte of the image's pixels, row by row.
template <class T, unsigned int W, unsigned int H>
QByteArray Bytes(const KXImage<T, W, H>& image)
{
    const unsigned int row = image.Width() * unsigned(sizeof(T));
    QByteArray out(int(row * image.Height()), '\0');
    for (unsigned int y = 0; y < image.Height(); ++y)
        image.GetLine(y, out.data() + size_t(y) * row, row);
    return out;
}

QByteArray Snapshot(const Inputs& in)
{
    return Bytes(in.layer) + Bytes(in.selection) + Bytes(in.mask) + Bytes(in.holes) + Bytes(in.wide) +
           Bytes(in.hsl) + QByteArray(reinterpret_cast<const char*>(in.picture.constBits()),
                                      int(in.picture.sizeInBytes()));
}

int gHandlerCalls = 0;
void CountCall(void*, const std::exception&)
{
    ++gHandlerCalls;
}

// The caller's side of one operation: the inputs, read only, and `target`,
// the image an in-place operation writes (a copy of the layer at the start).
struct Caller {
    const Inputs& in;
    KXImageRGBA32i target;
};

struct Operation {
    std::string name;
    std::function<void(Caller&)> run;
    bool partial = false; // what it did before a failure stands
};

std::vector<Operation> Operations()
{
    const KXRGBA32i tolerance(0x50505050), red(0xFFFF0000);
    std::vector<Operation> ops = {
        {"BlendOn", [](Caller& c) {
             BlendOn(c.in.layer, QRect(10, 10, 250, 150), KXBlendMode::Multiply, c.target, QRect(40, 30, 250, 150),
                     0.7, false);
         }},
        {"BlendOn, QImage source", [](Caller& c) {
             BlendOn(c.in.picture, QRect(0, 0, 200, 100), KXBlendMode::Normal, c.target, QRect(90, 90, 200, 100),
                     1.0, true);
         }},
        {"BlendMaskOn", [](Caller& c) {
             BlendMaskOn(c.in.layer, c.in.layer.Rect(), KXBlendMode::Luminosity, c.target, QRect(20, 20, 300, 200),
                         0.8, c.in.mask, QRect(5, 5, 250, 180), false, false);
         }},
        {"DrawImage", [](Caller& c) { DrawImage(c.target, 0, QPoint(-20, 70), c.in.selection, 1.0, false); }},
        {"FillPath", [](Caller& c) {
             QPainterPath path;
             path.addEllipse(QRectF(30, 20, 240, 160));
             FillPath(c.target, 0, path, QBrush(Qt::red), true);
         }},
        {"CreateFromSourceMask", [](Caller& c) { CreateFromSourceMask(c.target, c.in.layer); }},
        {"InvertImage", [](Caller& c) { InvertImage(c.target, KXChannel::All); }},
        {"TransformPixels, whole", [](Caller& c) {
             TransformPixels(c.target, KXBrightnessContrastTransformation(20, 10));
         }},
        {"TransformPixels, area", [](Caller& c) {
             TransformPixels(c.target, QRect(50, 50, 150, 100), KXBrightnessContrastTransformation(-20, 30));
         }},
        {"colour transform stack", [](Caller& c) {
             KXColorTransformStack stack;
             stack.Push(new KXRGBChannelFilter(KXRGBChannelFilter::RedAsGray));
             stack.Push(new KXRGBChannelFilter(KXRGBChannelFilter::NoBlue));
             stack(c.target);
         }},
        {"channel filter", [](Caller& c) { KXRGBChannelFilter{KXRGBChannelFilter::NoRed}(c.target); }},
        {"bicubic sampler", [](Caller& c) {
             BicubicTransformImage(c.in.layer, QTransform().scale(0.7, 1.3), c.target, QRect());
         }},
        {"TransformImage", [](Caller& c) {
             TransformImage(c.in.layer, QTransform().rotate(30), c.target, QRect());
         }},
        {"ConvertImage to 16-bit", [](Caller& c) { ConvertImage<KXImageRGBA32i, KXImageRGBA64i>(c.in.layer); }},
        {"ConvertImage from 16-bit", [](Caller& c) { c.target = ConvertImage<KXImageRGBA64i, KXImageRGBA32i>(c.in.wide); }},
        {"ConvertImage to half float", [](Caller& c) { ConvertImage<KXImageRGBA32i, KXImageRGBA64f>(c.in.layer); }},
        {"ConvertImage to CMYK", [](Caller& c) { ConvertImage<KXImageRGBA32i, KXImageCMYKA>(c.in.layer); }},
        {"ConvertImage from CMYK", [](Caller& c) {
             c.target = ConvertImage<KXImageCMYKA, KXImageRGBA32i>(ConvertImage<KXImageRGBA32i, KXImageCMYKA>(c.in.layer));
         }},
        {"ConvertImage from HSL", [](Caller& c) { c.target = ConvertImage<KXImageHSLA, KXImageRGBA32i>(c.in.hsl); }},
        {"ConvertImage from QImage", [](Caller& c) { c.target = ConvertImage<QImage, KXImageRGBA32i>(c.in.picture); }},
        {"flood fill in place", [=](Caller& c) {
             KXFloodFillHelper::FloodFill(c.target, QPoint(150, 100), tolerance, red, nullptr);
         }},
        {"flood fill into a target", [=](Caller& c) {
             KXFloodFillHelper::FloodFill(c.in.layer, c.target, QPoint(10, 190), tolerance, red, nullptr);
         }},
        {"colour-range fill", [=](Caller& c) {
             KXFloodFillHelper::ColorRangeFill(c.in.layer, c.target, QPoint(200, 20), tolerance, red, nullptr);
         }},
        {"convolution in place", [](Caller& c) {
             static const double kernel[9] = {0.1, 0.2, 0.1, 0.0, 0.2, 0.0, 0.1, 0.2, 0.1};
             KXImageConvolution(kernel, QSize(3, 3))(c.target);
         }},
        {"alpha convolution in place", [](Caller& c) {
             static const double kernel[6] = {0.2, 0.3, 0.1, 0.1, 0.2, 0.1};
             KXImageConvoluteAlpha(kernel, QSize(3, 2))(c.target);
         }},
        {"nearest sampler", [](Caller& c) {
             NearestNeighbourTransformImage(c.in.layer, QTransform().scale(0.7, 1.3), c.target, QRect());
         }},
        {"bilinear sampler", [](Caller& c) {
             BilinearTransformImage(c.in.layer, QTransform().rotate(10), c.target, QRect());
         }},
        {"text", [](Caller& c) {
             KXTextHelper helper;
             QFont font(QStringLiteral("DejaVu Sans"));
             font.setPixelSize(90);
             font.setUnderline(true);
             helper.SetFont(font);
             helper.SetText(QStringLiteral("Ink W"));
             helper.SetRenderMode(2);
             QPointF offset;
             const KXImageRGBA32i selection = helper.CreateImageByTextWithSelectionAndDeformation(offset, 1, 3);
             c.target = helper.CreateImageByText(offset);
         }},
        {"inpainting passes", [](Caller& c) {
             KXInpaintIterative inpaint(c.target, c.in.holes, c.target.Rect(), c.in.holes.Rect());
             for (int pass = 0; pass < 100 && inpaint(); ++pass) {
             }
         }, true},
    };
    for (const FilterRun& filter : FilterRuns())
        ops.push_back({filter.name, [&filter](Caller& c) {
                           FilterCaller caller(c.in);
                           filter.run(caller);
                       }});
    return ops;
}

} // namespace

TEST(KXTileFaultInjection, FailsTheChosenRequestOnceAsExhaustion)
{
    VQTileManager64* manager = VQTileManager64::Instance();
    gHandlerCalls = 0;
    manager->SetExceptionHandler(CountCall, nullptr);
    KXTileFaultInjection::FailRequest(2); // requests 0 and 1 pass, 2 fails
    void* first = manager->MakeTile();
    const QList<void*> pair = manager->MakeTiles(2);
    EXPECT_FALSE(KXTileFaultInjection::Fired());
    try {
        manager->MakeTile();
        ADD_FAILURE() << "the third request was served";
    } catch (const std::bad_alloc& e) {
        EXPECT_STREQ(e.what(), "bad allocation");
    }
    EXPECT_TRUE(KXTileFaultInjection::Fired());
    EXPECT_EQ(gHandlerCalls, 1);
    void* after = manager->MakeTile(); // the hook is off again
    manager->CleanUpTile(first);
    manager->CleanUpTiles(pair);
    manager->CleanUpTile(after);
    manager->SetExceptionHandler(nullptr, nullptr);
    EXPECT_EQ(pair.size(), 2);
}

TEST(KXExhaustionSweep, EveryRequestOfEveryOperationMayFail)
{
    const Inputs in = Inputs::Make();
    const QByteArray inputs = Snapshot(in);
    VQTileManager64* manager = VQTileManager64::Instance();
    manager->SetExceptionHandler(CountCall, nullptr);
    for (const Operation& op : Operations()) {
        SCOPED_TRACE(op.name);
        long long n = 0;
        for (;; ++n) {
            SCOPED_TRACE("failing request " + std::to_string(n));
            manager->CleanUpTile(manager->MakeTile()); // a returned block ends any earlier exhaustion
            Caller caller{in, in.layer};
            const long long available = manager->GetAvailableCount();
            gHandlerCalls = 0;
            bool threw = false;
            KXTest::LogCapture log;
            KXTileFaultInjection::FailRequest(n);
            try {
                op.run(caller);
            } catch (const std::bad_alloc& e) {
                threw = true;
                EXPECT_STREQ(e.what(), "bad allocation");
            } catch (const std::exception& e) {
                ADD_FAILURE() << "unexpected exception: " << e.what();
            }
            const bool fired = KXTileFaultInjection::Fired();
            KXTileFaultInjection::Disarm();
            EXPECT_EQ(gHandlerCalls, fired ? 1 : 0);
            if (fired && !threw) {
                EXPECT_FALSE(log.Lines().isEmpty()) << "a failure swallowed without a logged line";
            }
            EXPECT_FALSE(!fired && threw);
            EXPECT_TRUE(Whole(caller.target));
            if (fired && !op.partial) {
                EXPECT_TRUE(Bytes(caller.target) == Bytes(in.layer)) << "the image written changed";
            }
            caller.target = in.layer;
            EXPECT_EQ(manager->GetAvailableCount(), available) << "blocks lost";
            EXPECT_TRUE(Snapshot(in) == inputs) << "an input changed";
            if (!fired || n >= 5000 || testing::Test::HasFailure())
                break;
        }
        EXPECT_GT(n, 0) << "the operation takes no block";
        EXPECT_LT(n, 5000) << "the operation never succeeded";
    }
    manager->SetExceptionHandler(nullptr, nullptr);
}
