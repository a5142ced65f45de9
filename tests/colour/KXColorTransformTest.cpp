#include "KXColorTransform.h"
#include "KXTestSupport.h"
#include "KXTransformImageColors.h"

#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Image = KXImage<KXRGBA32i, 128, 128>;

long long Available()
{
    return VQTileManager64::Instance()->GetAvailableCount();
}

// 300 x 200 (3 x 2 tiles, margins on the right and bottom), pixel (x, y) =
// 0xC0 alpha, x low byte in blue, y low byte in green, (x + y) in red.
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

// Records every call it gets as "<name>:<what>".
class Recorder : public KXColorTransformBase {
public:
    Recorder(std::string name, std::vector<std::string>* log) : m_name(std::move(name)), m_log(log) {}
    ~Recorder() override
    {
        if (destroyed)
            ++*destroyed;
    }
    void operator()(void* pixels, unsigned int bytes) const override
    {
        Note("buffer" + std::to_string(bytes));
        if (pixels && bytes >= 4)
            static_cast<KXRGBA32i*>(pixels)->value += 1; // leaves a trace on the first pixel
    }
    void operator()(KXImage<KXRGBA32i, 128, 128>&) const override { Note("image"); }
    void operator()(QImage&) const override { Note("qimage"); }
    void operator()(KXHSLA&) const override { Note("hsla"); }
    void operator()(KXRGBA128f&) const override { Note("128f"); }
    void operator()(KXRGBA128i&) const override { Note("128i"); }
    void operator()(KXRGBA64f&) const override { Note("64f"); }
    void operator()(KXRGBA64i&) const override { Note("64i"); }
    void operator()(KXRGBA32i&) const override { Note("32i"); }
    void Invert(void* pixels, unsigned int bytes) const override
    {
        Note("~buffer" + std::to_string(bytes));
        if (pixels && bytes >= 4)
            static_cast<KXRGBA32i*>(pixels)->value -= 1;
    }
    void Invert(KXImage<KXRGBA32i, 128, 128>&) const override { Note("~image"); }
    void Invert(QImage&) const override { Note("~qimage"); }
    void Invert(KXRGBA128f&) const override { Note("~128f"); }
    void Invert(KXRGBA128i&) const override { Note("~128i"); }
    void Invert(KXRGBA64f&) const override { Note("~64f"); }
    void Invert(KXRGBA64i&) const override { Note("~64i"); }
    void Invert(KXRGBA32i&) const override { Note("~32i"); }

    int* destroyed = nullptr;

private:
    void Note(const std::string& what) const { m_log->push_back(m_name + ":" + what); }
    std::string m_name;
    std::vector<std::string>* m_log;
};

} // namespace

