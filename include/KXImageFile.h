#ifndef KXIMAGEFILE_H
#define KXIMAGEFILE_H

/// \file
/// Reading picture files into images and writing images back, with
/// everything a photo carries besides its pixels: the ICC profile, EXIF,
/// XMP and IPTC metadata, the EXIF orientation and 16-bit channels.
///
/// Pixels go through Qt's image plugins (JPEG is written by libjpeg, for its
/// chroma subsampling), metadata through exiv2. A read gives the working
/// image with its `profile` set from the embedded ICC data and its `exif`
/// elements filled; the metadata blocks themselves come beside it in a
/// KXImageMetadata record, which a write takes back, so that a read and a
/// write lose no field. Problems are returned to the caller in the result
/// records (and not only logged); only std::bad_alloc (the tile manager or
/// the heap exhausted) is logged and passed on, as by ConvertImage. All
/// functions are reentrant: different
/// threads may read and write different files at once.

#include "KXImage.h"
#include "VQCMSProfile.h"
#include "VQEXIFElement.h"
#include "kxcore_export.h"

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>

class QIODevice;

/// The metadata blocks of a picture file, kept whole.
struct KXCORE_EXPORT KXImageMetadata {
    /// The EXIF block as a TIFF structure (byte-order mark first), without
    /// the tags that describe a TIFF file's own pixels (strips, sample
    /// layout), without the ICC profile and the XMP and IPTC blocks (they
    /// are kept apart); empty when the file has none.
    QByteArray exif;
    QByteArray xmp;  ///< The XMP packet (UTF-8 XML); empty when none.
    QByteArray iptc; ///< The IPTC-IIM records; empty when none.
    /// The EXIF orientation as the file stores it, 1 to 8 (1 when the file
    /// has none). A read that turns the picture upright leaves it here as
    /// stored, but sets the orientation in `exif` and `xmp` to 1.
    int storedOrientation = 1;

    /// True when there is no EXIF, XMP or IPTC block.
    bool IsEmpty() const { return exif.isEmpty() && xmp.isEmpty() && iptc.isEmpty(); }
};

/// Reads and writes picture files (JPEG, PNG, TIFF, WebP with full metadata;
/// the other formats Qt's plugins know with pixels and profile only).
class KXCORE_EXPORT KXImageFile {
public:
    /// What went wrong or what was changed on the way.
    enum class Issue {
        None,         ///< No problem.
        Unreadable,   ///< The file or device could not be opened or read.
        Unsupported,  ///< No plugin reads (or writes) this format.
        TooLarge,     ///< The picture would need more tile blocks than the tile manager has free.
        Truncated,    ///< The data ends early; what was decoded is kept, the rest is grey or black.
        Corrupt,      ///< The data is damaged; the decoder gave up or complained.
        DepthReduced, ///< 16-bit channels were reduced to 8 bits.
        AlphaDropped, ///< The format keeps no transparency; transparent pixels were written opaque.
        MetadataLost, ///< The metadata could not be read or written whole; the pixels are fine.
        Unwritable    ///< The encoder or the device failed; nothing usable was written.
    };
    /// One problem, with a sentence for the user ("the data ends early").
    struct Message {
        Issue issue = Issue::None; ///< What kind of problem.
        QString text;              ///< The sentence, without the file's name.
    };

    /// How to read.
    struct ReadParams {
        /// Turn the picture upright as its EXIF orientation says (and set
        /// the orientation element and tags to 1); false keeps the pixels
        /// and the tag as stored.
        bool applyOrientation = true;
        /// Keep 16 bits a channel: a 16-bit PNG or TIFF then fills `deep`
        /// and leaves `image` empty. Otherwise such a file is reduced to 8
        /// bits with a DepthReduced warning.
        bool keepDepth = false;
    };

    /// What a file is, as its headers say (no pixel decoded by ReadHeader).
    struct Info {
        QByteArray format;      ///< The plugin's format name: "jpeg", "png", "tiff", "webp", ...
        QSize storedSize;       ///< The pixel size as stored.
        QSize size;             ///< The size after the orientation (as stored with applyOrientation false).
        int bitsPerChannel = 8; ///< 16 for 16-bit PNG and TIFF, 1 for bilevel pictures.
        bool hasAlpha = false;  ///< The file has an alpha channel.
        VQCMSProfile profile;   ///< The embedded ICC profile; empty when none (or unreadable).
        QByteArray iccData;     ///< The embedded ICC profile's bytes (also when Little CMS cannot read them).
        QList<VQEXIFElement> exif; ///< The catalogue's EXIF elements the file carries.
        KXImageMetadata metadata;  ///< The metadata blocks.
    };

