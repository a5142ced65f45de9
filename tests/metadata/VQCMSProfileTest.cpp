#include "VQCMSProfile.h"

#include "KXTestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <lcms2.h>
#include <lcms2_plugin.h>

#include <cstdlib>
#include "KXTestProfiles.h"

#include <mutex>
#include <set>
#include <vector>

namespace {

using namespace KXTestProfiles;

// A valid profile header with no tags at all, so no description.
QByteArray NoDescriptionBytes()
{
    cmsHPROFILE handle = cmsCreateProfilePlaceholder(nullptr);
    cmsSetDeviceClass(handle, cmsSigAbstractClass);
    cmsSetColorSpace(handle, cmsSigRgbData);
    cmsSetPCS(handle, cmsSigXYZData);
    return SaveAndClose(handle);
}

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

TEST(VQCMSProfile, DefaultConstructedIsEmpty)
{
    KXTest::LogCapture log;
    const VQCMSProfile profile;
    char buffer[16] = {};
    QTemporaryDir dir;
    EXPECT_TRUE(profile.IsEmpty());
    EXPECT_EQ(profile.GetColorSpace(), 0u);
    EXPECT_EQ(profile.GetMemSize(), 0);
    EXPECT_EQ(profile.Save(buffer, sizeof buffer), 0);
    EXPECT_TRUE(profile.GetInfo().isEmpty());
    EXPECT_TRUE(profile.ToByteArray().isEmpty());
    EXPECT_FALSE(profile.Save(dir.filePath(QStringLiteral("empty.icc"))));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("empty.icc"))));
    EXPECT_TRUE(log.Lines().isEmpty());
}

TEST(VQCMSProfile, LoadsFromMemoryAndFile)
{
    struct Case {
        const char* name;
        QByteArray bytes;
        unsigned int colorSpace;
        QString info;
    };
    const Case cases[] = {
        {"sRGB", SrgbBytes(), 0x52474220, Info("sRGB built-in")},
        {"wide", WideRgbBytes(L"Wide RGB"), 0x52474220, Info("Wide RGB")},
        // Non-ASCII description characters come out as Latin-1.
        {"latin1", WideRgbBytes(L"Caf\u00e9 RGB"), 0x52474220, Info("Caf\xe9 RGB")},
        {"Lab", LabBytes(), 0x4C616220, Info("Lab identity built-in")},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VQCMSProfile fromMemory;
        ASSERT_TRUE(fromMemory.Load(c.bytes.constData(), c.bytes.size()));
        VQCMSProfile fromFile;
        ASSERT_TRUE(fromFile.Load(WriteFile(dir, QString::fromLatin1(c.name), c.bytes)));
        for (const VQCMSProfile* p : Profiles{&fromMemory, &fromFile}) {
            EXPECT_FALSE(p->IsEmpty());
            EXPECT_EQ(p->GetColorSpace(), c.colorSpace);
            EXPECT_EQ(p->GetInfo(), c.info);
        }
    }
    EXPECT_EQ(VQCMSProfile::RGB, 0x52474220u);
    EXPECT_EQ(VQCMSProfile::Lab, 0x4C616220u);
}

TEST(VQCMSProfile, FailedLoadKeepsTheOldProfile)
{
    const QByteArray srgb = SrgbBytes();
    const QByteArray garbage(300, 'x');
    const QByteArray truncated = LabBytes().left(100); // not even a whole header
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    VQCMSProfile profile = Loaded(srgb);
    const VQCMSProfile copy = profile;
    EXPECT_FALSE(profile.Load(garbage.constData(), garbage.size()));
    EXPECT_FALSE(profile.FromByteArray(truncated));
    EXPECT_FALSE(profile.Load(dir.filePath(QStringLiteral("missing.icc"))));
    EXPECT_FALSE(profile.Load(dir.path())); // a directory cannot be read as a file
    EXPECT_FALSE(profile.Load(WriteFile(dir, QStringLiteral("garbage.icc"), garbage)));
    for (const VQCMSProfile* p : Profiles{&profile, &copy}) {
        EXPECT_FALSE(p->IsEmpty());
        EXPECT_EQ(p->GetInfo(), Info("sRGB built-in"));
    }
}

