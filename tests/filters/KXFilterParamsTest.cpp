// The parameter streams: the default bytes, the round trip, the logged
// failures, and the vignette's two versions.

#include "KXFilterParams.h"
#include "KXTestSupport.h"

#include <gtest/gtest.h>

#include <QBuffer>

namespace {

template <class Params>
QByteArray Written(const Params& params)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    EXPECT_TRUE(params.Write(stream));
    return bytes;
}

// The one message a log holds, or an empty string.
QString OnlyMessage(const KXTest::LogCapture& log)
{
    const QStringList ours = log.Messages().filter(QStringLiteral("src/KXFilterProcessing"));
    return ours.size() == 1 ? ours[0] : QString();
}

// One record: the default bytes after its header worked out by hand
// (big-endian), its log messages and a change of every field. Checks the
// bytes, the round trip, that a failed read (a wrong first or last header
// byte, a header or a field cut short) logs and leaves the defaults, and
// that a failed write logs.
template <class Params, class Change>
void Check(const char* header, const char* fieldsHex, const char* readError, const char* writeError, Change change)
{
    SCOPED_TRACE(header);
    KXTest::LogCapture log;
    QByteArray defaults;
    {
        QDataStream stream(&defaults, QIODevice::WriteOnly);
        stream << Params();
    }
    EXPECT_EQ(defaults.toHex(), QByteArray(header).toHex() + QByteArray(fieldsHex));
    Params changed;
    change(changed);
    const QByteArray changedBytes = Written(changed);
    const auto readIntoChanged = [&](const QByteArray& bytes) {
        Params p;
        change(p);
        QDataStream stream(bytes);
        stream >> p;
        return Written(p);
    };
    EXPECT_EQ(readIntoChanged(changedBytes), changedBytes);
    EXPECT_EQ(readIntoChanged(defaults), defaults);
    EXPECT_TRUE(log.Lines().isEmpty());
    const int headerLength = int(strlen(header));
    QByteArray firstWrong = changedBytes, lastWrong = changedBytes;
    firstWrong[0] = 'W';
    lastWrong[headerLength - 1] = '9';
    for (const QByteArray& broken : {firstWrong, lastWrong, changedBytes.left(headerLength - 1),
                                     changedBytes.left(changedBytes.size() - 1)}) {
        log.Clear();
        EXPECT_EQ(readIntoChanged(broken), defaults);
        EXPECT_TRUE(OnlyMessage(log).endsWith(QString("\". ") + readError)) << OnlyMessage(log).toStdString();
    }
    log.Clear();
    QByteArray target;
    QBuffer readOnly(&target);
    readOnly.open(QIODevice::ReadOnly);
    QDataStream stream(&readOnly);
    stream << Params(); // Qt warns about the device as well
    EXPECT_TRUE(OnlyMessage(log).endsWith(QString("\". ") + writeError)) << OnlyMessage(log).toStdString();
}

// QColor in a stream: its colour model (1, RGB), then alpha, red, green, blue and a pad
// as 16-bit values (an 8-bit channel c is c * 257).
#define KX_BLACK "01" "ffff" "0000" "0000" "0000" "0000"
#define KX_WHITE "01" "ffff" "ffff" "ffff" "ffff" "0000"

} // namespace

