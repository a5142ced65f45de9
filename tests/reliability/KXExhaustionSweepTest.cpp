// Every operation that takes tile blocks (text and the in-place
// convolutions among them), run with its first, second, …
// block request failing as an exhausted tile manager fails it, until a run
// needs no more requests than it is given; once with that one request
// failing and once with it and every later one failing (an exhaustion that
// lasts while the operation unwinds): each run must end with
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
#include "KXScaleImage.h"
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
    bool partial = false;   // what it did before a failure stands
    bool takesNone = false; // it works without a single block
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
        {"ScaleImage, with a colour transform", [](Caller& c) {
             QImage view(170, 130, QImage::Format_ARGB32);
             view.fill(Qt::blue);
             const QImage before = view;
             ScaleImage(c.in.layer, QPointF(-15.5, 20.25), 0.45, view, KXRGBChannelFilter(KXRGBChannelFilter::NoRed));
             if (view == before)
                 ADD_FAILURE() << "nothing drawn";
         }, false, true},
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

TEST(KXTileFaultInjection, FailsEveryRequestFromTheChosenOneUntilDisarmed)
{
    VQTileManager64* manager = VQTileManager64::Instance();
    const long long available = manager->GetAvailableCount();
    KXTileFaultInjection::FailFrom(1); // request 0 passes, 1, 2, … fail
    void* first = manager->MakeTile();
    int failures = 0;
    const auto ask = [&](unsigned int count) {
        try {
            manager->CleanUpTiles(manager->MakeTiles(count));
        } catch (const std::bad_alloc&) {
            ++failures;
        }
    };
    ask(1);
    manager->CleanUpTile(first); // a block coming back does not end it
    ask(2);
    try {
        manager->CleanUpTile(manager->MakeTile());
    } catch (const std::bad_alloc&) {
        ++failures;
    }
    EXPECT_TRUE(KXTileFaultInjection::Fired());
    KXTileFaultInjection::Disarm();
    EXPECT_FALSE(KXTileFaultInjection::Fired());
    manager->CleanUpTile(manager->MakeTile());
    EXPECT_EQ(failures, 3);
    EXPECT_EQ(manager->GetAvailableCount(), available);
}

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

// How the chosen request fails: alone, or with every later one.
struct Mode {
    const char* name;
    void (*arm)(long long);
    bool once;
};

class KXExhaustionSweep : public testing::TestWithParam<Mode> {
};

TEST_P(KXExhaustionSweep, EveryRequestOfEveryOperationMayFail)
{
    const Mode mode = GetParam();
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
            mode.arm(n);
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
            // Told once per exhaustion: a lasting one may be told again
            // after a block came back while unwinding.
            if (mode.once || !fired) {
                EXPECT_EQ(gHandlerCalls, fired ? 1 : 0);
            } else {
                EXPECT_GE(gHandlerCalls, 1);
            }
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
        if (op.takesNone) {
            EXPECT_EQ(n, 0) << "the operation takes a block";
        } else {
            EXPECT_GT(n, 0) << "the operation takes no block";
        }
        EXPECT_LT(n, 5000) << "the operation never succeeded";
    }
    manager->SetExceptionHandler(nullptr, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Modes, KXExhaustionSweep,
                         testing::Values(Mode{"OneRequest", KXTileFaultInjection::FailRequest, true},
                                         Mode{"EveryLaterRequest", KXTileFaultInjection::FailFrom, false}),
                         [](const testing::TestParamInfo<Mode>& info) { return std::string(info.param.name); });
