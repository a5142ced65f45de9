#ifndef KXFILEIOMANAGER_H
#define KXFILEIOMANAGER_H

#include "kxcore_export.h"

#include <QString>

/// \file
/// Where the library keeps its temporary files.

/// The directory the library puts its temporary files in (the tile manager's
/// page file). By default the system's temporary directory (TMPDIR, else
/// /tmp); a host may point it elsewhere before creating the tile manager.
class KXCORE_EXPORT KXFileIOManager {
public:
    /// The directory, without a trailing separator. Always one that exists
    /// and can be written to: when the directory set (or TMPDIR) is missing
    /// or read-only, the next of TMPDIR, /tmp and /var/tmp that is usable,
    /// with a logged line.
    static QString GetTemporaryPath();
    /// Sets the directory; an empty path restores the default.
    static void SetTemporaryPath(const QString& path);
};

#endif // KXFILEIOMANAGER_H
