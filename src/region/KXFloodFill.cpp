#include "KXFloodFill.h"

#include "core/KXLogMacros.h"
#include "core/KXTileWalker.h"
#include "region/KXScanLineFill.h"

#include <stdexcept>

namespace {

constexpr const char* kModule = "src/KXFloodFillHelper";

using KXScanLineFill::ExactMatch;
using KXScanLineFill::QImagePixels;
using KXScanLineFill::TiledPixels;
using KXScanLineFill::ToleranceMatch;

bool Inside(const KXImageRGBA32i& image, const QPoint& p)
{
    return p.x() >= 0 && p.y() >= 0 && unsigned(p.x()) < image.Width() && unsigned(p.y()) < image.Height();
}

void SetBounds(QRect* bounds, const QRect& rect)
{
    if (bounds)
        *bounds = rect;
}

QRect WholeImage(int width, int height)
{
    QRect r;
    r.setCoords(0, 0, width - 1, height - 1);
    return r;
}

// The tolerance fill of the tiled overloads, tested against `source` and
// written into `target`; the two may be one image.
bool TiledToleranceFill(const KXImageRGBA32i& source, KXImageRGBA32i& target, const QPoint& seed,
                        uint32_t tolerance, uint32_t fill, QRect* bounds)
{
    const uint32_t t = source.GetColor(seed.x(), seed.y());
    uint32_t marker = 0;
    if (!KXScanLineFill::ChooseMarker(t, tolerance, &marker)) {
        target.Fill(KXRGBA32i(fill));
        SetBounds(bounds, WholeImage(int(target.Width()), int(target.Height())));
        return true;
    }
    const int width = int(source.Width()), height = int(source.Height());
    const ToleranceMatch match(t, tolerance);
    TiledPixels out(target);
    KXScanLineFill::Outcome done;
    if (&source == &target) {
        // Unwritten pixels still hold their colours; written ones fail the
        // match by their colour, or else by their bit in the map.
        if (!match(fill)) {
            done = KXScanLineFill::Fill(out, width, height, seed, match, fill);
        } else {
            KXScanLineFill::VisitedMap visited(width, height);
            done = KXScanLineFill::Fill(visited, out, out, width, height, seed, match, fill);
        }
    } else {
        KXScanLineFill::VisitedMap visited(width, height);
        KXImageRGBA32i reading = source; // shares its tiles, only read
        TiledPixels work(reading);
        done = KXScanLineFill::Fill(visited, work, out, width, height, seed, match, fill);
    }
    SetBounds(bounds, done.bounds);
    return true;
}

} // namespace

bool KXFloodFillHelper::FloodFill(KXImage<KXRGBA32i, 128, 128>& image, const QPoint& seed, const KXRGBA32i& fill,
                                  QRect* bounds)
{
    if (!Inside(image, seed)) {
        KX_LOG_REPORT(kModule, QStringLiteral("FloodFill seed point is out of range."));
        return false;
    }
    const uint32_t t = image.GetColor(seed.x(), seed.y());
    if (t == fill.value) {
        SetBounds(bounds, QRect());
        return true;
    }
    TiledPixels pixels(image);
    const KXScanLineFill::Outcome done =
        KXScanLineFill::Fill(pixels, int(image.Width()), int(image.Height()), seed, ExactMatch{t}, fill.value);
    SetBounds(bounds, done.bounds);
    return true;
}

bool KXFloodFillHelper::FloodFill(KXImage<KXRGBA32i, 128, 128>& image, const QPoint& seed,
                                  const KXRGBA32i& tolerance, const KXRGBA32i& fill, QRect* bounds)
{
    if (tolerance.value == 0)
        return FloodFill(image, seed, fill, bounds);
    if (!Inside(image, seed)) {
        KX_LOG_REPORT(kModule, QStringLiteral("FloodFill seed point is out of range %1"));
        return false;
    }
    return TiledToleranceFill(image, image, seed, tolerance.value, fill.value, bounds);
}

