#include "EditorFixture.h"

#include <VQTileManager64.h>

#include <QApplication>

namespace kxedit_test {
int RunEditorTest(int argc, char** argv);
int RunEditingTest(int argc, char** argv);
int RunFilesTest(int argc, char** argv);
} // namespace kxedit_test

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    VQTileManager64::InitInstance(false);
    const long long free = VQTileManager64::Instance()->GetAvailableCount();
    int status = kxedit_test::RunEditorTest(argc, argv);
    status |= kxedit_test::RunEditingTest(argc, argv);
    status |= kxedit_test::RunFilesTest(argc, argv);
    // Every block of every image came back.
    if (VQTileManager64::Instance()->GetAvailableCount() != free) {
        qWarning("tile blocks not returned: %lld", free - VQTileManager64::Instance()->GetAvailableCount());
        status = 1;
    }
    VQTileManager64::ReleaseInstance();
    return status;
}
