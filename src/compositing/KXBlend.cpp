// The out-of-line members of the blend-function interface; the operators and
// blenders themselves are header-only.

#include "KXBlend.h"

namespace KXBlend {

GenericRGBABlendFunction::GenericRGBABlendFunction() = default;
GenericRGBABlendFunction::GenericRGBABlendFunction(const GenericRGBABlendFunction&) = default;
GenericRGBABlendFunction& GenericRGBABlendFunction::operator=(const GenericRGBABlendFunction&) = default;
GenericRGBABlendFunction::~GenericRGBABlendFunction() = default;

} // namespace KXBlend
