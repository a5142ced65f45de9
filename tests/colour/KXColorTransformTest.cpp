#include "KXColorTransform.h"
#include "KXTestSupport.h"
#include "KXTransformImageColors.h"


#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Image = KXImage<KXRGBA32i, 128, 128>;

long long Available()
{
    return VQTileManager64::Instance()->GetAvailableCount();
}

// 300 x 200 (3 x 2 tiles with margins): alpha 0xC0, red x + y, green y, blue x (low bytes).
Image Pattern()
{
    Image image(300, 200);
    std::vector<KXRGBA32i> row(300);
    for (unsigned int y = 0; y < 200; ++y) {
        for (unsigned int x = 0; x < 300; ++x)
            row[x] = KXRGBA32i(0xC0000000u | ((x + y) & 0xFF) << 16 | (y & 0xFF) << 8 | (x & 0xFF));
        image.SetLine(y, row.data(), 300 * 4);
    }
    return image;
}

// Records every call it gets as "<name>:<what>"; the buffer forms add 1 to
// (inverse: take 1 from) the first pixel.
class Recorder : public KXColorTransformBase {
public:
    Recorder(std::string name, std::vector<std::string>* log) : m_name(std::move(name)), m_log(log) {}
    ~Recorder() override
    {
        if (destroyed)
            ++*destroyed;
    }
    void operator()(void* pixels, unsigned int bytes) const override { Buffer("", pixels, bytes, 1); }
    void Invert(void* pixels, unsigned int bytes) const override { Buffer("~", pixels, bytes, -1); }
#define KX_RECORD(Type, what)                                                                                          \
    void operator()(Type&) const override { Note(what); }                                                              \
    void Invert(Type&) const override { Note("~" what); }
    KX_RECORD(Image, "image")
    KX_RECORD(QImage, "qimage")
    KX_RECORD(KXRGBA32i, "32i")
#undef KX_RECORD

    int* destroyed = nullptr;

private:
    void Note(const std::string& what) const { m_log->push_back(m_name + ":" + what); }
    void Buffer(const char* how, void* pixels, unsigned int bytes, int step) const
    {
        Note(how + ("buffer" + std::to_string(bytes)));
        if (pixels && bytes >= 4)
            static_cast<KXRGBA32i*>(pixels)->value += step;
    }
    std::string m_name;
    std::vector<std::string>* m_log;
};

std::vector<std::string> Repeat(std::vector<std::string> run, int times)
{
    std::vector<std::string> all;
    for (int i = 0; i < times; ++i)
        all.insert(all.end(), run.begin(), run.end());
    return all;
}

} // namespace

// The pixel forms share one forward and one backward walk over the entries: one pixel type stands for all.
TEST(KXColorTransformStack, ForwardInPushOrderInverseInReverseNullSkipped)
{
    std::vector<std::string> log;
    KXColorTransformStack stack;
    stack.Push(new Recorder("A", &log));
    stack.Push(nullptr);
    stack.Push(new Recorder("B", &log));
    KXRGBA32i p32;
    QImage qimage(4, 4, QImage::Format_ARGB32);
    KXRGBA32i buffer[2];
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { stack(buffer, 8); }, "buffer8"},         {[&] { stack(qimage); }, "qimage"},
        {[&] { stack(p32); }, "32i"},                   {[&] { stack.Invert(buffer, 8); }, "~buffer8"},
        {[&] { stack.Invert(qimage); }, "~qimage"},     {[&] { stack.Invert(p32); }, "~32i"},
    };
    for (const auto& c : cases) {
        log.clear();
        c.first();
        const bool inverse = c.second[0] == '~';
        EXPECT_EQ(log, std::vector<std::string>({(inverse ? "B:" : "A:") + c.second, (inverse ? "A:" : "B:") + c.second}));
    }
}

