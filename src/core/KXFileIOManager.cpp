#include "KXFileIOManager.h"

#include <QDir>
#include <QMutex>
#include <QMutexLocker>

namespace {
QMutex gPathMutex;
QString gPath; // empty: Qt's temporary directory
} // namespace

QString KXFileIOManager::GetTemporaryPath()
{
    QMutexLocker lock(&gPathMutex);
    QString path = gPath.isEmpty() ? QDir::tempPath() : gPath;
    while (path.size() > 1 && (path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\'))))
        path.chop(1);
    return path;
}

void KXFileIOManager::SetTemporaryPath(const QString& path)
{
    QMutexLocker lock(&gPathMutex);
    gPath = path;
}