TEST(KXColorTransformStack, ForwardInPushOrderInverseInReverseNullSkipped)
{
    std::vector<std::string> log;
    KXColorTransformStack stack;
    stack.Push(new Recorder("A", &log));
    stack.Push(nullptr);
    stack.Push(new Recorder("B", &log));

    KXRGBA32i p32;
    KXRGBA64i p64;
    KXRGBA64f p64f;
    KXRGBA128i p128;
    KXRGBA128f p128f;
    KXHSLA hsla;
    QImage qimage(4, 4, QImage::Format_ARGB32);
    KXRGBA32i buffer[2];
    struct Case {
        std::function<void()> call;
        const char* what;
        bool inverse;
    };
    const Case cases[] = {
        {[&] { stack(buffer, 8); }, "buffer8", false},
        {[&] { stack(qimage); }, "qimage", false},
        {[&] { stack(hsla); }, "hsla", false},
        {[&] { stack(p128f); }, "128f", false},
        {[&] { stack(p128); }, "128i", false},
        {[&] { stack(p64f); }, "64f", false},
        {[&] { stack(p64); }, "64i", false},
        {[&] { stack(p32); }, "32i", false},
        {[&] { stack.Invert(buffer, 8); }, "~buffer8", true},
        {[&] { stack.Invert(qimage); }, "~qimage", true},
        {[&] { stack.Invert(p128f); }, "~128f", true},
        {[&] { stack.Invert(p128); }, "~128i", true},
        {[&] { stack.Invert(p64f); }, "~64f", true},
        {[&] { stack.Invert(p64); }, "~64i", true},
        {[&] { stack.Invert(p32); }, "~32i", true},
    };
    for (const Case& c : cases) {
        log.clear();
        c.call();
        const std::string what = c.what;
        const std::vector<std::string> expected =
            c.inverse ? std::vector<std::string>{"B:" + what, "A:" + what}
                      : std::vector<std::string>{"A:" + what, "B:" + what};
        EXPECT_EQ(log, expected) << what;
    }
    EXPECT_FALSE(stack.isEmpty());
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
    std::vector<std::string> expected;
    for (int tile = 0; tile < 6; ++tile) {
        expected.push_back("A:buffer65536");
        expected.push_back("B:buffer65536");
    }
    EXPECT_EQ(log, expected);
    // Each tile's first pixel got +1 from both; nothing else moved, and the
    // copy we kept still has the old pixels.
    for (unsigned int row = 0; row < 2; ++row)
        for (unsigned int column = 0; column < 3; ++column) {
            const int x = static_cast<int>(column * 128), y = static_cast<int>(row * 128);
            EXPECT_EQ(image.GetColor(x, y).value, before.GetColor(x, y).value + 2);
            EXPECT_EQ(image.GetColor(x + 1, y), before.GetColor(x + 1, y));
        }

    log.clear();
    stack.Invert(image);
    expected.clear();
    for (int tile = 0; tile < 6; ++tile) {
        expected.push_back("B:~buffer65536");
        expected.push_back("A:~buffer65536");
    }
    EXPECT_EQ(log, expected);
    EXPECT_EQ(image.GetColor(128, 128), before.GetColor(128, 128));
}

TEST(KXColorTransformStack, EmptyAndSingleEntryAndOwnership)
{
    std::vector<std::string> log;
    int destroyed = 0;
    {
        KXColorTransformStack empty;
        EXPECT_TRUE(empty.isEmpty());
        Image image = Pattern();
        const Image before = image;
        const long long blocks = Available();
        empty(image);
        empty.Invert(image);
        EXPECT_EQ(Available(), blocks) << "nothing to do, nothing detached";
        EXPECT_EQ(image.GetColor(299, 199), before.GetColor(299, 199));

        // One entry: the same result as the entry alone.
        KXColorTransformStack one;
        one.Push(new KXRGBChannelFilter(KXRGBChannelFilter::NoRed));
        KXRGBA32i viaStack(0x80FF4020u), alone(0x80FF4020u);
        one(viaStack);
        KXRGBChannelFilter{KXRGBChannelFilter::NoRed}(alone);
        EXPECT_EQ(viaStack, alone);

        KXColorTransformStack stack;
        Recorder* a = new Recorder("A", &log);
        Recorder* b = new Recorder("B", &log);
        Recorder* c = new Recorder("C", &log);
        a->destroyed = b->destroyed = c->destroyed = &destroyed;
        stack.Push(a);
        stack.Push(b);
        stack.Push(c);
        EXPECT_EQ(stack.Top(), c);
        EXPECT_EQ(stack.Pop(), c); // back to us
        EXPECT_EQ(stack.Top(), b);
        delete c;
        EXPECT_EQ(destroyed, 1);
        stack.Push(c = new Recorder("C", &log));
        c->destroyed = &destroyed;
        stack.PopAll(); // nothing destroyed
        EXPECT_TRUE(stack.isEmpty());
        EXPECT_EQ(destroyed, 1);
        stack.Push(a);
        stack.Push(b);
        stack.Push(c);
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
    const QStringList messages = log.Messages();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[0].endsWith("file=\"include/KXTransformImageColors\". Top of an empty colour transform stack"))
        << messages[0].toStdString();
    EXPECT_TRUE(messages[1].endsWith("file=\"include/KXTransformImageColors\". Pop on an empty colour transform stack"))
        << messages[1].toStdString();
}

