#include "filters/KXRunProtocol.h"

#include "compositing/KXPixelRows.h"
#include "core/KXTileWalker.h"

namespace KXRunProtocol {

void MergeBySelection(KXLineRunner& runner, const KXImageRGBA32i& filtered, KXImageRGBA32i& image,
                      const KXImageRGBA32i& selection, const QRect& rows, const QPoint& offset)
{
    // KXBlend::KXSourceBySelection's arithmetic, row by row, in the tiles
    // themselves: a shared tile of the image is copied and mixed in one go,
    // the filtered pixels are read where they lie (both images have the same
    // tiles), and only the selection's (at another alignment) are copied, a
    // tile row segment at a time.
    if (rows.isEmpty()) {
        runner.RunRows(0, [](int) {});
        return;
    }
    constexpr int W = KXImageRGBA32i::kTileWidth, H = KXImageRGBA32i::kTileHeight;
    const auto mixTile = [&](KXRGBA32i* pixels, const QRect& part, unsigned int column, unsigned int row) {
        const QPoint origin(int(column) * W, int(row) * H);
        KXTileWalker::ReadArea(filtered, part.translated(origin), KXTileWalker::Run::Serial,
                               [&](const KXRGBA32i* in, const QRect&, unsigned int, unsigned int) {
                                   KXRGBA32i mask[W];
                                   const unsigned int bytes = unsigned(part.width()) * sizeof(KXRGBA32i);
                                   for (int y = part.top(); y <= part.bottom(); ++y) {
                                       selection.GetLine(unsigned(origin.y() + y - offset.y()),
                                                         unsigned(origin.x() + part.left() - offset.x()), mask, bytes);
                                       KXPixelRows::MixRow(in + y * W + part.left(), pixels + y * W + part.left(), mask,
                                                           part.width());
                                   }
                               });
    };
    runner.RunRowBlocks(rows, &image, [&](const QRect& block, KXTileWalker::Run run) {
        KXTileWalker::WriteArea(image, block, run, mixTile);
    });
}

} // namespace KXRunProtocol
