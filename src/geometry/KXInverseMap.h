#ifndef KXINVERSEMAP_H
#define KXINVERSEMAP_H

// Backward mapping for the geometric transforms: where the centre of a
// destination pixel lands in the source, and the source's tiles opened once
// for reading. Private to the library.

#include "KXImage.h"
#include "core/KXTileWalker.h"

#include <QImage>
#include <QRect>
#include <QTransform>

#include <vector>

namespace KXGeometry {

// The inverse of a transform, evaluated exactly as QTransform::map does:
// sx = (m11 fx + m21 fy) + dx, sy = (m12 fx + m22 fy) + dy, both multiplied
// by 1 / ((m13 fx + m23 fy) + m33) when projective, with (fx, fy) the pixel
// centre (x + 0.5, y + 0.5). For the simpler transform types Qt leaves out
// terms that are exactly 0 or 1, which gives the same doubles. The column
// products are tabulated once; a row adds its own.
class InverseMap {
public:
    // Columns 0 … width - 1 of the destination.
    InverseMap(const QTransform& inverse, int width)
        : m_projective(inverse.type() == QTransform::TxProject),
          m_m21(inverse.m21()), m_m22(inverse.m22()), m_m23(inverse.m23()),
          m_dx(inverse.dx()), m_dy(inverse.dy()), m_m33(inverse.m33()),
          m_x(static_cast<size_t>(width)), m_y(static_cast<size_t>(width)),
          m_w(m_projective ? static_cast<size_t>(width) : 0)
    {
        for (int x = 0; x < width; ++x) {
            const double fx = x + 0.5;
            m_x[static_cast<size_t>(x)] = inverse.m11() * fx;
            m_y[static_cast<size_t>(x)] = inverse.m12() * fx;
            if (m_projective)
                m_w[static_cast<size_t>(x)] = inverse.m13() * fx;
        }
    }

    // One destination row y, visited over columns.
    class Row {
    public:
        Row(const InverseMap& map, int y)
            : m(map), m_rx(map.m_m21 * (y + 0.5)), m_ry(map.m_m22 * (y + 0.5)), m_rw(map.m_m23 * (y + 0.5))
        {
        }
        // The source position of column x's centre.
        void At(int x, double& sx, double& sy) const
        {
            const size_t i = static_cast<size_t>(x);
            sx = (m.m_x[i] + m_rx) + m.m_dx;
            sy = (m.m_y[i] + m_ry) + m.m_dy;
            if (m.m_projective) {
                const double w = 1. / ((m.m_w[i] + m_rw) + m.m_m33);
                sx *= w;
                sy *= w;
            }
        }
        bool Projective() const { return m.m_projective; }
        // The terms At adds, for walks that work out several columns at once
        // with the same operations.
        const InverseMap& Map() const { return m; }
        double RowX() const { return m_rx; }
        double RowY() const { return m_ry; }
        double RowW() const { return m_rw; }

    private:
        const InverseMap& m;
        double m_rx, m_ry, m_rw;
    };

    const double* ColumnX() const { return m_x.data(); }
    const double* ColumnY() const { return m_y.data(); }
    const double* ColumnW() const { return m_w.data(); }
    double M21() const { return m_m21; }
    double M22() const { return m_m22; }
    double Dx() const { return m_dx; }
    double Dy() const { return m_dy; }
    double M33() const { return m_m33; }

private:
    bool m_projective;
    double m_m21, m_m22, m_m23, m_dx, m_dy, m_m33;
    std::vector<double> m_x, m_y, m_w;
};

// Every tile of a source image open for reading for as long as this lives;
// Pixel(x, y) needs no lookup beyond the tile table.
template <class Image>
class SourceTiles {
public:
    using T = typename Image::Pixel;
    static constexpr unsigned int kShiftX = Image::kTileWidth == 128 ? 7 : 6;
    static constexpr unsigned int kShiftY = Image::kTileHeight == 128 ? 7 : 6;
    static_assert((1u << kShiftX) == Image::kTileWidth && (1u << kShiftY) == Image::kTileHeight,
                  "tiles of 64 or 128 pixels");

    explicit SourceTiles(const Image& image)
        : m_columns(image.TileColumns()), m_width(static_cast<int>(image.Width())),
          m_height(static_cast<int>(image.Height()))
    {
        m_access.reserve(image.TileCount());
        m_tiles.resize(image.TileCount(), nullptr);
        KXTileWalker::Read(image, KXTileWalker::Grid(image), KXTileWalker::Run::Serial,
                           [&](const T*, unsigned int column, unsigned int row) {
                               m_access.emplace_back(image.Tile(column, row)->constData()->block, false);
                               m_tiles[row * m_columns + column] = m_access.back().Data();
                           });
    }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    double WidthF() const { return m_widthF; }   // the width as a double
    double HeightF() const { return m_heightF; } // the height as a double
    unsigned int Columns() const { return m_columns; } // tile columns
    // The first pixel of each tile, row by row.
    const T* const* Tiles() const { return m_tiles.data(); }
    // Pixel (x, y), inside the image.
    const T* Pixel(int x, int y) const
    {
        const unsigned int ux = static_cast<unsigned int>(x), uy = static_cast<unsigned int>(y);
        return m_tiles[(uy >> kShiftY) * m_columns + (ux >> kShiftX)] +
               ((uy & (Image::kTileHeight - 1)) << kShiftX) + (ux & (Image::kTileWidth - 1));
    }

private:
    unsigned int m_columns;
    int m_width, m_height;
    double m_widthF = m_width, m_heightF = m_height;
    std::vector<KXTileAccess<const T>> m_access;
    std::vector<const T*> m_tiles;
};

// Calls rule(sx, sy, pixel) for every pixel of `area` (inside the
// destination image) with the source position of its centre; the tiles are
// independent and written in parallel, each made private first.
template <class Image, class Rule>
void WalkImage(Image& destination, const QRect& area, const InverseMap& map, const Rule& rule)
{
    using T = typename Image::Pixel;
    constexpr int w = Image::kTileWidth, h = Image::kTileHeight;
    KXTileWalker::WriteArea(destination, area, KXTileWalker::Run::Parallel,
                            [&](T* pixels, const QRect& part, unsigned int column, unsigned int row) {
                                for (int y = part.top(); y <= part.bottom(); ++y) {
                                    const InverseMap::Row at(map, static_cast<int>(row) * h + y);
                                    T* line = pixels + y * w;
                                    for (int x = part.left(); x <= part.right(); ++x) {
                                        double sx, sy;
                                        at.At(static_cast<int>(column) * w + x, sx, sy);
                                        rule(sx, sy, line[x]);
                                    }
                                }
                            });
}

// The same over `area` (inside) of a 32-bit QImage, scan line by scan line
// on the calling thread.
template <class Rule>
void WalkQImage(QImage& destination, const QRect& area, const InverseMap& map, const Rule& rule)
{
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const InverseMap::Row at(map, y);
        KXRGBA32i* line = reinterpret_cast<KXRGBA32i*>(destination.scanLine(y));
        for (int x = area.left(); x <= area.right(); ++x) {
            double sx, sy;
            at.At(x, sx, sy);
            rule(sx, sy, line[x]);
        }
    }
}

} // namespace KXGeometry

#endif // KXINVERSEMAP_H
