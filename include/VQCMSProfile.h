#ifndef VQCMSPROFILE_H
#define VQCMSPROFILE_H

/// \file
/// One ICC colour profile, held by Little CMS. A small value type that every
/// image carries: copies share one profile holder, so a later load into any of
/// them is seen by all, and the profile is closed when the last copy lets go.
/// Profiles compare by their description text, not by their content.
///
/// Threads: the holder's reference count is atomic, so copies of one profile
/// may be made and destroyed on different threads. Loading into a profile
/// while another thread uses one of its copies is not allowed.

#include "kxcore_export.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

/// One ICC colour profile: a small shared value type that every image
/// carries; profiles compare by their description text.
class KXCORE_EXPORT VQCMSProfile {
public:
    /// The ICC signature of the profile's data colour space, as Little CMS
    /// reports it; any other signature may be returned as well.
    enum ColorSpace : unsigned int {
        NoColorSpace = 0, ///< empty profile
        XYZ = 0x58595A20,   ///< 'XYZ '
        Lab = 0x4C616220,   ///< 'Lab '
        Luv = 0x4C757620,   ///< 'Luv '
        YCbCr = 0x59436272, ///< 'YCbr'
        Yxy = 0x59787920,   ///< 'Yxy '
        RGB = 0x52474220,   ///< 'RGB '
        Gray = 0x47524159,  ///< 'GRAY'
        HSV = 0x48535620,   ///< 'HSV '
        HLS = 0x484C5320,   ///< 'HLS '
        CMYK = 0x434D594B,  ///< 'CMYK'
        CMY = 0x434D5920    ///< 'CMY '
    };

    /// Empty.
    VQCMSProfile();
    /// Shares the other profile's holder.
    VQCMSProfile(const VQCMSProfile& other);
    /// Shares the other profile's holder; this one lets go of its own.
    VQCMSProfile& operator=(const VQCMSProfile& other);
    ~VQCMSProfile();

    /// False if the file does not exist or cannot be read; otherwise the
    /// result of loading its whole content as below.
    bool Load(const QString& path);
    /// size 0: this object alone drops its profile (copies keep theirs), true.
    /// Otherwise parses the bytes as an ICC profile: on failure false and the
    /// old profile stays; on success the new profile replaces the old one in
    /// the shared holder (every copy sees it) and the result is true.
    bool Load(const char* data, int size);
    bool FromByteArray(const QByteArray& data); ///< Load(data.constData(), data.size()).

    /// The size of the serialised profile: 0 when empty, -1 when it cannot be
    /// determined.
    int GetMemSize() const;
    /// Serialises into buffer: 0 when empty, -1 when the size is unknown, the
    /// buffer is too small or writing fails, else the number of bytes written.
    int Save(char* buffer, int size) const;
    /// The serialised profile; empty when the profile is empty.
    QByteArray ToByteArray() const;
    /// Writes the serialised profile to a file (truncated first); true only if
    /// every byte was written.
    bool Save(const QString& path) const;

    ColorSpace GetColorSpace() const; ///< The data colour space; NoColorSpace when empty.
    /// The profile description, Latin-1. The text includes the terminating
    /// zero character that Little CMS counts. Empty for an empty profile, and
    /// empty (with a log line) when the description cannot be read.
    QString GetInfo() const;
    bool IsEmpty() const; ///< True when no profile is loaded.

    /// True for the same object, otherwise when the descriptions are equal.
    bool operator==(const VQCMSProfile& other) const;
    bool operator!=(const VQCMSProfile& other) const; ///< The opposite of operator==.

private:
    struct Private;
    Private* d;
};

Q_DECLARE_TYPEINFO(VQCMSProfile, Q_MOVABLE_TYPE);

#endif // VQCMSPROFILE_H
