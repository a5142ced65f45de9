#ifndef KXLOGMACROS_H
#define KXLOGMACROS_H

// The library's shorthand for log reports: the calling module's build date
// and time and the line are filled in. Private to the library.

#include "KXLog.h"

#define KX_LOG_REPORT(file, message) \
    KXLog::Report(__DATE__, __TIME__, __LINE__, file, message)
#define KX_LOG_FATAL(file, message) \
    KXLog::ReportFatal(__DATE__, __TIME__, __LINE__, file, message)
#define KX_LOG_EXCEPTION(file, e) \
    KXLog::ReportException(__DATE__, __TIME__, __LINE__, file, e)
#define KX_LOG_UNKNOWN_EXCEPTION(file) \
    KXLog::ReportUnknownException(__DATE__, __TIME__, __LINE__, file)

// Where a report comes from: the calling module's build date and time, the
// line, and the module's name as the log names it.
#define KX_SITE(file) (KXLog::Site{__DATE__, __TIME__, __LINE__, file})

#endif // KXLOGMACROS_H