    /// The outcome of a read. When `error` is not None nothing was read and
    /// the images are empty; warnings are problems the read went past.
    struct ReadResult {
        Issue error = Issue::None; ///< Why nothing was read; None on success.
        QString errorText;       ///< "cannot decode: ..." for the error, empty when none.
        QList<Message> warnings; ///< In the order they were found.
        Info info; ///< What the headers say (also on a header-only read).
        /// The working image, with `profile` and `exif` set; empty when
        /// `deep` holds the picture.
        KXImageRGBA32i image;
        /// The picture with 16 bits a channel (b, g, r, a of 0 .. 65535),
        /// with `profile` and `exif` set; only with ReadParams::keepDepth for
        /// a 16-bit file.
        KXImageRGBA64i deep;
        KXImageMetadata metadata; ///< The blocks to hand back to Write.

        bool Ok() const { return error == Issue::None; }  ///< True when the picture was read.
        bool IsDeep() const { return deep.Width() > 0; } ///< True when `deep` holds the picture.
        bool Has(Issue issue) const; ///< True when the error or a warning is of this kind.
    };

    /// JPEG chroma subsampling.
    enum class Subsampling {
        Auto, ///< 4:4:4 at quality 90 and above, 4:2:0 below
        S444,
        S422,
        S420
    };

    /// How to write.
    struct WriteParams {
        QByteArray format;    ///< "jpeg"/"jpg", "png", "tiff"/"tif", "webp", ...; empty: from the path's suffix.
        int quality = -1;     ///< JPEG and WebP quality 0 .. 100; -1: 75 (JPEG), the plugin's default (WebP).
        int compression = -1; ///< PNG compression 0 .. 9; -1: the plugin's default.
        Subsampling subsampling = Subsampling::Auto; ///< JPEG chroma subsampling.
        /// Write no profile and no metadata at all.
        bool strip = false;
    };

    /// The outcome of a write. When `error` is not None the device may hold
    /// part of the data (a path is then left as it was).
    struct WriteResult {
        Issue error = Issue::None; ///< Why the write failed; None on success.
        QString errorText;         ///< "cannot encode: ..." for the error, empty when none.
        QList<Message> warnings;   ///< A format that keeps no alpha, metadata the format cannot carry.
        bool Ok() const { return error == Issue::None; } ///< True when everything was written.
    };

    /// Reads a whole file, a device (from its current position to its end)
    /// or bytes. The format is told by the content.
    static ReadResult Read(const QString& path, const ReadParams& params);
    /// From a device open for reading.
    static ReadResult Read(QIODevice* device, const ReadParams& params);
    /// From the bytes of a whole file.
    static ReadResult Read(const QByteArray& bytes, const ReadParams& params);
    /// Upright, 8 bits a channel.
    static ReadResult Read(const QString& path) { return Read(path, ReadParams()); }
    /// Upright, 8 bits a channel.
    static ReadResult Read(QIODevice* device) { return Read(device, ReadParams()); }
    /// Upright, 8 bits a channel.
    static ReadResult Read(const QByteArray& bytes) { return Read(bytes, ReadParams()); }

    /// Reads only what the headers say: size, format, depth, alpha, profile
    /// and metadata, with the same errors and warnings as Read (a truncated
    /// JPEG or PNG is found by its missing end marker). `applyOrientation`
    /// decides `Info::size`; no image is filled.
    static ReadResult ReadHeader(const QString& path, const ReadParams& params);
    /// Upright size.
    static ReadResult ReadHeader(const QString& path) { return ReadHeader(path, ReadParams()); }

    /// Encodes `image` with its `profile` and `exif` elements and the blocks
    /// of `metadata`. The elements win over the same tags in
    /// `metadata.exif`; the width and height tags (EXIF and XMP) are set to
    /// the image's size. An image whose every pixel is opaque is written
    /// without alpha (PNG, TIFF, WebP).
    static WriteResult Write(const KXImageRGBA32i& image, const KXImageMetadata& metadata, QIODevice* device,
                             const WriteParams& params);
    /// The same in 16 bits a channel (PNG and TIFF keep them; other formats
    /// get 8 bits and a DepthReduced warning).
    static WriteResult Write(const KXImageRGBA64i& image, const KXImageMetadata& metadata, QIODevice* device,
                             const WriteParams& params);
    /// Into a file, replaced only once the whole data is written.
    static WriteResult Write(const KXImageRGBA32i& image, const KXImageMetadata& metadata, const QString& path,
                             const WriteParams& params);
    /// Into a file in 16 bits a channel, replaced only once the whole data is written.
    static WriteResult Write(const KXImageRGBA64i& image, const KXImageMetadata& metadata, const QString& path,
                             const WriteParams& params);

    /// The writer's format name for a path's suffix or a given name
    /// ("JPG" -> "jpeg", "tif" -> "tiff"); empty when nothing writes it.
    static QByteArray WriteFormat(const QString& pathOrName);
    /// The formats Write takes ("jpeg", "png", ...).
    static QList<QByteArray> WritableFormats();
};

#endif // KXIMAGEFILE_H