TEST(KXColorTransformStack, OneApplicationAtATimeAcrossThreads)
{
    // Each application of the stack to an image must run all its tiles
    // before another thread's application starts: the log of buffer calls
    // has to come in whole runs of one thread.
    std::mutex mutex;
    std::vector<QThread*> callers;
    class ThreadRecorder : public KXColorTransformBase {
    public:
        ThreadRecorder(std::mutex* m, std::vector<QThread*>* c) : m_mutex(m), m_callers(c) {}
        void operator()(void*, unsigned int) const override
        {
            std::lock_guard<std::mutex> lock(*m_mutex);
            m_callers->push_back(QThread::currentThread());
            QThread::usleep(50);
        }
        void Invert(void*, unsigned int) const override {}

    private:
        std::mutex* m_mutex;
        std::vector<QThread*>* m_callers;
    };
    KXColorTransformStack stack;
    stack.Push(new ThreadRecorder(&mutex, &callers));
    Image first = Pattern(), second = Pattern();
    std::unique_ptr<QThread> other(QThread::create([&] { stack(second); }));
    other->start();
    stack(first);
    other->wait();
    ASSERT_EQ(callers.size(), 12u);
    int changes = 0;
    for (size_t i = 1; i < callers.size(); ++i)
        changes += callers[i] != callers[i - 1];
    EXPECT_EQ(changes, 1);
}

TEST(KXColorTransformSmall, ChannelFilterAndGreyFromAlpha)
{
    struct Case {
        int filter;
        uint32_t expected;
    };
    // 0x80FF4020: alpha 0x80, red 0xFF, green 0x40, blue 0x20.
    const Case cases[] = {{KXRGBChannelFilter::None, 0x80FF4020u},        {KXRGBChannelFilter::NoBlue, 0x80FF4000u},
                          {KXRGBChannelFilter::NoGreen, 0x80FF0020u},     {KXRGBChannelFilter::NoRed, 0x80004020u},
                          {KXRGBChannelFilter::RedAsGray, 0x80FFFFFFu},   {KXRGBChannelFilter::GreenAsGray, 0x80404040u},
                          {KXRGBChannelFilter::BlueAsGray, 0x80202020u},  {7, 0x80FF4020u}};
    for (const Case& c : cases) {
        const KXRGBChannelFilter filter(static_cast<KXRGBChannelFilter::RGBFilter>(c.filter));
        KXRGBA32i pixel(0x80FF4020u);
        filter(pixel);
        EXPECT_EQ(pixel.value, c.expected) << c.filter;
        // The buffer form (protected) through the base, and the QImage walk.
        const KXColorTransformBase& base = filter;
        KXRGBA32i buffer[2] = {KXRGBA32i(0x80FF4020u), KXRGBA32i(0x80FF4020u)};
        base(buffer, 7); // one pixel
        EXPECT_EQ(buffer[0].value, c.expected);
        EXPECT_EQ(buffer[1].value, 0x80FF4020u);
        base.Invert(buffer, 8); // cannot be undone
        EXPECT_EQ(buffer[0].value, c.expected);
        QImage qimage(3, 2, QImage::Format_ARGB32);
        qimage.fill(0x80FF4020u);
        filter(qimage);
        EXPECT_EQ(static_cast<uint32_t>(qimage.pixel(2, 1)), c.expected);
    }

    const KXTCGrayscaleFromRGBA32iAlpha grey;
    unsigned int word = 0x7F123456u;
    grey(word);
    EXPECT_EQ(word, 0xFF7F7F7Fu);
    KXRGBA32i buffer[5];
    for (KXRGBA32i& p : buffer)
        p = KXRGBA32i(0x7F123456u);
    for (unsigned int bytes : {0u, 1u, 2u, 3u}) {
        grey(buffer, bytes);
        EXPECT_EQ(buffer[0].value, 0x7F123456u) << bytes;
    }
    grey(nullptr, 16);
    grey(buffer, 19); // four pixels, the rest ignored
    EXPECT_EQ(buffer[3].value, 0xFF7F7F7Fu);
    EXPECT_EQ(buffer[4].value, 0x7F123456u);
    grey.Invert(buffer, 20);
    EXPECT_EQ(buffer[0].value, 0xFF7F7F7Fu);
    Image image(130, 1);
    image.Fill(KXRGBA32i(0x7F123456u));
    grey(image);
    EXPECT_EQ(image.GetColor(129, 0).value, 0xFF7F7F7Fu);
    {
        // Tile margins go through the walk too: pixel 130 of the second tile
        // was 0 and is now opaque black.
        const KXTileAccess<const KXRGBA32i> edge = image.ReadTile(1, 0);
        EXPECT_EQ(edge[2].value, 0xFF000000u);
    }
    grey.Invert(image); // the default: nothing
    EXPECT_EQ(image.GetColor(0, 0).value, 0xFF7F7F7Fu);
}

