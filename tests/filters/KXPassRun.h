#ifndef KXPASSRUN_H
#define KXPASSRUN_H

// One pass over `image` by the line runner, one line at a time (`plain`) or
// concurrently, with no progress listener and no cancel.

#include "KXFilterPasses.h"
#include "filters/KXPassSchedules.h"


namespace KXFilterTest {

template <class Kernel>
bool RunPass(KXImageRGBA32i& image, const QRect& rect, const Kernel& kernel, KXPassDirection direction, bool plain)
{
    KXLineRunner runner(plain ? KXLineRunner::Scheme::OneLineAtATime : KXLineRunner::Scheme::ConcurrentLines);
    KXKernelPass<Kernel> pass(image, rect, kernel, direction);
    return runner.Run(pass);
}

} // namespace KXFilterTest

#endif // KXPASSRUN_H
