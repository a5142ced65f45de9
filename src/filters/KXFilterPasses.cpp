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
    // Straight from the tiles, one access a tile instead of one a row.
    constexpr int W = KXImageRGBA32i::kTileWidth, H = KXImageRGBA32i::kTileHeight;
    uint32_t* lines[kBandLines];
    for (int k = 0; k < count; ++k)
        lines[k] = reinterpret_cast<uint32_t*>(buffers[size_t(k)].data());
    KXTileWalker::ReadArea(image, QRect(first, sourceStart, count, sourceLength), KXTileWalker::Run::Serial,
                           [&](const KXRGBA32i* in, const QRect& part, unsigned int column, unsigned int row) {
                               uint32_t* const* to = lines + (int(column) * W + part.left() - first);
                               const int n = part.width();
                               for (int y = part.top(); y <= part.bottom(); ++y) {
                                   const uint32_t* p = reinterpret_cast<const uint32_t*>(in + y * W + part.left());
                                   const size_t i = size_t(int(row) * H + y - sourceStart);
                                   if (n == kBandLines)
                                       for (int k = 0; k < kBandLines; ++k)
                                           to[k][i] = p[k];
                                   else
                                       for (int k = 0; k < n; ++k)
                                           to[k][i] = p[k];
                               }
                           });
}

void KXPassGeometry::WriteBand(KXImageRGBA32i& image, int first, int count,
                               const std::vector<KXPixelLine>& buffers) const
{
    if (horizontal || count == 1) {
        for (int k = 0; k < count; ++k)
            Write(image, first + k, buffers[size_t(k)]);
        return;
    }
    constexpr int W = KXImageRGBA32i::kTileWidth, H = KXImageRGBA32i::kTileHeight;
    const uint32_t* lines[kBandLines];
    for (int k = 0; k < count; ++k)
        lines[k] = reinterpret_cast<const uint32_t*>(buffers[size_t(k)].data());
    KXTileWalker::WriteArea(image, QRect(first, destinationStart, count, destinationLength), KXTileWalker::Run::Serial,
                            [&](KXRGBA32i* out, const QRect& part, unsigned int column, unsigned int row) {
                                const uint32_t* const* from = lines + (int(column) * W + part.left() - first);
                                const int n = part.width();
                                for (int y = part.top(); y <= part.bottom(); ++y) {
                                    uint32_t* p = reinterpret_cast<uint32_t*>(out + y * W + part.left());
                                    const size_t i = size_t(int(row) * H + y - destinationStart);
                                    if (n == kBandLines)
                                        for (int k = 0; k < kBandLines; ++k)
                                            p[k] = from[k][i];
                                    else
                                        for (int k = 0; k < n; ++k)
                                            p[k] = from[k][i];
                                }
                            });
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
