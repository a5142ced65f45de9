// Mistakes an editor's developer can make with the library's lifetime
// rules end the program with one log line that names the mistake, never
// with a bare crash. Each runs in a child of its own (death tests re-run
// this binary), which starts its own tile manager and has no
// QGuiApplication.

#include "KXImage.h"
#include "KXTextHelper.h"
#include "VQTileManager64.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>

#include <memory>

namespace {

class KXMisuseDeathTest : public testing::Test {
protected:
    void SetUp() override { testing::FLAGS_gtest_death_test_style = "threadsafe"; }
};

TEST_F(KXMisuseDeathTest, ImageBeforeTheTileManager)
{
    EXPECT_DEATH(
        {
            VQTileManager64::ReleaseInstance();
            KXImageRGBA32i image(10, 10);
        },
        "No tile manager: an image was made, used or destroyed before VQTileManager64::InitInstance\\(\\)");
}

TEST_F(KXMisuseDeathTest, ImageThatOutlivesTheTileManager)
{
    EXPECT_DEATH(
        {
            auto image = std::make_unique<KXImageRGBA32i>(300, 200);
            image->SetColor(5, 5, KXRGBA32i(0xff102030u));
            VQTileManager64::ReleaseInstance();
            image.reset();
        },
        "No tile manager: .* after ReleaseInstance\\(\\)");
    EXPECT_DEATH(
        {
            const KXImageRGBA32i image(300, 200);
            VQTileManager64::ReleaseInstance();
            (void)image.GetColor(5, 5);
        },
        "No tile manager");
}

TEST_F(KXMisuseDeathTest, TextWithoutAGuiApplication)
{
    ASSERT_EQ(qobject_cast<QGuiApplication*>(QCoreApplication::instance()), nullptr)
        << "this binary must run without a QGuiApplication";
    EXPECT_DEATH({ KXTextHelper helper; }, "KXTextHelper needs a QGuiApplication");
}

} // namespace
