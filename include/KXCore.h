#ifndef KXCORE_H
#define KXCORE_H

/// \file
/// Everything the library exports.

#include "KXAdjustmentProcessing.h"
#include "KXBlend.h"
#include "KXBlendModes.h"
#include "KXBlurFilters.h"
#include "KXBlurOperators.h"
#include "KXColorAdjustments.h"
#include "KXColorTransform.h"
#include "KXDetailFilters.h"
#include "KXEffectFilters.h"
#include "KXFileIOManager.h"
#include "KXFilterKernels.h"
#include "KXFilterParams.h"
#include "KXFilterPasses.h"
#include "KXFloodFill.h"
#include "KXImage.h"
#include "KXImageConversion.h"
#include "KXImageFile.h"
#include "KXImagePainter.h"
#include "KXInpaint.h"
#include "KXIterativeAdjustments.h"
#include "KXLog.h"
#include "KXParallel.h"
#include "KXPixel.h"
#include "KXRefineSelection.h"
#include "KXScaleImage.h"
#include "KXShadowFilters.h"
#include "KXTextHelper.h"
#include "KXTonalAdjustments.h"
#include "KXTransformImage.h"
#include "KXTransformImageColors.h"
#include "VQCMSProfile.h"
#include "VQCMSTransform.h"
#include "VQEXIFElement.h"
#include "VQHistogram.h"
#include "VQTileManager64.h"
#include "VQWBTransformation.h"

#endif // KXCORE_H
