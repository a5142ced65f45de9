#include "KXLog.h"

#include <QDebug>

#include <cstdlib>

namespace KXLog {

QString FormatReport(const char* date, const char* time, int line, const char* file,
                     const QString& message)
{
    return QStringLiteral("Build date=%1, time=%2. Line=%3, file=\"%4\". %5")
        .arg(QLatin1String(date), QLatin1String(time), QString::number(line),
             QLatin1String(file), message);
}

QString FormatException(const char* date, const char* time, int line, const char* file,
                        const char* what)
{
    return QStringLiteral(
               "Build date=%1, time=%2. Unexpected exception: line=%3, file=\"%4\". "
               "Exception content:\"%5\"")
        .arg(QLatin1String(date), QLatin1String(time), QString::number(line),
             QLatin1String(file), QString::fromLocal8Bit(what ? what : ""));
}

QString FormatUnknownException(const char* date, const char* time, int line, const char* file)
{
    return QStringLiteral(
               "Build date=%1, time=%2. Unexpected unknown exception: line=%3, file=\"%4\"")
        .arg(QLatin1String(date), QLatin1String(time), QString::number(line),
             QLatin1String(file));
}

void Write(const QString& line)
{
    qDebug().noquote() << line;
}

void Fatal(const QString& line)
{
    qFatal("%s", qUtf8Printable(line));
    std::abort(); // qFatal does not return; this tells the compiler so
}

} // namespace KXLog
