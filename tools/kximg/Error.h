#ifndef KXIMG_ERROR_H
#define KXIMG_ERROR_H

// The failures kximg reports to its user: one line on stderr
// ("kximg: <message>") and an exit status.

#include <QString>

#include <cstdio>
#include <stdexcept>

namespace kximg {

enum ExitStatus {
    kExitOk = 0,
    kExitFailure = 1, // the library failed (for example, out of tile blocks)
    kExitUsage = 2,   // bad command line, unreadable input, unwritable output
};

class Error : public std::runtime_error {
public:
    explicit Error(const QString& message, int status = kExitUsage)
        : std::runtime_error(message.toStdString()), m_message(message), m_status(status)
    {
    }

    const QString& Message() const { return m_message; }
    int Status() const { return m_status; }

private:
    QString m_message;
    int m_status;
};

// 'path' in single quotes, as every message names files.
inline QString Quoted(const QString& text)
{
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

// A reason as the middle of a message: "No such file" -> "no such file".
inline QString LowerFirst(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

// A warning that does not stop the command: "kximg: warning: <message>".
inline void Warn(const QString& message)
{
    std::fprintf(stderr, "kximg: warning: %s\n", qPrintable(message));
    std::fflush(stderr);
}

} // namespace kximg

#endif // KXIMG_ERROR_H
