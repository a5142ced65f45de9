// The geometry of the line passes: segments, area and the line reads and
// writes through the image's row and column segment accessors.

#include "KXFilterPasses.h"

#include "core/KXLogMacros.h"
#include "core/KXTileWalker.h"

#include <algorithm>

namespace {
const char* const kLogFile = "src/KXFilterPasses";
}

KXPassGeometry KXPassGeometry::None(KXPassDirection direction)
{
    KXPassGeometry g;
    g.horizontal = direction == KXPassDirection::Horizontal;
    return g;
}

KXPassGeometry KXPassGeometry::Make(const QRect& image, const QRect& rect, int left, int right,
                                    KXPassDirection direction)
{
    KXPassGeometry g = None(direction);
    const QRect area = KXTileWalker::Clip(rect.isNull() ? image : rect, image);
    if (area.isEmpty())
        return g;
    const bool h = g.horizontal;
    g.firstLine = h ? area.top() : area.left();
    g.lastLine = h ? area.bottom() : area.right();
    g.extent = h ? image.width() : image.height();
    const int start = h ? area.left() : area.top();
    const int end = h ? area.right() : area.bottom();
    g.destinationStart = start;
    g.destinationLength = end - start + 1;
    g.sourceStart = static_cast<int>(std::max<int64_t>(0, int64_t(start) - left));
    const int sourceEnd = static_cast<int>(std::min<int64_t>(g.extent - 1, int64_t(end) + right));
    g.sourceLength = sourceEnd - g.sourceStart + 1;
    return g;
}

QRect KXPassGeometry::Area(int first, int last) const
{
    first = std::max(first, firstLine);
    last = std::min(last, lastLine);
    if (first > last)
        return QRect();
    const int end = destinationStart + destinationLength - 1;
    return horizontal ? QRect(QPoint(destinationStart, first), QPoint(end, last))
                      : QRect(QPoint(first, destinationStart), QPoint(last, end));
}

bool KXPassGeometry::Read(const KXImageRGBA32i& image, int line, KXPixelLine& buffer) const
{
    const unsigned int bytes = static_cast<unsigned int>(sourceLength) * sizeof(KXRGBA32i);
    return horizontal ? image.GetLine(unsigned(line), unsigned(sourceStart), buffer.data(), bytes)
                      : image.GetColumn(unsigned(line), unsigned(sourceStart), buffer.data(), bytes);
}

bool KXPassGeometry::Write(KXImageRGBA32i& image, int line, const KXPixelLine& buffer) const
{
    const unsigned int bytes = static_cast<unsigned int>(destinationLength) * sizeof(KXRGBA32i);
    return horizontal ? image.SetLine(unsigned(line), unsigned(destinationStart), buffer.data(), bytes)
                      : image.SetColumn(unsigned(line), unsigned(destinationStart), buffer.data(), bytes);
}

void KXPassGeometry::ReadBand(const KXImageRGBA32i& image, int first, int count,
                              std::vector<KXPixelLine>& buffers) const
{
    if (horizontal || count == 1) {
        for (int k = 0; k < count; ++k)
            Read(image, first + k, buffers[size_t(k)]);
        return;
    }
    KXRGBA32i across[kBandLines];
    for (int i = 0; i < sourceLength; ++i) {
        image.GetLine(unsigned(sourceStart + i), unsigned(first), across, unsigned(count) * sizeof(KXRGBA32i));
        for (int k = 0; k < count; ++k)
            buffers[size_t(k)][size_t(i)] = across[k];
    }
}

void KXPassGeometry::WriteBand(KXImageRGBA32i& image, int first, int count,
                               const std::vector<KXPixelLine>& buffers) const
{
    if (horizontal || count == 1) {
        for (int k = 0; k < count; ++k)
            Write(image, first + k, buffers[size_t(k)]);
        return;
    }
    KXRGBA32i across[kBandLines];
    for (int i = 0; i < destinationLength; ++i) {
        for (int k = 0; k < count; ++k)
            across[k] = buffers[size_t(k)][size_t(i)];
        image.SetLine(unsigned(destinationStart + i), unsigned(first), across, unsigned(count) * sizeof(KXRGBA32i));
    }
}

bool KXBoxPassAcceptsRadius(int radius)
{
    if (radius >= 0 && radius <= KXBoxPassMaxRadius)
        return true;
    KX_LOG_REPORT(kLogFile, QStringLiteral("Box radius %1 refused: it must lie in 0 ... %2")
                                .arg(radius)
                                .arg(KXBoxPassMaxRadius));
    return false;
}
