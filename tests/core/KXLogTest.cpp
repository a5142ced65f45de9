#include "core/KXLogMacros.h"
#include "KXTestSupport.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <stdexcept>

TEST(KXLog, ThreeReportFormsAndGuards)
{
    KXTest::LogCapture log;
    KX_LOG_REPORT("src/VQTileManager64", QStringLiteral("Destroy %1"));
    const int reportLine = __LINE__ - 1;

    // A standard exception is logged and passed on.
    const KXLog::Site imageSite = KX_SITE("src/KXImage");
    const int guardLine = __LINE__ - 1;
    EXPECT_THROW(KXLog::GuardRethrow(imageSite, []() -> int { throw std::out_of_range("KXImage::GetColor"); }),
                 std::out_of_range);
    // Anything else is logged as unknown; GuardStd passes it on.
    const KXLog::Site headerSite = KX_SITE("include/KXImage");
    const int unknownLine = __LINE__ - 1;
    EXPECT_THROW(KXLog::GuardStd(headerSite, [] { throw 42; }), int);
    // GuardAll swallows everything and returns the fallback.
    EXPECT_FALSE(KXLog::GuardAll(KX_SITE("src/X"), []() -> bool { throw 1; }, false));

    ASSERT_EQ(log.Lines().size(), 4);
    const QRegularExpression prefix(QString::fromLatin1(KXTest::ReportPrefixPattern()));
    for (const QString& line : log.Lines())
        EXPECT_TRUE(prefix.match(line).hasMatch()) << line.toStdString();
    const QStringList messages = log.Messages();
    // "%1" inside a message is left alone.
    EXPECT_EQ(messages[0], QStringLiteral("Line=%1, file=\"src/VQTileManager64\". Destroy ").arg(reportLine) + "%1");
    EXPECT_EQ(messages[1], QStringLiteral("Unexpected exception: line=%1, file=\"src/KXImage\". "
                                          "Exception content:\"KXImage::GetColor\"")
                               .arg(guardLine));
    EXPECT_EQ(messages[2],
              QStringLiteral("Unexpected unknown exception: line=%1, file=\"include/KXImage\"").arg(unknownLine));
}
