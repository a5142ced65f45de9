#include "KXFileIOManager.h"

#include "core/KXLogMacros.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <sys/stat.h>
#include <unistd.h>

namespace {
const char kLogFile[] = "src/KXFileIOManager";

QMutex gPathMutex;
QString gPath; // empty: the system's temporary directory

QString WithoutTrailingSeparator(QString path)
{
    while (path.size() > 1 && (path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\'))))
        path.chop(1);
    return path;
}

bool UsableDirectory(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QByteArray native = QFile::encodeName(path);
    struct stat status;
    return ::stat(native.constData(), &status) == 0 && S_ISDIR(status.st_mode)
           && ::access(native.constData(), W_OK | X_OK) == 0;
}
} // namespace

QString KXFileIOManager::GetTemporaryPath()
{
    QMutexLocker lock(&gPathMutex);
    // The directory asked for, then TMPDIR (through Qt), then the usual
    // places: the first that exists and can be written to.
    const QString candidates[] = {gPath, QDir::tempPath(), QStringLiteral("/tmp"), QStringLiteral("/var/tmp")};
    const QString wanted = WithoutTrailingSeparator(gPath.isEmpty() ? QDir::tempPath() : gPath);
    for (const QString& candidate : candidates) {
        const QString path = WithoutTrailingSeparator(candidate);
        if (!UsableDirectory(path))
            continue;
        if (path != wanted)
            KX_LOG_REPORT(kLogFile, QStringLiteral("Temporary directory \"%1\" is not usable, \"%2\" is used instead")
                                        .arg(wanted, path));
        return path;
    }
    // Nothing usable: the page file cannot be made there, and the tile
    // manager falls back to memory.
    return wanted;
}

void KXFileIOManager::SetTemporaryPath(const QString& path)
{
    QMutexLocker lock(&gPathMutex);
    gPath = path;
}
