#include "KXInpaint.h"

#include "KXTransformImageColors.h"
#include "core/KXTileWalker.h"
#include "region/KXInpaintPass.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

using KXInpaintPass::AlphaGrid;
using KXInpaintPass::Outcome;

namespace {

// ---- The QImage form ----------------------------------------------------

constexpr uint32_t kUnknown = 0xFFFF0000u;
// A mask pixel filled in the running pass: known for the neighbours' "still
// unknown" test, unknown for the patterns until the pass ends.
constexpr uint32_t kFilledThisPass = 0x7FFF0000u;

// Bounding rectangle of the non-zero front alpha inside `search` (the whole
// front when `search` is null); null when there is none.
QRect FrontBounds(const QImage& front, const QRect& search)
{
    const QRect area = search.isNull() ? front.rect() : (search & front.rect());
    KXInpaintPass::Bounds bounds;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(front.constScanLine(y));
        for (int x = area.left(); x <= area.right(); ++x)
            if (row[x] >> 24)
                bounds.Add(x, y);
    }
    return bounds.Rect();
}

// The mask and front are ours (ARGB32) and read as words; the caller's image
// goes through QImage::pixel and QImage::setPixel.
class QImageAccess {
public:
    QImageAccess(QImage& image, QImage& mask, QImage& front, std::vector<QPoint>& filled)
        : m_image(image),
          m_mask(mask.bits()),
          m_front(front.bits()),
          m_stride(mask.bytesPerLine() / 4),
          m_width(mask.width()),
          m_height(mask.height()),
          m_filled(filled)
    {
    }

    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < m_width && y < m_height; }
    bool KnownAtStart(int x, int y) const
    {
        if (!Inside(x, y))
            return false;
        const uint32_t m = Mask(x, y);
        return (m >> 24) < 255 && m != kFilledThisPass;
    }
    uint32_t Read(int x, int y) const { return m_image.pixel(x, y); }
    void Write(int x, int y, uint32_t value) { m_image.setPixel(x, y, value); }
    void MarkKnown(int x, int y)
    {
        Mask(x, y) = kFilledThisPass;
        m_filled.push_back(QPoint(x, y));
    }
    void ClearFront(int x, int y) { Front(x, y) = 0; }
    void AddFront(int x, int y)
    {
        if (Inside(x, y) && (Mask(x, y) >> 24) == 255)
            Front(x, y) = KXInpaintPass::kFrontMark;
    }

private:
    uint32_t& Mask(int x, int y) const { return reinterpret_cast<uint32_t*>(m_mask)[y * m_stride + x]; }
    uint32_t& Front(int x, int y) const { return reinterpret_cast<uint32_t*>(m_front)[y * m_stride + x]; }

    QImage& m_image;
    uchar* m_mask;
    uchar* m_front;
    int m_stride, m_width, m_height;
    std::vector<QPoint>& m_filled;
};

// ---- The tiled form -----------------------------------------------------

using Image = KXInpaintIterative::Image;

// Knownness from the mask as the pass began, inside `area` only; changes go
// to the running mask and front; image pixels at mask coordinates + offset
// through the image's pixel accessors (which throw outside the image).
class TiledAccess {
public:
    TiledAccess(Image& image, const Image& maskAtStart, Image& mask, Image& front, const QRect& area,
                const QPoint& offset)
        : m_image(image), m_start(maskAtStart), m_mask(mask), m_front(front), m_area(area), m_offset(offset)
    {
    }

    bool KnownAtStart(int x, int y) const { return m_area.contains(x, y) && m_start.GetColor(x, y).a < 255; }
    uint32_t Read(int x, int y) const
    {
        return m_image.GetColor(Moved(x, m_offset.x()), Moved(y, m_offset.y())).value;
    }
    void Write(int x, int y, uint32_t value)
    {
        m_image.SetColor(Moved(x, m_offset.x()), Moved(y, m_offset.y()), value);
    }
    void MarkKnown(int x, int y) { m_mask.SetColor(x, y, 0u); }
    void ClearFront(int x, int y) { m_front.SetColor(x, y, 0u); }
    void AddFront(int x, int y)
    {
        if (m_area.contains(x, y) && m_mask.GetColor(x, y).a == 255)
            m_front.SetColor(x, y, KXInpaintPass::kFrontMark);
    }

private:
    // v + by, held to the int range: a sum beyond it is outside the image
    // either way, and the accessors refuse it as such.
    static int Moved(int v, int by)
    {
        return int(std::min<int64_t>(std::max<int64_t>(int64_t(v) + by, std::numeric_limits<int>::min()),
                                     std::numeric_limits<int>::max()));
    }

    Image& m_image;
    const Image& m_start;
    Image& m_mask;
    Image& m_front;
    QRect m_area;
    QPoint m_offset;
};

} // namespace

// ---- KXInpaint ----------------------------------------------------------