TEST(KXColorTransformStack, EveryTilePassesTheWholeChainBeforeTheNext)
{
    std::vector<std::string> log;
    KXColorTransformStack stack;
    stack.Push(new Recorder("A", &log));
    stack.Push(new Recorder("B", &log));
    Image image = Pattern();
    const Image before = image;
    stack(image);
    EXPECT_EQ(log, Repeat({"A:buffer65536", "B:buffer65536"}, 6));
    // Each tile's first pixel got +1 from both, nothing else moved, the copy kept its pixels.
    for (int y : {0, 128})
        for (int x : {0, 128, 256}) {
            EXPECT_EQ(image.GetColor(x, y).value, before.GetColor(x, y).value + 2);
            EXPECT_EQ(image.GetColor(x + 1, y), before.GetColor(x + 1, y));
        }
    log.clear();
    stack.Invert(image);
    EXPECT_EQ(log, Repeat({"B:~buffer65536", "A:~buffer65536"}, 6));
    EXPECT_EQ(image.GetColor(128, 128), before.GetColor(128, 128));
}

TEST(KXColorTransformStack, EmptyStackAndOwnership)
{
    std::vector<std::string> log;
    int destroyed = 0;
    {
        KXColorTransformStack empty;
        Image image = Pattern();
        const long long blocks = Available();
        empty(image);
        empty.Invert(image);
        EXPECT_EQ(Available(), blocks) << "nothing to do, nothing detached";

        KXColorTransformStack stack;
        Recorder* r[4];
        for (Recorder*& p : r) {
            p = new Recorder("R", &log);
            p->destroyed = &destroyed;
            stack.Push(p);
        }
        EXPECT_EQ(stack.Pop(), r[3]); // back to us
        EXPECT_EQ(stack.Top(), r[2]);
        delete r[3];
        stack.PopAll(); // nothing destroyed
        EXPECT_TRUE(stack.isEmpty());
        EXPECT_EQ(destroyed, 1);
        for (int i = 0; i < 3; ++i)
            stack.Push(r[i]);
    }
    EXPECT_EQ(destroyed, 4) << "the stack destroys what it still holds";
}

TEST(KXColorTransformStack, PopAndTopOfAnEmptyStackGiveNullAndLog)
{
    KXColorTransformStack stack;
    KXTest::LogCapture log;
    EXPECT_EQ(stack.Top(), nullptr);
    EXPECT_EQ(stack.Pop(), nullptr);
    stack.Push(nullptr); // a null entry is an entry
    EXPECT_EQ(stack.Pop(), nullptr);
    EXPECT_TRUE(stack.isEmpty());
    const QString file = "file=\"include/KXTransformImageColors\". ";
    ASSERT_EQ(log.Messages().size(), 2);
    EXPECT_TRUE(log.Messages()[0].endsWith(file + "Top of an empty colour transform stack")) << log.Messages()[0].toStdString();
    EXPECT_TRUE(log.Messages()[1].endsWith(file + "Pop on an empty colour transform stack")) << log.Messages()[1].toStdString();
}