// The scan-line walk hands width x 4 bytes a line to the buffer operation:
// an image with narrower (or wider) pixels is left byte for byte as it was,
// with one log line per refusal.
TEST(KXColorTransformSmall, QImageWalkRefusesOtherFormats)
{
    const KXRGBChannelFilter noRed(KXRGBChannelFilter::NoRed);
    const KXTCGrayscaleFromRGBA32iAlpha grey;
    KXColorTransformStack stack;
    stack.Push(new KXRGBChannelFilter(KXRGBChannelFilter::NoGreen));
    for (QImage::Format format : {QImage::Format_Grayscale8, QImage::Format_Indexed8, QImage::Format_RGB16,
                                  QImage::Format_RGB888, QImage::Format_RGBA8888, QImage::Format_RGBA64}) {
        QImage image(5, 3, format); // 5 pixels of 1 to 3 bytes: 20 bytes run past the line
        if (format == QImage::Format_Indexed8)
            image.setColorCount(256);
        for (int y = 0; y < image.height(); ++y)
            for (int i = 0; i < image.bytesPerLine(); ++i)
                image.scanLine(y)[i] = uchar(0x5A + 7 * i + y);
        const QImage before = image.copy();
        KXTest::LogCapture log;
        noRed(image);
        grey(image);
        stack(image);
        EXPECT_EQ(std::memcmp(image.constBits(), before.constBits(), size_t(image.sizeInBytes())), 0) << format;
        const QString line = QString("file=\"include/KXTransformImageColors\". Wrong input qimage format %1").arg(int(format));
        EXPECT_EQ(log.Messages().size(), 3) << format;
        for (const QString& message : log.Messages())
            EXPECT_TRUE(message.endsWith(line)) << message.toStdString();
    }
    // The 32-bit ARGB formats still go through.
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
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

TEST(KXColorTransformSmall, ExhaustionLeavesTheImageAsItWas)
{
    Image image = Pattern();
    Image copy = image;
    VQTileManager64* tm = VQTileManager64::Instance();
    // Leave 3 free blocks: the walk needs 6.
    QList<void*> held = tm->MakeTiles(static_cast<unsigned int>(tm->GetAvailableCount() - 3));
    EXPECT_THROW(KXRGBChannelFilter{KXRGBChannelFilter::NoRed}(copy), std::bad_alloc);
    EXPECT_EQ(tm->GetAvailableCount(), 3) << "blocks taken for the walk went back";
    tm->CleanUpTiles(held);
    for (int y : {0, 150, 199})
        for (int x : {0, 200, 299})
            EXPECT_EQ(copy.GetColor(x, y), image.GetColor(x, y));
}

TEST(KXToGrayScaleImage, LevelsAndOnlyPixelsInsideTheImage)
{
    struct Case {
        uint32_t in, out;
    };
    // g = (11 R + 16 G + 5 B) >> 5: red 2805 >> 5 = 87, white 8160 >> 5 = 255,
    // (10, 20, 30): (110 + 320 + 150) >> 5 = 580 >> 5 = 18.
    const Case cases[] = {{0xFFFF0000u, 0xFF575757u}, {0x40FFFFFFu, 0x40FFFFFFu}, {0x000A141Eu, 0x00121212u},
                          {0xFF00FF00u, 0xFF7F7F7Fu}};
    const KXToGrayScaleImage grey;
    for (const Case& c : cases) {
        KXRGBA32i p(c.in);
        grey(p);
        EXPECT_EQ(p.value, c.out);
    }
    Image image(130, 2);
    image.Fill(KXRGBA32i(0xFFFF0000u));
    grey(image);
    EXPECT_EQ(image.GetColor(129, 1).value, 0xFF575757u);
    const KXTileAccess<const KXRGBA32i> edge = image.ReadTile(1, 0);
    EXPECT_EQ(edge[2].value, 0u) << "the margin stays as Fill left it";

    QImage rgb(2, 1, QImage::Format_RGB888);
    rgb.setPixel(0, 0, 0xFFFF0000u);
    rgb.setPixel(1, 0, 0xFFFFFFFFu);
    grey(rgb);
    EXPECT_EQ(rgb.format(), QImage::Format_ARGB32);
    EXPECT_EQ(rgb.pixel(0, 0), 0xFF575757u);
    EXPECT_EQ(rgb.pixel(1, 0), 0xFFFFFFFFu);
    // Premultiplied ARGB is worked on as it is: (64, 32, 0) at alpha 128
    // gives (704 + 512) >> 5 = 38 in place, the format kept.
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
        QPoint firstPoint, lastPoint;
    };
    // Tiles are visited tile row by tile row, and in each tile row by row.
    const Case cases[] = {
        {QRect(120, 125, 20, 10), 200, QPoint(120, 125), QPoint(139, 134)},
        {QRect(-10, -10, 15, 12), 10, QPoint(0, 0), QPoint(4, 1)},
        {QRect(290, 190, 50, 50), 100, QPoint(290, 190), QPoint(299, 199)},
        {QRect(300, 0, 10, 10), 0, QPoint(), QPoint()},
        {QRect(-50, -50, 10, 10), 0, QPoint(), QPoint()},
        {QRect(0, 0, 300, 200), 60000, QPoint(0, 0), QPoint(299, 199)},
        // Corners swapped: the rectangle between them, as QRect's operator& takes it.
        {QRect(QPoint(10, 5), QPoint(5, 6)), 12, QPoint(5, 5), QPoint(10, 6)},
        // Spans wider than the int range: clipped without overflowing.
        {QRect(QPoint(INT_MIN + 5, 1), QPoint(INT_MAX, 2)), 600, QPoint(0, 1), QPoint(299, 2)},
        {QRect(QPoint(-5, INT_MIN + 3), QPoint(4, INT_MAX)), 1000, QPoint(0, 0), QPoint(4, 199)},
        {QRect(QPoint(INT_MIN, INT_MIN), QPoint(INT_MAX, INT_MAX)), 60000, QPoint(0, 0), QPoint(299, 199)},
    };
    for (const Case& c : cases) {
        int count = 0;
        QPoint firstPoint, lastPoint;
        bool pixelsMatch = true;
        auto withCoordinates = [&](int x, int y, const KXRGBA32i* p) {
            if (count++ == 0)
                firstPoint = QPoint(x, y);
            lastPoint = QPoint(x, y);
            pixelsMatch = pixelsMatch && p->b == (x & 0xFF) && p->g == (y & 0xFF);
        };
        EXPECT_TRUE(VisitPixelsWithCoordinates(image, c.rect, withCoordinates));
        EXPECT_EQ(count, c.count);
        EXPECT_TRUE(pixelsMatch);
        if (c.count) {
            EXPECT_EQ(firstPoint, c.firstPoint);
            EXPECT_EQ(lastPoint, c.lastPoint);
        }
        int plain = 0;
        uint64_t sum = 0;
        auto counter = [&](const KXRGBA32i& p) {
            ++plain;
            sum += p.b;
        };
        EXPECT_TRUE(VisitPixels(image, c.rect, counter));
        EXPECT_EQ(plain, c.count);
    }
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
    EXPECT_FALSE(VisitPixels(image, image.Rect(), failing));
    EXPECT_EQ(calls, 3);
    auto unknown = [](int, int, const KXRGBA32i*) { throw 42; };
    EXPECT_FALSE(VisitPixelsWithCoordinates(image, image.Rect(), unknown));
    EXPECT_EQ(capture.Messages(),
              QStringList({QStringLiteral("Unexpected exception: line=851, file=\"include/KXTransformImageColors\". "
                                          "Exception content:\"boom\""),
                           QStringLiteral("Unexpected unknown exception: line=930, "
                                          "file=\"include/KXTransformImageColors\"")}));
    EXPECT_EQ(capture.Lines().size(), 2);
    EXPECT_TRUE(QRegularExpression(QString::fromLatin1(KXTest::ReportPrefixPattern())).match(capture.Lines()[0]).hasMatch());
}

