#include "VQCMSProfile.h"

#include "KXTestProfiles.h"
#include "KXTestSupport.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <lcms2.h>

#include <vector>

namespace {

using namespace KXTestProfiles;
using Profiles = std::initializer_list<const VQCMSProfile*>;

VQCMSProfile Loaded(const QByteArray& bytes)
{
    VQCMSProfile profile;
    EXPECT_TRUE(profile.FromByteArray(bytes));
    return profile;
}

// GetInfo keeps the terminating zero that Little CMS counts.
QString Info(const char* latin1)
{
    return QString::fromLatin1(latin1) + QChar(0);
}

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_EQ(file.write(bytes), bytes.size());
    return path;
}

} // namespace

// Loaded from memory, saved into a buffer and over a longer file (which is
// truncated) and loaded from there, a profile keeps its colour space,
// description and bytes.
TEST(VQCMSProfile, LoadsAndSavesThroughMemoryAndFiles)
{
    const struct {
        const char* name;
        QByteArray bytes;
        unsigned int colorSpace;
        QString info;
    } cases[] = {
        {"sRGB", SrgbBytes(), 0x52474220, Info("sRGB built-in")},
        // Non-ASCII description characters come out as Latin-1.
        {"latin1", WideRgbBytes(L"Caf\u00e9 RGB"), 0x52474220, Info("Caf\xe9 RGB")},
        {"Lab", LabBytes(), 0x4C616220, Info("Lab identity built-in")},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VQCMSProfile fromMemory, fromFile;
        ASSERT_TRUE(fromMemory.Load(c.bytes.constData(), c.bytes.size()));
        // Into a buffer only when it is large enough, and nothing past the profile.
        const int size = fromMemory.GetMemSize();
        std::vector<char> buffer(size + 10, '\x5A');
        EXPECT_EQ(fromMemory.Save(buffer.data(), size - 1), -1);
        EXPECT_EQ(fromMemory.Save(buffer.data(), size), size);
        EXPECT_EQ(fromMemory.Save(buffer.data(), size + 10), size);
        EXPECT_EQ(buffer[size], '\x5A');
        const QByteArray bytes(buffer.data(), size);
        EXPECT_EQ(fromMemory.ToByteArray(), bytes);
        const QString path = WriteFile(dir, QString::fromLatin1(c.name), QByteArray(100000, 'x'));
        ASSERT_TRUE(fromMemory.Save(path));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), bytes);
        ASSERT_TRUE(fromFile.Load(path));
        for (const VQCMSProfile* p : Profiles{&fromMemory, &fromFile}) {
            EXPECT_EQ(p->GetColorSpace(), c.colorSpace);
            EXPECT_EQ(p->GetInfo(), c.info);
            EXPECT_EQ(p->ToByteArray(), bytes);
        }
    }
    EXPECT_FALSE(Loaded(SrgbBytes()).Save(dir.filePath(QStringLiteral("no/such/dir/profile.icc"))));
}

TEST(VQCMSProfile, FailedLoadKeepsTheOldProfile)
{
    const QByteArray garbage(300, 'x');
    QTemporaryDir dir;
    VQCMSProfile profile = Loaded(SrgbBytes());
    const VQCMSProfile copy = profile;
    EXPECT_FALSE(profile.Load(garbage.constData(), garbage.size()));
    EXPECT_FALSE(profile.FromByteArray(LabBytes().left(100))); // not even a whole header
    EXPECT_FALSE(profile.Load(dir.filePath(QStringLiteral("missing.icc"))));
    EXPECT_FALSE(profile.Load(WriteFile(dir, QStringLiteral("garbage.icc"), garbage)));
    for (const VQCMSProfile* p : Profiles{&profile, &copy})
        EXPECT_EQ(p->GetInfo(), Info("sRGB built-in"));
}

// Copies share one load: a load into any of them reaches all, and a load of
// size 0 empties only its own object (the sanitizer build sees a handle
// closed too early or never).
TEST(VQCMSProfile, CopiesShareALoad)
{
    const QByteArray srgb = SrgbBytes(), lab = LabBytes();
    VQCMSProfile profile = Loaded(srgb);
    std::vector<VQCMSProfile>(5, profile).clear(); // five copies come and go; the handle must stay open
    const VQCMSProfile constructed(profile);
    VQCMSProfile assigned;
    assigned = profile;
    const VQCMSProfile& same = profile;
    profile = same; // assignment to itself keeps the handle
    ASSERT_TRUE(assigned.FromByteArray(lab)); // replaces the handle all three hold
    for (const VQCMSProfile* p : Profiles{&profile, &constructed, &assigned})
        EXPECT_EQ(p->GetInfo(), Info("Lab identity built-in"));

    ASSERT_TRUE(profile.Load(srgb.constData(), 0));
    EXPECT_TRUE(profile.IsEmpty());
    EXPECT_EQ(constructed.GetColorSpace(), VQCMSProfile::Lab);
    ASSERT_TRUE(profile.FromByteArray(srgb)); // no longer shared: the copies keep theirs
    EXPECT_EQ(constructed.GetColorSpace(), VQCMSProfile::Lab);
    EXPECT_EQ(profile.GetColorSpace(), VQCMSProfile::RGB);
}

TEST(VQCMSProfile, ComparesByDescription)
{
    const VQCMSProfile srgb = Loaded(SrgbBytes()), wide = Loaded(WideRgbBytes(L"Wide RGB"));
    // Other primaries, but the same description as the sRGB profile.
    const VQCMSProfile alias = Loaded(WideRgbBytes(L"sRGB built-in"));
    const VQCMSProfile empty, otherEmpty;
    EXPECT_TRUE(srgb == alias);
    EXPECT_FALSE(srgb == wide);
    EXPECT_TRUE(empty == otherEmpty);
    EXPECT_TRUE(empty != srgb);
}

TEST(VQCMSProfile, UnreadableDescriptionIsLogged)
{
    // A valid profile header with no tags at all, so no description.
    cmsHPROFILE handle = cmsCreateProfilePlaceholder(nullptr);
    cmsSetDeviceClass(handle, cmsSigAbstractClass);
    cmsSetColorSpace(handle, cmsSigRgbData);
    cmsSetPCS(handle, cmsSigXYZData);
    const VQCMSProfile profile = Loaded(SaveAndClose(handle));
    EXPECT_EQ(profile.GetColorSpace(), VQCMSProfile::RGB);

    KXTest::LogCapture log;
    EXPECT_TRUE(profile.GetInfo().isEmpty());
    ASSERT_EQ(log.Messages().size(), 1);
    EXPECT_TRUE(log.Messages()[0].contains(
        QRegularExpression(R"(^Line=\d+, file="src/VQCMSProfile"\. Read profile info error\.$)")))
        << log.Messages()[0].toStdString();
}
