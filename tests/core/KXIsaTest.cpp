// The instruction-set switch: the KXCORE_ISA setting, its fallback and its
// log line, and the test hook.

#include "core/KXIsa.h"
#include "KXTestSupport.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <cstring>

namespace {

using KXIsa::Level;

struct SettingCase {
    const char* value;
    Level probed;
    Level expected;
    const char* logged; // the message, or null for no line
};

class KXIsaSetting : public testing::TestWithParam<SettingCase> {
};

TEST_P(KXIsaSetting, ChoosesTheLevelAndLogsAFallbackOnce)
{
    const SettingCase& c = GetParam();
    KXTest::LogCapture log;
    EXPECT_EQ(KXIsa::FromSetting(c.value, c.probed), c.expected);
    if (!c.logged) {
        EXPECT_TRUE(log.Lines().isEmpty()) << log.Lines().join('\n').toStdString();
        return;
    }
    ASSERT_EQ(log.Lines().size(), 1);
    const QRegularExpression prefix(QString::fromLatin1(KXTest::ReportPrefixPattern()));
    EXPECT_TRUE(prefix.match(log.Lines()[0]).hasMatch()) << log.Lines()[0].toStdString();
    EXPECT_TRUE(log.Messages()[0].startsWith(QStringLiteral("Line=")));
    EXPECT_TRUE(log.Messages()[0].endsWith(QStringLiteral("file=\"src/KXIsa\". ") + QString::fromLatin1(c.logged)))
        << log.Messages()[0].toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Values, KXIsaSetting,
    testing::Values(SettingCase{nullptr, Level::Avx512, Level::Avx512, nullptr},
                    SettingCase{"", Level::Avx2, Level::Avx2, nullptr},
                    SettingCase{"plain", Level::Avx512, Level::Plain, nullptr},
                    SettingCase{"sse2", Level::Avx2, Level::Sse2, nullptr},
                    SettingCase{"avx2", Level::Avx512, Level::Avx2, nullptr},
                    SettingCase{"avx512", Level::Avx512, Level::Avx512, nullptr},
                    SettingCase{"avx2", Level::Avx2, Level::Avx2, nullptr},
                    // Above the processor: its best, with one line.
                    SettingCase{"avx512", Level::Avx2, Level::Avx2,
                                "KXCORE_ISA=avx512: the processor lacks it, using avx2"},
                    SettingCase{"avx2", Level::Sse2, Level::Sse2, "KXCORE_ISA=avx2: the processor lacks it, using sse2"},
                    SettingCase{"sse2", Level::Plain, Level::Plain,
                                "KXCORE_ISA=sse2: the processor lacks it, using plain"},
                    // Unknown (names are lower case and exact): the best, with one line.
                    SettingCase{"AVX2", Level::Avx512, Level::Avx512,
                                "KXCORE_ISA=AVX2 is not one of plain, sse2, avx2, avx512: using avx512"},
                    SettingCase{"avx", Level::Avx2, Level::Avx2,
                                "KXCORE_ISA=avx is not one of plain, sse2, avx2, avx512: using avx2"},
                    SettingCase{"avx2 ", Level::Avx2, Level::Avx2,
                                "KXCORE_ISA=avx2  is not one of plain, sse2, avx2, avx512: using avx2"}));

TEST(KXIsa, NamesAreTheSettingsValues)
{
    const char* names[] = {"plain", "sse2", "avx2", "avx512"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_STREQ(KXIsa::Name(KXIsa::kLevels[i]), names[i]);
        EXPECT_EQ(KXIsa::FromSetting(names[i], Level::Avx512), KXIsa::kLevels[i]);
    }
}

TEST(KXIsa, ChosenLevelIsTheEnvironmentsAtMostTheProcessors)
{
    EXPECT_LE(int(KXIsa::Chosen()), int(KXIsa::Probed()));
    const char* setting = std::getenv("KXCORE_ISA");
    EXPECT_EQ(KXIsa::Chosen(), KXIsa::FromSetting(setting, KXIsa::Probed()));
    EXPECT_EQ(KXIsa::Current(), KXIsa::Chosen());
#if defined(KX_ISA_X86)
    EXPECT_GE(int(KXIsa::Probed()), int(Level::Sse2)); // every x86-64 processor has SSE2
#else
    EXPECT_EQ(KXIsa::Probed(), Level::Plain);
#endif
}

TEST(KXIsa, TestHookSetsTheLevelUpToTheChosenOne)
{
    for (const Level level : KXIsa::kLevels) {
        KXIsa::SetForTesting(level);
        EXPECT_EQ(KXIsa::Current(), int(level) <= int(KXIsa::Chosen()) ? level : KXIsa::Chosen());
        EXPECT_TRUE(KXIsa::Allows(Level::Plain));
        EXPECT_EQ(KXIsa::Allows(Level::Avx512), KXIsa::Current() == Level::Avx512);
    }
    KXIsa::ClearForTesting();
    EXPECT_EQ(KXIsa::Current(), KXIsa::Chosen());
}

} // namespace
