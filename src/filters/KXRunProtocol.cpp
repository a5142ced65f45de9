#include "filters/KXRunProtocol.h"

#include "compositing/KXPixelRows.h"
#include "filters/KXFilterStages.h"

namespace KXRunProtocol {

void MergeBySelection(KXLineRunner& runner, const KXImageRGBA32i& filtered, KXImageRGBA32i& image,
                      const KXImageRGBA32i& selection, const QRect& rows, const QPoint& offset)
{
    // KXBlend::KXSourceBySelection's arithmetic, a row at a time.
    KXFilterStages::BlendRows<true>(runner, filtered, QPoint(), image, &selection, offset, rows,
                                    [](const KXRGBA32i* s, KXRGBA32i* d, const KXRGBA32i* m, int width) {
                                        KXPixelRows::MixRow(s, d, m, width);
                                    });
}

} // namespace KXRunProtocol