TEST(KXColorTransformSmall, ChannelFilterAndGreyFromAlpha)
{
    // 0x80FF4020: alpha 0x80, red 0xFF, green 0x40, blue 0x20.
    const std::pair<int, uint32_t> cases[] = {{KXRGBChannelFilter::None, 0x80FF4020u},
                                              {KXRGBChannelFilter::NoBlue, 0x80FF4000u},
                                              {KXRGBChannelFilter::NoGreen, 0x80FF0020u},
                                              {KXRGBChannelFilter::NoRed, 0x80004020u},
                                              {KXRGBChannelFilter::RedAsGray, 0x80FFFFFFu},
                                              {KXRGBChannelFilter::GreenAsGray, 0x80404040u},
                                              {KXRGBChannelFilter::BlueAsGray, 0x80202020u},
                                              {7, 0x80FF4020u}};
    for (const auto& c : cases) {
        const KXRGBChannelFilter filter(static_cast<KXRGBChannelFilter::RGBFilter>(c.first));
        KXRGBA32i pixel(0x80FF4020u);
        filter(pixel);
        EXPECT_EQ(pixel.value, c.second) << c.first;
    }
    // The buffer form through the base (7 bytes: one pixel); the QImage walk is checked below.
    const KXRGBChannelFilter redAsGrey(KXRGBChannelFilter::RedAsGray);
    const KXColorTransformBase& base = redAsGrey;
    KXRGBA32i pair[2] = {KXRGBA32i(0x80FF4020u), KXRGBA32i(0x80FF4020u)};
    base(pair, 7);
    base.Invert(pair, 8); // cannot be undone
    EXPECT_EQ(std::vector<uint32_t>({pair[0].value, pair[1].value}), std::vector<uint32_t>({0x80FFFFFFu, 0x80FF4020u}));

    const KXTCGrayscaleFromRGBA32iAlpha grey;
    unsigned int word = 0x7F123456u;
    grey(word);
    EXPECT_EQ(word, 0xFF7F7F7Fu);
    KXRGBA32i buffer[5];
    for (KXRGBA32i& p : buffer)
        p = KXRGBA32i(0x7F123456u);
    grey(buffer, 3);
    grey(nullptr, 16);
    EXPECT_EQ(buffer[0].value, 0x7F123456u) << "fewer than 4 bytes: nothing";
    grey(buffer, 19); // four pixels, the rest ignored
    EXPECT_EQ(buffer[3].value, 0xFF7F7F7Fu);
    EXPECT_EQ(buffer[4].value, 0x7F123456u);
    Image image(130, 1);
    image.Fill(KXRGBA32i(0x7F123456u));
    grey(image);
    EXPECT_EQ(image.GetColor(129, 0).value, 0xFF7F7F7Fu);
    // Tile margins go through the walk too: alpha 0 there becomes opaque black.
    EXPECT_EQ(image.ReadTile(1, 0)[2].value, 0xFF000000u);
}