TEST(KXTransformImageColors, RectangleWriterTouchesOnlyItsTiles)
{
    Image image = Pattern();
    const Image before = image;
    const long long blocks = Available();
    // Pixels 100 … 139 x 10 … 19: tiles (0, 0) and (1, 0) only.
    TransformPixels(image, QRect(100, 10, 40, 10), KXRGBChannelFilter(KXRGBChannelFilter::NoBlue));
    EXPECT_EQ(Available(), blocks - 2);
    EXPECT_EQ(image.GetColor(100, 10).b, 0);
    EXPECT_EQ(image.GetColor(139, 19).b, 0);
    EXPECT_EQ(image.GetColor(99, 10), before.GetColor(99, 10));
    EXPECT_EQ(image.GetColor(140, 19), before.GetColor(140, 19));
    EXPECT_EQ(image.GetColor(100, 20), before.GetColor(100, 20));
    EXPECT_EQ(image.Tile(2, 0)->data(), before.Tile(2, 0)->data()) << "untouched tiles stay shared";
    // A row given as a span wider than the int range: the whole row, tiles (0 … 2, 1).
    TransformPixels(image, QRect(QPoint(INT_MIN + 5, 150), QPoint(INT_MAX, 150)),
                    KXRGBChannelFilter(KXRGBChannelFilter::NoBlue));
    EXPECT_EQ(Available(), blocks - 5);
    EXPECT_EQ(image.GetColor(0, 150).b, 0);
    EXPECT_EQ(image.GetColor(299, 150).b, 0);
    EXPECT_EQ(image.GetColor(299, 151), before.GetColor(299, 151));
}