TEST(VQCMSProfile, LoadOfSizeZeroEmptiesOnlyThisObject)
{
    const QByteArray srgb = SrgbBytes();
    const QByteArray lab = LabBytes();
    VQCMSProfile profile = Loaded(srgb);
    const VQCMSProfile copy = profile;

    EXPECT_TRUE(profile.Load(srgb.constData(), 0));
    EXPECT_TRUE(profile.IsEmpty());
    EXPECT_EQ(copy.GetInfo(), Info("sRGB built-in"));

    // The emptied object no longer shares: a new load leaves the copy alone.
    EXPECT_TRUE(profile.FromByteArray(lab));
    EXPECT_EQ(profile.GetColorSpace(), VQCMSProfile::Lab);
    EXPECT_EQ(copy.GetColorSpace(), VQCMSProfile::RGB);
}

TEST(VQCMSProfile, CopiesShareALoad)
{
    VQCMSProfile profile = Loaded(SrgbBytes());
    const VQCMSProfile constructed(profile);
    VQCMSProfile assigned;
    assigned = profile;
    profile = profile;
    ASSERT_FALSE(profile.IsEmpty());

    ASSERT_TRUE(assigned.FromByteArray(LabBytes()));
    for (const VQCMSProfile* p : Profiles{&profile, &constructed, &assigned}) {
        EXPECT_EQ(p->GetColorSpace(), VQCMSProfile::Lab);
        EXPECT_EQ(p->GetInfo(), Info("Lab identity built-in"));
    }
}

TEST(VQCMSProfile, SavesIntoABufferOnlyWhenItIsLargeEnough)
{
    const VQCMSProfile profile = Loaded(WideRgbBytes(L"Wide RGB"));
    const int size = profile.GetMemSize();
    ASSERT_GT(size, 128); // at least the ICC header
    std::vector<char> buffer(size + 10, '\x5A');

    EXPECT_EQ(profile.Save(buffer.data(), size - 1), -1);
    EXPECT_EQ(profile.Save(buffer.data(), size), size);
    EXPECT_EQ(profile.Save(buffer.data(), size + 10), size);
    EXPECT_EQ(buffer[size], '\x5A'); // nothing written past the profile
    EXPECT_EQ(QByteArray(buffer.data(), size), profile.ToByteArray());
}

TEST(VQCMSProfile, ByteArrayAndFileRoundTrips)
{
    const QByteArray sources[] = {SrgbBytes(), WideRgbBytes(L"Wide RGB"), LabBytes()};
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const QByteArray& source : sources) {
        const VQCMSProfile profile = Loaded(source);
        const QByteArray bytes = profile.ToByteArray();
        EXPECT_EQ(bytes.size(), profile.GetMemSize());

        VQCMSProfile again;
        ASSERT_TRUE(again.FromByteArray(bytes));
        EXPECT_EQ(again.GetInfo(), profile.GetInfo());
        EXPECT_EQ(again.GetColorSpace(), profile.GetColorSpace());
        EXPECT_EQ(again.ToByteArray(), bytes);

        // Saving over a longer file truncates it.
        const QString path = WriteFile(dir, QStringLiteral("profile.icc"), QByteArray(100000, 'x'));
        ASSERT_TRUE(profile.Save(path));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), bytes);
    }
    EXPECT_FALSE(Loaded(SrgbBytes()).Save(dir.filePath(QStringLiteral("no/such/dir/profile.icc"))));
}

TEST(VQCMSProfile, ComparesByDescription)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    VQCMSProfile srgb, alias, wide;
    ASSERT_TRUE(srgb.Load(WriteFile(dir, QStringLiteral("srgb.icc"), SrgbBytes())));
    // Other primaries, but the same description as the sRGB profile.
    const QByteArray aliasBytes = WideRgbBytes(L"sRGB built-in");
    ASSERT_TRUE(alias.Load(WriteFile(dir, QStringLiteral("alias.icc"), aliasBytes)));
    ASSERT_TRUE(wide.Load(WriteFile(dir, QStringLiteral("wide.icc"), WideRgbBytes(L"Wide RGB"))));
    ASSERT_NE(srgb.ToByteArray(), alias.ToByteArray());
    const VQCMSProfile empty, otherEmpty;

    EXPECT_TRUE(srgb == alias);
    EXPECT_FALSE(srgb != alias);
    EXPECT_TRUE(srgb != wide);
    EXPECT_FALSE(srgb == wide);
    EXPECT_TRUE(srgb == srgb);
    EXPECT_TRUE(empty == otherEmpty);
    EXPECT_TRUE(empty != srgb);
}

