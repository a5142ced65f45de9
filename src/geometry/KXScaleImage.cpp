// ScaleImage: a view of an image at a scale and pan, the nearest source
// pixel found by integer stepping, one source row read per distinct row.

#include "KXScaleImage.h"

#include "core/KXLogMacros.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

const char kLogFile[] = "src/KXImage";

// Source positions along one axis: `size` source pixels shown as `scaled`
// destination pixels; each destination step moves size / scaled pixels
// and carries size mod scaled in the error term.
struct Stepper {
    int64_t position = 0;
    int64_t error = 0;
    int64_t quotient = 0;
    int64_t remainder = 0;
    int64_t scaled = 1;
    bool valid = true; // false when the start lies beyond 64-bit stepping

    void Next()
    {
        position += quotient;
        error += remainder;
        if (error >= scaled) {
            error -= scaled;
            position += 1;
        }
    }
};

// The first source position and error for the offset `o` along an axis of
// `size` pixels shown as `scaled` pixels.
Stepper Start(double o, int size, int64_t scaled, double scale)
{
    const double half = 0.5 / scale;
    // The offset snapped to the scaled grid.
    const auto snap = [&](double v) {
        return (v >= 0 ? std::trunc(v * scale + half) : std::trunc(v * scale - half)) * (1 / scale);
    };
    Stepper s;
    s.quotient = size / scaled;
    s.remainder = size % scaled;
    s.scaled = scaled;
    if (o >= 0) {
        s.position = static_cast<int64_t>(o + half);
        const double e = snap(o - s.position) * scaled + half;
        s.valid = std::abs(e) < 4e18;
        s.error = s.valid ? static_cast<int64_t>(e) : 0;
        if (s.error < 0) {
            s.error += scaled;
            s.position -= 1;
        }
    } else {
        s.position = static_cast<int64_t>(o - half);
        const double e = snap(o - s.position + 1) * scaled + half;
        s.valid = std::abs(e) < 4e18;
        s.error = s.valid ? static_cast<int64_t>(e) : 0;
        if (s.error >= scaled) {
            s.error -= scaled;
            s.position += 1;
        }
    }
    return s;
}

// A source pixel as shown: copied, or passed through a colour transformation.
struct Plain {
    KXRGBA32i operator()(KXRGBA32i p) const { return p; }
};
struct Transformed {
    const KXColorTransformBase& transform;
    KXRGBA32i operator()(KXRGBA32i p) const
    {
        transform(p);
        return p;
    }
};

// Fills one destination line from the buffered source row: `line` columns
// from `columns`, buffer column 0 being source column `first`, source
// columns up to `last` usable.
template <class Show>
void FillLine(KXRGBA32i* out, int width, Stepper columns, const KXRGBA32i* buffer, int64_t first, int64_t last,
              const Show& show)
{
    int64_t shown = -1; // the source column of `value`; -1: none yet
    KXRGBA32i value;
    for (int x = 0; x < width; ++x, columns.Next()) {
        const int64_t col = columns.position;
        if (col > last)
            return;
        if (col < first)
            continue;
        if (col != shown) {
            value = show(buffer[col - first]);
            shown = col;
        }
        out[x] = value;
    }
}

template <class Show>
bool Scale(const KXImageRGBA32i& source, const QPointF& offset, double scale, QImage& view, const Show& show)
{
    const int W = view.width(), H = view.height();
    const int w = static_cast<int>(source.Width()), h = static_cast<int>(source.Height());
    if (W == 0 || H == 0 || w == 0 || h == 0)
        return true;
    if (view.depth() != 32) {
        KX_LOG_REPORT(kLogFile, QStringLiteral("ScaleImage: the QImage does not have 32-bit pixels"));
        return false;
    }
    const double limit = 2147483647.0;
    if (!(scale > 0 && scale < limit) || !(std::abs(offset.x()) < limit) || !(std::abs(offset.y()) < limit)) {
        KX_LOG_REPORT(kLogFile, QStringLiteral("ScaleImage: the scale or the offset is out of range"));
        return false;
    }
    const double half = 0.5 / scale;
    const double hs = std::trunc(h * scale + half), ws = std::trunc(w * scale + half);
    if (hs == 0 || ws == 0)
        return true;
    if (!(hs < limit && ws < limit)) {
        KX_LOG_REPORT(kLogFile, QStringLiteral("ScaleImage: the scale or the offset is out of range"));
        return false;
    }
    Stepper rows = Start(offset.y(), h, static_cast<int64_t>(hs), scale);
    const Stepper columns = Start(offset.x(), w, static_cast<int64_t>(ws), scale);
    if (!rows.valid || !columns.valid) {
        KX_LOG_REPORT(kLogFile, QStringLiteral("ScaleImage: the scale or the offset is out of range"));
        return false;
    }

    // The source tile columns the view can show.
    const int64_t lastTile = static_cast<int>(source.TileColumns()) - 1;
    const double reach = std::trunc(W / scale + offset.x() + (offset.x() >= 0 ? half : -half));
    constexpr int64_t kTile = KXImageRGBA32i::kTileWidth;
    const int64_t firstColumn = std::min<int64_t>(std::max<int64_t>(columns.position, 0) / kTile, lastTile);
    const int64_t lastColumn = std::min<int64_t>(reach < 0 ? 0 : int64_t(std::min(reach, limit)) / kTile, lastTile);
    if (lastColumn < firstColumn)
        return true;
    const int64_t first = firstColumn * kTile;
    const int64_t last = std::min<int64_t>(w - 1, (lastColumn + 1) * kTile - 1);
    std::vector<KXRGBA32i> buffer(static_cast<size_t>(lastColumn - firstColumn + 1) * kTile);
    const unsigned int bytes = static_cast<unsigned int>(buffer.size() * sizeof(KXRGBA32i));

    int64_t rendered = -1; // the source row of the previous destination row; -1: none
    for (int y = 0; y < H && rows.position < h; ++y, rows.Next()) {
        const int64_t row = rows.position;
        if (row < 0) {
            rendered = -1;
            continue;
        }
        KXRGBA32i* out = reinterpret_cast<KXRGBA32i*>(view.scanLine(y));
        if (row == rendered) {
            std::memcpy(out, view.constScanLine(y - 1), static_cast<size_t>(W) * 4);
            continue;
        }
        source.GetLine(static_cast<unsigned int>(row), static_cast<unsigned int>(first), buffer.data(), bytes);
        FillLine(out, W, columns, buffer.data(), first, last, show);
        rendered = row;
    }
    return true;
}

} // namespace

bool ScaleImage(const KXImageRGBA32i& source, const QPointF& offset, double scale, QImage& view)
{
    return KXLog::GuardRethrow(KX_SITE(kLogFile), [&] { return Scale(source, offset, scale, view, Plain()); });
}

bool ScaleImage(const KXImageRGBA32i& source, const QPointF& offset, double scale, QImage& view,
                const KXColorTransformBase& transform)
{
    return KXLog::GuardRethrow(KX_SITE(kLogFile),
                               [&] { return Scale(source, offset, scale, view, Transformed{transform}); });
}
