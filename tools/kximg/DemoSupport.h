#ifndef KXIMG_DEMOSUPPORT_H
#define KXIMG_DEMOSUPPORT_H

// What the demo pages that show a grid of results share: the cell size, the
// working image as a picture, a filter run as the editor runs it, and the
// grid with its count of results.

#include "DemoRegistry.h"
#include "Gallery.h"

#include "KXImageConversion.h"

#include <QReadWriteLock>

namespace kximg {

// One cell of a grid of results: a 4:3 picture and its label.
const QSize kDemoCell(480, 360);

inline QImage Picture(const KXImageRGBA32i& image)
{
    return ConvertImage<KXImageRGBA32i, QImage>(image);
}

// Runs a filter object the way the editor does: its own lock, an unset
// cancel flag, and `extra` (the caches) after them.
template <class Processing, class Data, class... Extra>
auto RunFilter(const Data& data, Extra&... extra)
{
    QReadWriteLock lock;
    bool cancelled = false;
    Processing filter(lock, cancelled, extra...);
    return filter.run(data);
}

// A filter's parameters over the whole of `image`, the rest as constructed.
template <class Data>
Data On(const KXImageRGBA32i& image)
{
    Data data;
    data.image = image;
    return data;
}

// `cells` in a grid of `columns`, noted with the number of results: the
// cells after the first `references` (the sample and the like).
inline DemoResult ResultGrid(const QList<GridCell>& cells, int columns, int references)
{
    return {LabelledGrid(cells, columns, kDemoCell), QStringLiteral("%1 results").arg(cells.size() - references)};
}

} // namespace kximg

#endif // KXIMG_DEMOSUPPORT_H
