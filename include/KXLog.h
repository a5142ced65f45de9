#ifndef KXLOG_H
#define KXLOG_H

/// \file
/// The library's single way of writing to the debug log. Every report is one
/// line on Qt's debug stream in one of three forms:
///
///     Build date=%1, time=%2. Line=%3, file="%4". %5
///     Build date=%1, time=%2. Unexpected exception: line=%3, file="%4". Exception content:"%5"
///     Build date=%1, time=%2. Unexpected unknown exception: line=%3, file="%4"
///
/// The date and time are those of the module that logs (its `__DATE__` and
/// `__TIME__`), the file is the module's name as the log names it
/// (for example "src/VQTileManager64").

#include "kxcore_export.h"

#include <QString>

#include <exception>
#include <utility>

/// The debug log's report lines and the guards of the library's entry points.
namespace KXLog {

/// The line of a report: "Build date=…, time=…. Line=…, file="…". message".
KXCORE_EXPORT QString FormatReport(const char* date, const char* time, int line,
                                   const char* file, const QString& message);
/// The line of a caught standard exception; `what` is its text.
KXCORE_EXPORT QString FormatException(const char* date, const char* time, int line,
                                      const char* file, const char* what);
/// The line of a caught exception that is not a std::exception.
KXCORE_EXPORT QString FormatUnknownException(const char* date, const char* time, int line,
                                             const char* file);

/// Writes one line to Qt's debug log, unquoted.
KXCORE_EXPORT void Write(const QString& line);
/// Ends the program after a misuse it cannot survive (an image without a
/// tile manager, text without a QGuiApplication): `line` goes to Qt's log
/// as a fatal message, which aborts.
[[noreturn]] KXCORE_EXPORT void Fatal(const QString& line);

/// Ends the program with a report line (FormatReport) as a fatal message.
[[noreturn]] inline void ReportFatal(const char* date, const char* time, int line, const char* file,
                                     const QString& message)
{
    Fatal(FormatReport(date, time, line, file, message));
}
/// Writes a report line (FormatReport).
inline void Report(const char* date, const char* time, int line, const char* file,
                   const QString& message)
{
    Write(FormatReport(date, time, line, file, message));
}
/// Writes the line of a caught standard exception (FormatException).
inline void ReportException(const char* date, const char* time, int line, const char* file,
                            const std::exception& e)
{
    Write(FormatException(date, time, line, file, e.what()));
}
/// Writes the line of a caught unknown exception (FormatUnknownException).
inline void ReportUnknownException(const char* date, const char* time, int line,
                                   const char* file)
{
    Write(FormatUnknownException(date, time, line, file));
}

/// Where a report comes from: the calling module's build date and time, the
/// line, and the module's name as the log names it.
struct Site {
    const char* date; ///< The module's `__DATE__`.
    const char* time; ///< The module's `__TIME__`.
    int line;         ///< The source line.
    const char* file; ///< The module's name, such as "src/VQTileManager64".
};

/// Writes a report line for `site`.
inline void Report(const Site& site, const QString& message)
{
    Report(site.date, site.time, site.line, site.file, message);
}

// Guards for entry points: each runs `body` and logs an exception in the
// matching form; the name says what happens next.

/// Runs `body` and returns its result; logs any exception and passes it on.
template <class Body>
auto GuardRethrow(const Site& site, Body&& body) -> decltype(body())
{
    try {
        return body();
    } catch (const std::exception& e) {
        ReportException(site.date, site.time, site.line, site.file, e);
        throw;
    } catch (...) {
        ReportUnknownException(site.date, site.time, site.line, site.file);
        throw;
    }
}

/// Runs `body` and returns its result; logs any exception and returns
/// `onError`, except that an exception that is not a std::exception is
/// passed on when PassOnUnknown is true.
template <bool PassOnUnknown, class Body, class Result>
Result GuardReturning(const Site& site, Body&& body, Result onError)
{
    try {
        return body();
    } catch (const std::exception& e) {
        ReportException(site.date, site.time, site.line, site.file, e);
        return onError;
    } catch (...) {
        ReportUnknownException(site.date, site.time, site.line, site.file);
        if (PassOnUnknown)
            throw;
        return onError;
    }
}

/// Runs `body` and returns its result; logs a std::exception and returns
/// `onError`; logs any other exception and passes it on.
template <class Body, class Result>
Result GuardStd(const Site& site, Body&& body, Result onError)
{
    return GuardReturning<true>(site, std::forward<Body>(body), onError);
}

/// GuardStd for a body that returns nothing.
template <class Body>
void GuardStd(const Site& site, Body&& body)
{
    GuardStd(site, [&] { body(); return true; }, false);
}

/// Runs `body` and returns its result; logs any exception and returns
/// `onError`.
template <class Body, class Result>
Result GuardAll(const Site& site, Body&& body, Result onError)
{
    return GuardReturning<false>(site, std::forward<Body>(body), onError);
}

} // namespace KXLog

#endif // KXLOG_H
