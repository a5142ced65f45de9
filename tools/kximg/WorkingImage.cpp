#include "WorkingImage.h"

#include "Interrupt.h"

#include "Error.h"

#include "VQTileManager64.h"

#include <QFile>

#include <algorithm>

namespace kximg {

namespace {

// Tile rows per band: enough tiles for every thread, few enough that the
// bar moves on a photo.
constexpr int kBandTileRows = 2;

void Step(CommandProgress* progress, const QString& what, double end)
{
    if (progress)
        progress->Step(what, end);
}

constexpr qint64 kMebibyte = 1024 * 1024;

// What a command holds at its fullest for a picture of `info`: the decoded
// picture beside its tiles while reading, the tiles of the input and of
// the result while working, the result's tiles beside the picture that is
// encoded while writing.
qint64 HeldBytes(const KXImageFile::Info& info, bool deep)
{
    const qint64 width = info.storedSize.width(), height = info.storedSize.height();
    const qint64 tileBytes = qint64(KXImageRGBA32i::kTileWidth) * KXImageRGBA32i::kTileHeight * (deep ? 8 : 4);
    const qint64 tiles = (width + KXImageRGBA32i::kTileWidth - 1) / KXImageRGBA32i::kTileWidth *
                         ((height + KXImageRGBA32i::kTileHeight - 1) / KXImageRGBA32i::kTileHeight) * tileBytes;
    const qint64 decoded = width * height * (info.bitsPerChannel == 16 ? 8 : 4);
    const qint64 written = width * height * (deep ? 8 : 4);
    return std::max({decoded + tiles, 2 * tiles, tiles + written});
}

// A "Name: N kB" line of /proc/meminfo in bytes; -1 without it.
qint64 MemInfoBytes(const QByteArray& meminfo, const QByteArray& name)
{
    for (const QByteArray& line : meminfo.split('\n'))
        if (line.startsWith(name + ':')) {
            bool ok = false;
            const qint64 kib = line.mid(name.size() + 1).trimmed().split(' ').value(0).toLongLong(&ok);
            return ok ? kib * 1024 : -1;
        }
    return -1;
}

// The first line of a small file as a number; -1 when there is none ("max").
qint64 FileNumber(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const qint64 value = file.readLine(64).trimmed().toLongLong(&ok);
    return ok ? value : -1;
}

// The memory this process can still have, in bytes: KXIMG_MEMORY_MIB when
// set, else what the system reports available, held to the control group's
// limit; -1 when nothing says.
qint64 AvailableMemory()
{
    bool set = false;
    const qint64 given = qEnvironmentVariableIntValue("KXIMG_MEMORY_MIB", &set);
    if (set)
        return std::max<qint64>(given, 0) * kMebibyte;
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    qint64 available = meminfo.open(QIODevice::ReadOnly) ? MemInfoBytes(meminfo.readAll(), "MemAvailable") : -1;
    const qint64 limit = FileNumber(QStringLiteral("/sys/fs/cgroup/memory.max"));
    const qint64 used = FileNumber(QStringLiteral("/sys/fs/cgroup/memory.current"));
    if (limit >= 0 && used >= 0)
        available = available < 0 ? std::max<qint64>(limit - used, 0) : std::min(available, std::max<qint64>(limit - used, 0));
    return available;
}

// Refuses, from the header alone, a picture whose command would hold more
// than the memory there is (the tile manager's own limit is checked by the
// loader).
void CheckMemory(const QString& path, const ImageOptions& options)
{
    const qint64 available = AvailableMemory();
    if (available < 0)
        return;
    const KXImageFile::ReadResult header = ReadHeaderQuietly(path, options);
    if (!header.Ok())
        return; // the read says why
    const KXImageFile::Info& info = header.info;
    const qint64 held = HeldBytes(info, options.keepDepth && info.bitsPerChannel == 16);
    if (held <= available)
        return;
    throw Error(QStringLiteral("cannot read %1: image too large: %2 x %3 needs %4 MiB of memory, %5 MiB available")
                    .arg(Quoted(path))
                    .arg(info.size.width())
                    .arg(info.size.height())
                    .arg((held + kMebibyte - 1) / kMebibyte)
                    .arg(available / kMebibyte));
}

} // namespace

WorkingPicture ReadWorking(const QString& path, const ImageOptions& options, CommandProgress* progress)
{
    Step(progress, QStringLiteral("read"), 0.4);
    if (path != QLatin1String("-"))
        CheckMemory(path, options);
    KXImageFile::ReadResult read = ReadFile(path, options);
    WorkingPicture working;
    working.image = std::move(read.image);
    working.deep = std::move(read.deep);
    working.metadata = read.metadata;
    working.profile = read.info.profile;
    working.exif = read.info.exif;
    return working;
}

void WriteWorking(WorkingPicture&& picture, const QString& path, const QByteArray& format,
                  const ImageOptions& options, CommandProgress* progress)
{
    Step(progress, QStringLiteral("write"), 1.0);
    KXImageFile::WriteParams params;
    params.format = format;
    params.quality = options.quality;
    params.compression = options.compression;
    params.subsampling = options.subsampling;
    params.strip = options.strip;
    WorkingPicture held = std::move(picture);
    picture = WorkingPicture();
    // The picture encoded is as large as the tiles: the blocks the command
    // let go of give their memory back first.
    if (VQTileManager64* tiles = VQTileManager64::Instance())
        tiles->GiveBackFreeMemory();
    held.image.profile = held.deep.profile = held.profile;
    held.image.exif = held.deep.exif = held.exif;
    QList<KXImageFile::Message> warnings;
    WriteEncoded(path, [&](QIODevice& device) {
        const KXImageFile::WriteResult written =
            held.IsDeep() ? KXImageFile::Write(held.deep, held.metadata, &device, params)
                          : KXImageFile::Write(held.image, held.metadata, &device, params);
        warnings = written.warnings;
        return written.Ok() ? QString() : LowerFirst(written.errorText);
    });
    for (const KXImageFile::Message& warning : warnings)
        Warn(warning.issue == KXImageFile::Issue::AlphaDropped
                 ? QStringLiteral("%1 (%2)").arg(warning.text, Quoted(path))
                 : QStringLiteral("%1: %2").arg(Quoted(path), warning.text));
}

void InBands(const KXImageRGBA32i& image, CommandProgress* progress, const std::function<void(const QRect&)>& apply)
{
    const int height = static_cast<int>(image.Height());
    const int band = kBandTileRows * KXImageRGBA32i::kTileHeight;
    for (int y = 0; y < height; y += band) {
        CheckInterrupted();
        apply(QRect(0, y, static_cast<int>(image.Width()), std::min(band, height - y)));
        if (progress)
            progress->Within(static_cast<double>(std::min(y + band, height)) / height);
    }
}

} // namespace kximg
