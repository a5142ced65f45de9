#ifndef KXTESTSUPPORT_H
#define KXTESTSUPPORT_H

// Helpers shared by every test binary.

#include <QString>
#include <QStringList>

#include <regex>
#include <string>

#include <ostream>

// Lets GoogleTest print Qt strings readably.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace KXTest {

// Captures Qt's debug log while alive (one capture at a time).
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const QStringList& Lines() const;
    // Lines with the leading "Build date=…, time=…. " removed, so that the
    // rest can be compared exactly.
    QStringList Messages() const;
    void Clear();
};

// The build date and time prefix every report starts with, as a pattern.
inline const char* ReportPrefixPattern()
{
    return R"(^Build date=[A-Z][a-z]{2} [ 0-9]\d \d{4}, time=\d{2}:\d{2}:\d{2}\. )";
}

} // namespace KXTest

#endif // KXTESTSUPPORT_H
