#include "Profiles.h"

#include "Error.h"

#include <QColorSpace>
#include <QFile>
#include <QFileInfo>
#include <QImage>

namespace kximg {

QString ColourSpaceName(VQCMSProfile::ColorSpace space)
{
    QString name;
    for (int shift = 24; shift >= 0; shift -= 8)
        name += QLatin1Char(static_cast<char>((static_cast<unsigned int>(space) >> shift) & 0xFF));
    return name.trimmed();
}

// The bytes of a profile file, refused before it is read whole: what is
// not an ICC profile by its header (the "acsp" signature that Little CMS
// asks for too), and a profile larger than any real one by the size its
// header or the file gives; a device or a pipe is read no further than that.
template <class Fail>
QByteArray ProfileBytes(const QString& path, const Fail& fail)
{
    constexpr qint64 kMaxProfile = 64 * 1024 * 1024, kHeader = 128;
    const QString tooLarge = QStringLiteral("larger than %1 MB, more than any ICC profile").arg(kMaxProfile >> 20);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw fail(LowerFirst(file.errorString()));
    if (!file.isSequential() && file.size() > kMaxProfile)
        throw fail(tooLarge);
    QByteArray bytes = file.read(kHeader);
    if (bytes.size() < kHeader || bytes.mid(36, 4) != "acsp")
        throw fail(QStringLiteral("not an ICC profile"));
    const auto byte = [&](int i) { return quint32(quint8(bytes[i])); };
    const quint32 declared = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
    if (declared > kMaxProfile)
        throw fail(tooLarge);
    bytes += file.read(kMaxProfile + 1 - kHeader);
    if (bytes.size() > kMaxProfile)
        throw fail(tooLarge);
    return bytes;
}

// A profile named on the command line: a built-in name, "embedded" (the
// one in `image`, when given) or a file.
VQCMSProfile ProfileFor(const QString& option, const QString& text, const VQCMSProfile* embedded)
{
    const QString command = QStringLiteral("icc");
    VQCMSProfile profile;
    if (BuiltInProfileNames().contains(text)) {
        profile = BuiltInProfile(text);
        if (profile.IsEmpty())
            throw Error(QStringLiteral("icc: the built-in profile %1 cannot be made").arg(Quoted(text)), kExitFailure);
        return profile;
    }
    if (text == QLatin1String("embedded")) {
        if (embedded)
            profile = *embedded;
        if (profile.IsEmpty())
            throw Error(QStringLiteral("icc: --%1 embedded: the input image carries no colour profile").arg(option));
        return profile;
    }
    const auto fail = [&](const QString& reason) {
        return Error(QStringLiteral("%1: cannot read profile %2 for --%3: %4").arg(command, Quoted(text), option, reason));
    };
    const QFileInfo info(text);
    if (!info.exists())
        throw fail(QStringLiteral("no such file (or a built-in name: %1, embedded)")
                       .arg(BuiltInProfileNames().join(QStringLiteral(", "))));
    if (info.isDir())
        throw fail(QStringLiteral("is a directory"));
    if (!info.isReadable())
        throw fail(QStringLiteral("permission denied"));
    // An empty file "loads" as an empty profile.
    if (!profile.FromByteArray(ProfileBytes(text, fail)) || profile.IsEmpty())
        throw fail(QStringLiteral("not an ICC profile"));
    return profile;
}

void RequireRgb(const QString& option, const QString& text, const VQCMSProfile& profile)
{
    if (profile.GetColorSpace() != VQCMSProfile::RGB)
        throw Error(QStringLiteral("icc: the profile %1 for --%2 is not an RGB profile (its colour space is '%3')")
                        .arg(Quoted(text), option, ColourSpaceName(profile.GetColorSpace())));
}

QString Described(const VQCMSProfile& profile)
{
    QString info = profile.GetInfo();
    while (info.endsWith(QChar())) // Little CMS counts the terminating zero
        info.chop(1);
    return info;
}

QStringList BuiltInProfileNames()
{
    return {QStringLiteral("srgb"), QStringLiteral("srgb-linear"), QStringLiteral("adobe-rgb"),
            QStringLiteral("display-p3"), QStringLiteral("prophoto-rgb")};
}

VQCMSProfile BuiltInProfile(const QString& name)
{
    VQCMSProfile profile;
    const int index = BuiltInProfileNames().indexOf(name);
    if (index < 0)
        return profile;
    // In the order of the names: QColorSpace::SRgb, SRgbLinear, AdobeRgb,
    // DisplayP3, ProPhotoRgb.
    const QColorSpace::NamedColorSpace spaces[] = {QColorSpace::SRgb, QColorSpace::SRgbLinear,
                                                   QColorSpace::AdobeRgb, QColorSpace::DisplayP3,
                                                   QColorSpace::ProPhotoRgb};
    const QByteArray bytes = QColorSpace(spaces[index]).iccProfile();
    if (bytes.isEmpty() || !profile.FromByteArray(bytes))
        return VQCMSProfile();
    return profile;
}

} // namespace kximg