// The scan-line walk hands width x 4 bytes a line to the buffer operation:
// other pixel sizes are left byte for byte, one log line per refusal.
TEST(KXColorTransformSmall, QImageWalkRefusesOtherFormats)
{
    const KXRGBChannelFilter noRed(KXRGBChannelFilter::NoRed);
    const KXTCGrayscaleFromRGBA32iAlpha grey;
    KXColorTransformStack stack;
    stack.Push(new KXRGBChannelFilter(KXRGBChannelFilter::NoGreen));
    for (QImage::Format format : {QImage::Format_Grayscale8, QImage::Format_RGB16, QImage::Format_RGB888,
                                  QImage::Format_RGBA8888, QImage::Format_RGBA64}) {
        QImage image(5, 3, format);
        for (int y = 0; y < image.height(); ++y)
            for (int i = 0; i < image.bytesPerLine(); ++i)
                image.scanLine(y)[i] = uchar(0x5A + 7 * i + y);
        const QImage before = image.copy();
        KXTest::LogCapture log;
        noRed(image);
        grey(image);
        stack(image);
        EXPECT_EQ(std::memcmp(image.constBits(), before.constBits(), size_t(image.sizeInBytes())), 0) << format;
        EXPECT_EQ(log.Messages().size(), 3) << format;
        for (const QString& message : log.Messages())
            EXPECT_TRUE(message.endsWith(
                QString("file=\"include/KXTransformImageColors\". Wrong input qimage format %1").arg(int(format))))
                << message.toStdString();
    }
    for (QImage::Format format : {QImage::Format_ARGB32, QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
        QImage image(5, 3, format);
        image.fill(0xFFFF4020u);
        noRed(image);
        EXPECT_EQ(image.pixel(4, 2), 0xFF004020u) << format;
    }
}

TEST(KXColorTransformSmall, WholeImageWalksCopySharedTilesAndSkipNone)
{
    Image image = Pattern();
    Image copy = image;
    const long long blocks = Available();
    KXRGBChannelFilter{KXRGBChannelFilter::None}(copy);
    EXPECT_EQ(Available(), blocks) << "None touches no tile";
    KXRGBChannelFilter{KXRGBChannelFilter::NoGreen}(copy);
    EXPECT_EQ(Available(), blocks - 6) << "every shared tile got a private copy";
    EXPECT_EQ(image.GetColor(5, 7).value, 0xC00C0705u) << "the other image keeps its pixels";
    EXPECT_EQ(copy.GetColor(5, 7).value, 0xC00C0005u);
    KXRGBChannelFilter{KXRGBChannelFilter::NoBlue}(copy);
    EXPECT_EQ(Available(), blocks - 6) << "tiles held alone are changed in place";
}

TEST(KXToGrayScaleImage, LevelsAndOnlyPixelsInsideTheImage)
{
    // g = (11 R + 16 G + 5 B) >> 5: red 2805 >> 5 = 87, white 255, (10, 20, 30): 580 >> 5 = 18, green 127.
    const std::pair<uint32_t, uint32_t> cases[] = {
        {0xFFFF0000u, 0xFF575757u}, {0x40FFFFFFu, 0x40FFFFFFu}, {0x000A141Eu, 0x00121212u}, {0xFF00FF00u, 0xFF7F7F7Fu}};
    const KXToGrayScaleImage grey;
    for (const auto& c : cases) {
        KXRGBA32i p(c.first);
        grey(p);
        EXPECT_EQ(p.value, c.second);
    }
    Image image(130, 2);
    image.Fill(KXRGBA32i(0xFFFF0000u));
    grey(image);
    EXPECT_EQ(image.GetColor(129, 1).value, 0xFF575757u);
    EXPECT_EQ(image.ReadTile(1, 0)[2].value, 0u) << "the margin stays as Fill left it";

    QImage rgb(2, 1, QImage::Format_RGB888);
    rgb.setPixel(0, 0, 0xFFFF0000u);
    grey(rgb);
    EXPECT_EQ(rgb.format(), QImage::Format_ARGB32);
    EXPECT_EQ(rgb.pixel(0, 0), 0xFF575757u);
    // Premultiplied is worked on as it is: (64, 32, 0) gives (704 + 512) >> 5 = 38.
    QImage premultiplied(2, 1, QImage::Format_ARGB32_Premultiplied);
    premultiplied.fill(0x80402000u);
    grey(premultiplied);
    EXPECT_EQ(premultiplied.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(reinterpret_cast<const uint32_t*>(premultiplied.constScanLine(0))[1], 0x80262626u);
}

TEST(KXTransformImageColors, VisitorsClipAndPassCoordinates)
{
    const Image image = Pattern();
    const long long blocks = Available();
    struct Case {
        QRect rect;
        int count;
        QPoint first, last;
    };
    // Tiles are visited tile row by tile row, and in each tile row by row.
    const Case cases[] = {
        {QRect(120, 125, 20, 10), 200, QPoint(120, 125), QPoint(139, 134)},
        {QRect(-10, -10, 15, 12), 10, QPoint(0, 0), QPoint(4, 1)},
        {QRect(290, 190, 50, 50), 100, QPoint(290, 190), QPoint(299, 199)},
        {QRect(300, 0, 10, 10), 0, QPoint(), QPoint()},
        {QRect(QPoint(10, 5), QPoint(5, 6)), 12, QPoint(5, 5), QPoint(10, 6)}, // corners swapped, as operator& takes it
        // Spans wider than the int range: clipped without overflowing.
        {QRect(QPoint(INT_MIN + 5, 1), QPoint(INT_MAX, 2)), 600, QPoint(0, 1), QPoint(299, 2)},
        {QRect(QPoint(-5, INT_MIN + 3), QPoint(4, INT_MAX)), 1000, QPoint(0, 0), QPoint(4, 199)},
    };
    for (const Case& c : cases) {
        int count = 0;
        QPoint first, last;
        bool pixelsMatch = true;
        auto withCoordinates = [&](int x, int y, const KXRGBA32i* p) {
            if (count++ == 0)
                first = QPoint(x, y);
            last = QPoint(x, y);
            pixelsMatch = pixelsMatch && p->b == (x & 0xFF) && p->g == (y & 0xFF);
        };
        EXPECT_TRUE(VisitPixelsWithCoordinates(image, c.rect, withCoordinates));
        EXPECT_EQ(count, c.count);
        EXPECT_TRUE(pixelsMatch);
        EXPECT_EQ(first, c.first);
        EXPECT_EQ(last, c.last);
    }
    // The plain visitor shares the clipping walk.
    int plain = 0;
    auto counter = [&](const KXRGBA32i&) { ++plain; };
    EXPECT_TRUE(VisitPixels(image, QRect(290, 190, 50, 50), counter));
    EXPECT_EQ(plain, 100);
    EXPECT_EQ(Available(), blocks) << "visitors never detach";
}

TEST(KXTransformImageColors, VisitorsLogExceptionsAndReturnFalse)
{
    const Image image = Pattern();
    KXTest::LogCapture capture;
    int calls = 0;
    auto failing = [&](const KXRGBA32i&) {
        if (++calls == 3)
            throw std::runtime_error("boom");
    };
    auto unknown = [](int, int, const KXRGBA32i*) { throw 42; };
    EXPECT_FALSE(VisitPixels(image, image.Rect(), failing));
    EXPECT_EQ(calls, 3);
    EXPECT_FALSE(VisitPixelsWithCoordinates(image, image.Rect(), unknown));
    EXPECT_EQ(capture.Messages(),
              QStringList({QStringLiteral("Unexpected exception: line=851, file=\"include/KXTransformImageColors\". "
                                          "Exception content:\"boom\""),
                           QStringLiteral("Unexpected unknown exception: line=930, "
                                          "file=\"include/KXTransformImageColors\"")}));
}

TEST(KXTransformImageColors, RectangleWriterTouchesOnlyItsTiles)
{
    Image image = Pattern();
    const Image before = image;
    const long long blocks = Available();
    const KXRGBChannelFilter noBlue(KXRGBChannelFilter::NoBlue);
    TransformPixels(image, QRect(100, 10, 40, 10), noBlue); // 100 … 139 x 10 … 19: tiles (0, 0) and (1, 0)
    EXPECT_EQ(Available(), blocks - 2);
    EXPECT_EQ(image.GetColor(100, 10).b, 0);
    EXPECT_EQ(image.GetColor(139, 19).b, 0);
    for (const QPoint& outside : {QPoint(99, 10), QPoint(140, 19), QPoint(100, 20)})
        EXPECT_EQ(image.GetColor(outside.x(), outside.y()), before.GetColor(outside.x(), outside.y()));
    EXPECT_EQ(image.Tile(2, 0)->data(), before.Tile(2, 0)->data()) << "untouched tiles stay shared";
    // A row wider than the int range: the whole row, tiles (0 … 2, 1).
    TransformPixels(image, QRect(QPoint(INT_MIN + 5, 150), QPoint(INT_MAX, 150)), noBlue);
    EXPECT_EQ(Available(), blocks - 5);
    EXPECT_EQ(image.GetColor(0, 150).b, 0);
    EXPECT_EQ(image.GetColor(299, 150).b, 0);
    EXPECT_EQ(image.GetColor(299, 151), before.GetColor(299, 151));
}

// Every other tile is private to `image` first: fresh blocks go to the
// shared ones only, and each must land on its own tile whatever thread takes it.
TEST(KXTransformImageColors, ParallelWriterMixesSharedAndPrivateTiles)
{
    Image image = Pattern();
    const Image before = image;
    for (const QPoint& t : {QPoint(0, 0), QPoint(256, 0), QPoint(128, 128)}) // detaches three of the six tiles
        image.SetColor(t.x(), t.y(), image.GetColor(t.x(), t.y()));
    const long long blocks = Available();
    TransformPixels(image, [](KXRGBA32i& p) { std::swap(p.r, p.b); });
    EXPECT_EQ(Available(), blocks - 3) << "one fresh block for each of the 3 shared tiles";
    int wrong = 0, changed = 0;
    for (unsigned int y = 0; y < 200; ++y)
        for (unsigned int x = 0; x < 300; ++x) {
            const uint32_t old = 0xC0000000u | ((x + y) & 0xFF) << 16 | (y & 0xFF) << 8 | (x & 0xFF);
            wrong += image.GetColor(x, y).value != (0xC0000000u | (x & 0xFF) << 16 | (y & 0xFF) << 8 | ((x + y) & 0xFF));
            changed += before.GetColor(x, y).value != old;
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(changed, 0) << "the image that shared the tiles keeps its pixels";
}