TEST(KXTransformImageColors, ParallelWriterMixesSharedAndPrivateTiles)
{
    // 6 x 4 tiles with margins; every other tile is made private to `image`
    // first, so the walk hands out fresh blocks to the shared ones only and
    // each must land on its own tile whatever thread takes it.
    const auto original = [](unsigned int x, unsigned int y) {
        return KXRGBA32i(0xC0000000u | (x * 7 & 0xFF) << 16 | (y * 3 & 0xFF) << 8 | ((x ^ y) & 0xFF));
    };
    Image image(6 * 128 - 5, 4 * 128 - 7);
    std::vector<KXRGBA32i> row(image.Width());
    for (unsigned int y = 0; y < image.Height(); ++y) {
        for (unsigned int x = 0; x < image.Width(); ++x)
            row[x] = original(x, y);
        image.SetLine(y, row.data(), image.Width() * 4);
    }
    const Image before = image;
    for (unsigned int r = 0; r < 4; ++r)
        for (unsigned int c = (r & 1); c < 6; c += 2)
            image.SetColor(c * 128, r * 128, image.GetColor(c * 128, r * 128)); // detaches
    const long long blocks = Available();
    // Red and blue swapped: a rule that changes every pixel here.
    const auto swap = [](KXRGBA32i& p) { std::swap(p.r, p.b); };
    TransformPixels(image, swap);
    EXPECT_EQ(Available(), blocks - 12) << "one fresh block for each of the 12 shared tiles";
    int wrong = 0, changed = 0;
    for (unsigned int y = 0; y < image.Height(); ++y)
        for (unsigned int x = 0; x < image.Width(); ++x) {
            const KXRGBA32i old = original(x, y), now = image.GetColor(x, y);
            wrong += now.r != old.b || now.b != old.r || now.g != old.g || now.a != old.a;
            changed += before.GetColor(x, y) != old;
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(changed, 0) << "the image that shared the tiles keeps its pixels";
}