KXInpaint::KXInpaint(QImage& image) : m_image(&image)
{
    m_mask = image.format() == QImage::Format_ARGB32
                 ? image.copy()
                 : image.convertToFormat(QImage::Format_ARGB32, Qt::NoOpaqueDetection);
    const int width = m_mask.width(), height = m_mask.height();
    if (width == 0 || height == 0)
        return;
    AlphaGrid grid(width, height);
    for (int y = 0; y < height; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(m_mask.scanLine(y));
        for (int x = 0; x < width; ++x) {
            row[x] = (row[x] >> 24) < 255 ? kUnknown : 0u;
            grid.At(x, y) = static_cast<uint8_t>(row[x] >> 24);
        }
    }
    grid.ClampBorder();
    m_front = QImage(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(m_front.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = KXInpaintPass::FrontValue(grid, x, y);
    }
    m_rim = FrontBounds(m_front, QRect());
}

KXInpaint::KXInpaint(const KXInpaint& other) = default;
KXInpaint::~KXInpaint() = default;

void KXInpaint::operator()(int)
{
    if (m_front.isNull() || m_mask.size() != m_front.size())
        return;
    std::vector<QPoint> filled;
    for (;;) {
        m_rim = FrontBounds(m_front, m_rim);
        if (m_rim.isEmpty())
            return;
        const QImage frontAtStart = m_front.copy(m_rim);
        filled.clear();
        QImageAccess access(*m_image, m_mask, m_front, filled);
        bool changed = false;
        for (int y = m_rim.top(); y <= m_rim.bottom(); ++y) {
            const uint32_t* row = reinterpret_cast<const uint32_t*>(frontAtStart.constScanLine(y - m_rim.top()));
            for (int x = m_rim.left(); x <= m_rim.right(); ++x)
                if ((row[x - m_rim.left()] >> 24) == 255 && KXInpaintPass::Visit(access, x, y) != Outcome::None)
                    changed = true;
        }
        for (const QPoint& p : filled)
            reinterpret_cast<uint32_t*>(m_mask.scanLine(p.y()))[p.x()] = 0u;
        if (!changed)
            return;
    }
}

// ---- KXInpaintIterative ---------------------------------------------------

namespace {

// a - b, each coordinate held to the int range: an offset beyond it moves
// every mask pixel outside the image, as the held one does.
QPoint Difference(const QPoint& a, const QPoint& b)
{
    const auto held = [](int64_t v) {
        return int(std::min<int64_t>(std::max<int64_t>(v, std::numeric_limits<int>::min()),
                                     std::numeric_limits<int>::max()));
    };
    return QPoint(held(int64_t(a.x()) - b.x()), held(int64_t(a.y()) - b.y()));
}

} // namespace

KXInpaintIterative::KXInpaintIterative(Image& image, const Image& mask, const QRect& imageRect, const QRect& maskRect)
    : m_image(&image),
      m_mask(mask),
      m_imageRect(imageRect),
      m_maskRect(maskRect),
      m_rim(KXTileWalker::Clip(maskRect, mask.Rect())),
      m_offset(Difference(imageRect.topLeft(), maskRect.topLeft())),
      m_active(maskRect.isValid())
{
    Gradient(mask, maskRect);
}

KXInpaintIterative::KXInpaintIterative(const KXInpaintIterative& other) = default;
KXInpaintIterative::~KXInpaintIterative() = default;

// The front: 0 outside `rect`, and inside it the front value of the mask
// alpha, neighbours outside `rect` counting as alpha 0.
void KXInpaintIterative::Gradient(const Image& mask, const QRect& rect)
{
    m_front = Image(mask.Width(), mask.Height());
    const QRect area = KXTileWalker::Clip(rect, mask.Rect());
    if (area.isEmpty())
        return;
    AlphaGrid grid(area.width(), area.height());
    KXTileWalker::ReadArea(mask, area, KXTileWalker::Run::Serial,
                           [&](const KXRGBA32i* pixels, const QRect& part, unsigned int column, unsigned int row) {
                               const int x0 = static_cast<int>(column) * 128 - area.left();
                               const int y0 = static_cast<int>(row) * 128 - area.top();
                               for (int y = part.top(); y <= part.bottom(); ++y)
                                   for (int x = part.left(); x <= part.right(); ++x)
                                       grid.At(x0 + x, y0 + y) = pixels[y * 128 + x].a;
                           });
    KXTileWalker::WriteArea(m_front, area, KXTileWalker::Run::Parallel,
                            [&](KXRGBA32i* pixels, const QRect& part, unsigned int column, unsigned int row) {
                                const int x0 = static_cast<int>(column) * 128 - area.left();
                                const int y0 = static_cast<int>(row) * 128 - area.top();
                                for (int y = part.top(); y <= part.bottom(); ++y)
                                    for (int x = part.left(); x <= part.right(); ++x)
                                        pixels[y * 128 + x] = KXInpaintPass::FrontValue(grid, x0 + x, y0 + y);
                            });
}

bool KXInpaintIterative::operator()()
{
    if (!m_active)
        return false;
    // The mask and front as the pass began (copies share their tiles).
    const Image maskAtStart = m_mask;
    const Image frontAtStart = m_front;
    TiledAccess access(*m_image, maskAtStart, m_mask, m_front, KXTileWalker::Clip(m_maskRect, m_mask.Rect()),
                       m_offset);
    KXInpaintPass::Bounds handled;
    auto visit = [&](int x, int y, const KXRGBA32i* pixel) {
        if (pixel->a != 0 && KXInpaintPass::Visit(access, x, y) != Outcome::None)
            handled.Add(x, y);
    };
    VisitPixelsWithCoordinates(frontAtStart, m_rim, visit);
    m_rim = handled.Rect();
    m_active = !m_rim.isNull();
    return m_active;
}
