#ifndef KXIMG_DEMO_H
#define KXIMG_DEMO_H

// `kximg demo`: runs every operation of the demo registry on the built-in
// sample picture and writes the results, a contact sheet and index.html.

#include "Args.h"

namespace kximg {

const CommandSyntax& DemoCommandSyntax();
int RunDemo(const ParsedArgs& args);

} // namespace kximg

#endif // KXIMG_DEMO_H
