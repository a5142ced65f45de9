#include "filters/KXRunProtocol.h"

#include "KXBlend.h"

#include <vector>

namespace KXRunProtocol {

void MergeBySelection(KXLineRunner& runner, const KXImageRGBA32i& filtered, KXImageRGBA32i& image,
                      const KXImageRGBA32i& selection, const QRect& rows, const QPoint& offset)
{
    if (rows.isEmpty())
        return;
    const unsigned int x = static_cast<unsigned int>(rows.left());
    const unsigned int selectionX = static_cast<unsigned int>(rows.left() - offset.x());
    const int width = rows.width();
    const unsigned int bytes = static_cast<unsigned int>(width) * sizeof(KXRGBA32i);
    // Each step writes only its own row of `image` (the runner makes the
    // tiles private before steps run at once); the blend of one row is done
    // by the step itself, pixel by pixel.
    runner.RunRows(rows.height(), [&](int row) {
        const unsigned int y = static_cast<unsigned int>(rows.top() + row);
        std::vector<KXRGBA32i> source(static_cast<size_t>(width)), target(source.size()), mask(source.size());
        filtered.GetLine(y, x, source.data(), bytes);
        image.GetLine(y, x, target.data(), bytes);
        selection.GetLine(y - static_cast<unsigned int>(offset.y()), selectionX, mask.data(), bytes);
        const KXBlend::KXSelectionBlender<KXRGBA32i, KXBlend::KXSourceBySelection, KXRGBA32i> blender(
            source, target, mask, KXBlend::KXSourceBySelection());
        for (int i = 0; i < width; ++i)
            blender(i);
        image.SetLine(y, x, target.data(), bytes);
    }, image, rows);
}

} // namespace KXRunProtocol