TEST(VQCMSProfile, UnreadableDescriptionIsLogged)
{
    const VQCMSProfile profile = Loaded(NoDescriptionBytes());
    ASSERT_FALSE(profile.IsEmpty());
    EXPECT_EQ(profile.GetColorSpace(), VQCMSProfile::RGB);

    KXTest::LogCapture log;
    EXPECT_TRUE(profile.GetInfo().isEmpty());
    ASSERT_EQ(log.Lines().size(), 1);
    EXPECT_TRUE(log.Lines()[0].contains(QRegularExpression(KXTest::ReportPrefixPattern())));
    EXPECT_TRUE(log.Messages()[0].contains(QRegularExpression(
        R"(^Line=\d+, file="src/VQCMSProfile"\. Read profile info error\.$)")))
        << log.Messages()[0].toStdString();
}

// Counts the Little CMS allocations made while it is alive, so that a test can
// check that every profile handle was closed exactly when the last copy went.
class LcmsAllocations {
public:
    LcmsAllocations()
    {
        s_live.clear();
        s_plugin.base.Magic = cmsPluginMagicNumber;
        s_plugin.base.ExpectedVersion = 2000;
        s_plugin.base.Type = cmsPluginMemHandlerSig;
        s_plugin.MallocPtr = &Malloc;
        s_plugin.FreePtr = &Free;
        s_plugin.ReallocPtr = &Realloc;
        EXPECT_TRUE(cmsPlugin(&s_plugin));
    }
    ~LcmsAllocations() { cmsUnregisterPlugins(); }
    size_t Live() const
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        return s_live.size();
    }

private:
    static void* Malloc(cmsContext, cmsUInt32Number size)
    {
        void* p = std::malloc(size);
        std::lock_guard<std::mutex> lock(s_mutex);
        s_live.insert(p);
        return p;
    }
    static void Free(cmsContext, void* p)
    {
        {
            std::lock_guard<std::mutex> lock(s_mutex);
            s_live.erase(p);
        }
        std::free(p);
    }
    static void* Realloc(cmsContext, void* p, cmsUInt32Number size)
    {
        void* q = std::realloc(p, size);
        std::lock_guard<std::mutex> lock(s_mutex);
        if (q && s_live.erase(p) + (p == nullptr) > 0)
            s_live.insert(q);
        return q;
    }

    static cmsPluginMemHandler s_plugin;
    static std::mutex s_mutex;
    static std::set<void*> s_live;
};
cmsPluginMemHandler LcmsAllocations::s_plugin = {};
std::mutex LcmsAllocations::s_mutex;
std::set<void*> LcmsAllocations::s_live;

TEST(VQCMSProfile, ClosesTheProfileWhenTheLastCopyGoes)
{
    const QByteArray srgb = SrgbBytes();
    const QByteArray lab = LabBytes();
    LcmsAllocations allocations;
    {
        VQCMSProfile profile = Loaded(srgb);
        const size_t oneProfile = allocations.Live();
        ASSERT_GT(oneProfile, 0u);
        {
            std::vector<VQCMSProfile> copies(5, profile);
            EXPECT_EQ(allocations.Live(), oneProfile);
        }
        EXPECT_EQ(allocations.Live(), oneProfile);
        VQCMSProfile copy = profile;
        ASSERT_TRUE(profile.Load(srgb.constData(), 0)); // the copy still holds it
        EXPECT_EQ(allocations.Live(), oneProfile);
        ASSERT_TRUE(copy.FromByteArray(lab)); // replaces the handle in the holder
        EXPECT_FALSE(copy.GetInfo().isEmpty());
        ASSERT_TRUE(copy.FromByteArray(srgb));
        EXPECT_EQ(allocations.Live(), oneProfile);
    }
    EXPECT_EQ(allocations.Live(), 0u);
}
