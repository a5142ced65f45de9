#include "VQCMSProfile.h"

#include "core/KXLogMacros.h"

#include <QFile>

#include <lcms2.h>

#include <memory>
#include <vector>

namespace {

const char* const kLogFile = "src/VQCMSProfile";

// Owns one Little CMS profile handle (or none); shared by all copies of a
// VQCMSProfile through a std::shared_ptr, whose count is atomic.
class ProfileHolder {
public:
    explicit ProfileHolder(cmsHPROFILE handle) : m_handle(handle) {}
    ~ProfileHolder() { Reset(nullptr); }
    ProfileHolder(const ProfileHolder&) = delete;
    ProfileHolder& operator=(const ProfileHolder&) = delete;

    cmsHPROFILE Handle() const { return m_handle; }
    void Reset(cmsHPROFILE handle)
    {
        if (m_handle)
            cmsCloseProfile(m_handle);
        m_handle = handle;
    }

private:
    cmsHPROFILE m_handle;
};

} // namespace

struct VQCMSProfile::Private {
    std::shared_ptr<ProfileHolder> holder;

    cmsHPROFILE Handle() const { return holder ? holder->Handle() : nullptr; }
};

VQCMSProfile::VQCMSProfile() : d(new Private) {}

VQCMSProfile::VQCMSProfile(const VQCMSProfile& other) : d(new Private(*other.d)) {}

VQCMSProfile& VQCMSProfile::operator=(const VQCMSProfile& other)
{
    if (this != &other)
        d->holder = other.d->holder;
    return *this;
}

VQCMSProfile::~VQCMSProfile()
{
    delete d;
}

bool VQCMSProfile::Load(const QString& path)
{
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = file.readAll();
    return Load(content.constData(), content.size());
}

bool VQCMSProfile::Load(const char* data, int size)
{
    if (size == 0) {
        d->holder.reset();
        return true;
    }
    if (size < 0 || !data)
        return false;
    cmsHPROFILE handle = cmsOpenProfileFromMem(data, static_cast<cmsUInt32Number>(size));
    if (!handle)
        return false;
    if (d->holder)
        d->holder->Reset(handle);
    else
        d->holder = std::make_shared<ProfileHolder>(handle);
    return true;
}

bool VQCMSProfile::FromByteArray(const QByteArray& data)
{
    return Load(data.constData(), data.size());
}

int VQCMSProfile::GetMemSize() const
{
    cmsHPROFILE handle = d->Handle();
    if (!handle)
        return 0;
    cmsUInt32Number needed = 0;
    if (!cmsSaveProfileToMem(handle, nullptr, &needed))
        return -1;
    return static_cast<int>(needed);
}

int VQCMSProfile::Save(char* buffer, int size) const
{
    cmsHPROFILE handle = d->Handle();
    if (!handle)
        return 0;
    const int measured = GetMemSize();
    if (measured < 0)
        return -1;
    const cmsUInt32Number needed = static_cast<cmsUInt32Number>(measured);
    // A null buffer would make Little CMS only measure again.
    if (!buffer || size < 0 || static_cast<cmsUInt32Number>(size) < needed)
        return -1;
    // Little CMS writes exactly the measured size and leaves the count alone,
    // so the measured size is also the number of bytes written.
    cmsUInt32Number written = needed;
    if (!cmsSaveProfileToMem(handle, buffer, &written))
        return -1;
    return static_cast<int>(needed);
}

QByteArray VQCMSProfile::ToByteArray() const
{
    const int size = GetMemSize();
    if (size <= 0)
        return QByteArray();
    QByteArray bytes(size, Qt::Uninitialized);
    const int written = Save(bytes.data(), size);
    if (written < 0)
        return QByteArray();
    bytes.truncate(written);
    return bytes;
}

bool VQCMSProfile::Save(const QString& path) const
{
    if (IsEmpty())
        return false;
    const QByteArray bytes = ToByteArray();
    if (bytes.isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool complete = file.write(bytes) == bytes.size();
    file.close();
    return complete && file.error() == QFileDevice::NoError;
}

VQCMSProfile::ColorSpace VQCMSProfile::GetColorSpace() const
{
    cmsHPROFILE handle = d->Handle();
    if (!handle)
        return NoColorSpace;
    return static_cast<ColorSpace>(cmsGetColorSpace(handle));
}

QString VQCMSProfile::GetInfo() const
{
    cmsHPROFILE handle = d->Handle();
    if (!handle)
        return QString();
    const cmsUInt32Number needed = cmsGetProfileInfoASCII(handle, cmsInfoDescription,
                                                          cmsNoLanguage, cmsNoCountry, nullptr, 0);
    if (needed == 0) {
        KX_LOG_REPORT(kLogFile, QStringLiteral("Read profile info error."));
        return QString();
    }
    std::vector<char> text(needed);
    const cmsUInt32Number got = cmsGetProfileInfoASCII(handle, cmsInfoDescription, cmsNoLanguage,
                                                       cmsNoCountry, text.data(), needed);
    if (got == 0) {
        KX_LOG_REPORT(kLogFile, QStringLiteral("Read profile info error."));
        return QString();
    }
    // The count includes the terminating zero, and so does the text: callers
    // have always compared and stored descriptions in this form.
    return QString::fromLatin1(text.data(), static_cast<int>(got));
}

bool VQCMSProfile::IsEmpty() const
{
    return d->Handle() == nullptr;
}

bool VQCMSProfile::operator==(const VQCMSProfile& other) const
{
    if (this == &other)
        return true;
    return GetInfo() == other.GetInfo();
}

bool VQCMSProfile::operator!=(const VQCMSProfile& other) const
{
    return !(*this == other);
}
