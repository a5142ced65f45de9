#ifndef KXCORE_H
#define KXCORE_H

// Everything the library exports.

#include "KXFileIOManager.h"
#include "KXImage.h"
#include "KXImageConversion.h"
#include "KXLog.h"
#include "KXParallel.h"
#include "KXPixel.h"
#include "VQCMSProfile.h"
#include "VQEXIFElement.h"
#include "VQTileManager64.h"

#endif // KXCORE_H
