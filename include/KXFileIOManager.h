#ifndef KXFILEIOMANAGER_H
#define KXFILEIOMANAGER_H

#include "kxcore_export.h"

#include <QString>

// The directory the library puts its temporary files in (the tile manager's
// page file). By default Qt's temporary directory; a host may point it
// elsewhere before creating the tile manager.
class KXCORE_EXPORT KXFileIOManager {
public:
    // The directory, without a trailing separator.
    static QString GetTemporaryPath();
    // Sets the directory; an empty path restores the default.
    static void SetTemporaryPath(const QString& path);
};

#endif // KXFILEIOMANAGER_H
