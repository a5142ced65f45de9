#include "KXTransformImageColors.h"

#include "core/KXTileWalker.h"

// The tile walks behind the colour transform templates; all of them go
// through the one walker.

using Image = KXImage<KXRGBA32i, 128, 128>;
using KXTileWalker::Run;

namespace KXColorWalk {

void TransformTiles(Image& image, RunsFn runs, const void* rule)
{
    KXTileWalker::Write(image, KXTileWalker::Grid(image), Run::Parallel,
                        [&](KXRGBA32i* out, const KXRGBA32i* in, unsigned int, unsigned int) {
                            runs(rule, out, in, Image::kTilePixels, 1);
                        });
}

void TransformArea(Image& image, const QRect& rect, RunsFn runs, const void* rule)
{
    KXTileWalker::WriteArea(image, rect, Run::Parallel,
                            [&](KXRGBA32i* pixels, const QRect& part, unsigned int, unsigned int) {
                                KXRGBA32i* first = pixels + part.top() * 128 + part.left();
                                runs(rule, first, first, static_cast<unsigned int>(part.width()),
                                     static_cast<unsigned int>(part.height()));
                            });
}

void VisitArea(const Image& image, const QRect& rect, LineFn line, void* visitor)
{
    KXTileWalker::ReadArea(image, rect, Run::Serial,
                           [&](const KXRGBA32i* pixels, const QRect& part, unsigned int column, unsigned int row) {
                               const int x = static_cast<int>(column) * 128 + part.left();
                               for (int y = part.top(); y <= part.bottom(); ++y)
                                   line(visitor, pixels + y * 128 + part.left(), static_cast<unsigned int>(part.width()),
                                        x, static_cast<int>(row) * 128 + y);
                           });
}

} // namespace KXColorWalk
