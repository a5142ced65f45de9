#ifndef KXIMG_COMPOSITINGCOMMANDS_H
#define KXIMG_COMPOSITINGCOMMANDS_H

// blend, mask and invert: compositing from the command line.

#include "Args.h"

namespace kximg {

const CommandSyntax& BlendSyntax();
int RunBlend(const ParsedArgs& args);

const CommandSyntax& MaskSyntax();
int RunMask(const ParsedArgs& args);

const CommandSyntax& InvertSyntax();
int RunInvert(const ParsedArgs& args);

} // namespace kximg

#endif // KXIMG_COMPOSITINGCOMMANDS_H
