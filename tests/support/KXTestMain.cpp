// The main() of every test binary: starts the tile manager once, and fails
// any test after which not every tile block has come back to it.

#include "KXTestSupport.h"

#include "VQTileManager64.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

QMutex gLogMutex;
QStringList gLines;
bool gCapturing = false;
QtMessageHandler gPreviousHandler = nullptr;

void CaptureHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    {
        QMutexLocker lock(&gLogMutex);
        if (gCapturing) {
            gLines << message;
            return;
        }
    }
    if (gPreviousHandler)
        gPreviousHandler(type, context, message);
}

class BlockLeakListener : public testing::EmptyTestEventListener {
public:
    void OnTestStart(const testing::TestInfo&) override
    {
        m_available = VQTileManager64::Instance()->GetAvailableCount();
    }
    // End events reach listeners in reverse order, so this runs before the
    // result printer and a failure here is reported against the test.
    void OnTestEnd(const testing::TestInfo&) override
    {
        EXPECT_EQ(VQTileManager64::Instance()->GetAvailableCount(), m_available)
            << "tile blocks were not returned to the tile manager";
    }

private:
    long long m_available = 0;
};

} // namespace

namespace KXTest {

LogCapture::LogCapture()
{
    QMutexLocker lock(&gLogMutex);
    gLines.clear();
    gCapturing = true;
}

LogCapture::~LogCapture()
{
    QMutexLocker lock(&gLogMutex);
    gCapturing = false;
    gLines.clear();
}

const QStringList& LogCapture::Lines() const
{
    return gLines;
}

QStringList LogCapture::Messages() const
{
    QStringList out;
    const QRegularExpression prefix(QString::fromLatin1(ReportPrefixPattern()));
    QMutexLocker lock(&gLogMutex);
    for (const QString& line : gLines) {
        QString copy = line;
        out << copy.remove(prefix);
    }
    return out;
}

void LogCapture::Clear()
{
    QMutexLocker lock(&gLogMutex);
    gLines.clear();
}

} // namespace KXTest

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // Text drawing needs a GUI application; the offscreen platform needs no
    // display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app;
#ifdef KX_TEST_GUI
    app.reset(new QGuiApplication(argc, argv));
#else
    app.reset(new QCoreApplication(argc, argv));
#endif
    gPreviousHandler = qInstallMessageHandler(CaptureHandler);

    VQTileManager64::InitInstance(false);
    testing::UnitTest::GetInstance()->listeners().Append(new BlockLeakListener);
    const int result = RUN_ALL_TESTS();
    VQTileManager64::ReleaseInstance();
    return result;
}