TEST(KXFilterParams, EveryRecordStreamsLogsAndResets)
{
    Check<KXBoxBlurParams>("VQBoxBlur 1.00000", "00000005", "Read box blur data error.", "Write box blur data error.",
                           [](KXBoxBlurParams& p) { p.radius = -3; });
    // 5.0 = 0x4014000000000000 as an IEEE double.
    Check<KXGaussianBlurParams>("VQGaussianBlur 1.00000", "4014000000000000", "Read gaussian blur data error.",
                                "Write gaussian blur data error.", [](KXGaussianBlurParams& p) { p.sigma = 0.75; });
    Check<KXSharpenParams>("VQSharpen 1.00000", "0000000a", "Read sharpen data error.", "Write sharpen data error.",
                           [](KXSharpenParams& p) { p.strength = 200; });
    Check<KXSmoothenParams>("VQSmoothen 1.00000", "0000000a", "Read smoothen data error.",
                            "Write smoothen data error.", [](KXSmoothenParams& p) { p.strength = 0; });
    // 10.0; 1; 100.
    Check<KXHighPassParams>("VQHighPass 1.00000", "4024000000000000" "00000001" "00000064",
                            "Read high pass data error.", "Write high pass data error.",
                            [](KXHighPassParams& p) { p.sigma = 2.5, p.modeIndex = 3, p.amount = 40; });
    // 50; 0; true as the int 1.
    Check<KXAddNoiseParams>("VQAddNoise 1.00000", "00000032" "00000000" "00000001", "Read add noise data error.",
                            "Write add noise data error.",
                            [](KXAddNoiseParams& p) { p.amount = 7, p.distribution = 1, p.flag = false; });
    // 100; 5; 128; white; 0.
    Check<KXDiffuseGlowParams>("VQDiffuseGlow 1.00000", "00000064" "00000005" "00000080" KX_WHITE "00000000",
                               "Read diffuse glow data error.", "Write diffuse glow data error.",
                               [](KXDiffuseGlowParams& p) {
                                   p.opacity = 1, p.sigma = 2, p.threshold = 3, p.placement = 4;
                                   p.colour = QColor(10, 20, 30, 40);
                               });
    // reach 1, amount 100, curve 1, then the colour black.
    Check<KXVignetteParams>("VQVignette 1.00001", "00000001" "00000064" "00000001" KX_BLACK,
                            "Read vignette data error.", "Write vignette data error.",
                            [](KXVignetteParams& p) { p.reach = 9, p.amount = 8, p.curve = 0, p.colour = Qt::red; });
    // 135; black; 75; 25; 0; 20; 0.
    const auto shadow = [](KXShadowParamsFields& p) {
        p.extra1 = 1, p.extra2 = 2, p.extra3 = 3, p.extra4 = 4, p.size = 5, p.extra5 = 6;
        p.colour = Qt::blue;
    };
    const char* shadowFields = "00000087" KX_BLACK "0000004b" "00000019" "00000000" "00000014" "00000000";
    Check<KXDropShadowParams>("VQDropShadow 1.00000", shadowFields, "Read drop shadow data error.",
                              "Write drop shadow data error.", shadow);
    Check<KXInnerShadowParams>("VQInnerShadow 1.00000", shadowFields, "Read inner shadow data error.",
                               "Write inner shadow data error.", shadow);
    Check<KXRefineSelectionParams>("VQRefineSelection 1.00000", "0000000000000000" "00000000",
                                   "Read refine selection data error.", "Write refine selection data error.",
                                   [](KXRefineSelectionParams& p) { p.radius = 3.5, p.shift = -2; });
}

TEST(KXFilterParams, VignetteReadsBothVersionsAndWritesTheNewer)
{
    // Version 1.00000: reach 7, amount 50, curve 0, and no colour (black).
    KXVignetteParams p;
    p.colour = Qt::green;
    QDataStream stream(QByteArray("VQVignette 1.00000") + QByteArray::fromHex("00000007" "00000032" "00000000"));
    stream >> p; // a failed read would log and leave the defaults (reach 1, amount 100, curve 1)
    EXPECT_EQ(std::make_tuple(p.reach, p.amount, p.curve, p.colour), std::make_tuple(7, 50, 0, QColor(Qt::black)));
    // In memory the colour sits before the curve; the stream puts it last.
    p.colour = Qt::red;
    EXPECT_EQ(Written(p).toHex(), QByteArray("VQVignette 1.00001").toHex() +
                                      "00000007" "00000032" "00000000" "01" "ffff" "ffff" "0000" "0000" "0000");
}