bool KXFloodFillHelper::FloodFill(const KXImage<KXRGBA32i, 128, 128>& source, KXImage<KXRGBA32i, 128, 128>& target,
                                  const QPoint& seed, const KXRGBA32i& tolerance, const KXRGBA32i& fill,
                                  QRect* bounds)
{
    if (!Inside(source, seed)) {
        KX_LOG_REPORT(kModule, QStringLiteral("FloodFill seed point is out of range %1"));
        return false;
    }
    return TiledToleranceFill(source, target, seed, tolerance.value, fill.value, bounds);
}

bool KXFloodFillHelper::FloodFill(QImage& image, const QPoint& seed, const KXRGBA32i& tolerance,
                                  const KXRGBA32i& fill, QRect* bounds)
{
    if (!image.rect().contains(seed)) {
        KX_LOG_REPORT(kModule,
                      QStringLiteral("FloodFill seed point is out of range (%1, %2)").arg(seed.x()).arg(seed.y()));
        return false;
    }
    // Pixels are read as 32-bit words; any other depth would be read past
    // the ends of its lines.
    if (image.depth() != 32) {
        KX_LOG_REPORT(kModule, QStringLiteral("FloodFill needs a 32-bit image, not %1 bits a pixel.")
                                   .arg(image.depth()));
        return false;
    }
    const uint32_t t = reinterpret_cast<const uint32_t*>(image.constScanLine(seed.y()))[seed.x()];
    uint32_t marker = 0;
    if (!KXScanLineFill::ChooseMarker(t, tolerance.value, &marker)) {
        image.fill(fill.value);
        SetBounds(bounds, WholeImage(image.width(), image.height()));
        return true;
    }
    const ToleranceMatch match(t, tolerance.value);
    QImagePixels pixels(image);
    KXScanLineFill::Outcome done;
    if (!match(fill.value)) {
        done = KXScanLineFill::Fill(pixels, image.width(), image.height(), seed, match, fill.value);
    } else {
        KXScanLineFill::VisitedMap visited(image.width(), image.height());
        done = KXScanLineFill::Fill(visited, pixels, pixels, image.width(), image.height(), seed, match, fill.value);
    }
    SetBounds(bounds, done.bounds);
    return true;
}

bool KXFloodFillHelper::ColorRangeFill(const KXImage<KXRGBA32i, 128, 128>& source,
                                       KXImage<KXRGBA32i, 128, 128>& target, const QPoint& seed,
                                       const KXRGBA32i& tolerance, const KXRGBA32i& fill, QRect* bounds)
{
    // A refused seed leaves the target alone; the fill is built on a copy
    // of the source and put in the target's place when done, so that a
    // failure on the way changes nothing either.
    if (!Inside(source, seed)) {
        KX_LOG_REPORT(kModule, QStringLiteral("Seed point is out of range %1"));
        return false;
    }
    KXImage<KXRGBA32i, 128, 128> result = source;
    const ToleranceMatch match(result.GetColor(seed.x(), seed.y()), tolerance.value);
    const uint32_t paint = fill.value;
    KXScanLineFill::Extent extent(seed);
    KXTileWalker::WriteArea(result, result.Rect(), KXTileWalker::Run::Serial,
                            [&](KXRGBA32i* pixels, const QRect& part, unsigned int column, unsigned int row) {
                                const int x0 = int(column) * 128, y0 = int(row) * 128;
                                for (int y = part.top(); y <= part.bottom(); ++y) {
                                    KXRGBA32i* line = pixels + y * 128;
                                    int first = -1, last = -1;
                                    for (int x = part.left(); x <= part.right(); ++x) {
                                        const bool hit = match(line[x].value);
                                        line[x].value = hit ? paint : 0u;
                                        if (hit) {
                                            last = x;
                                            if (first < 0)
                                                first = x;
                                        }
                                    }
                                    if (first >= 0) {
                                        extent.AddColumn(x0 + first, y0 + y, y0 + y);
                                        extent.AddColumn(x0 + last, y0 + y, y0 + y);
                                    }
                                }
                            });
    target = result;
    SetBounds(bounds, extent.Rect());
    return true;
}
