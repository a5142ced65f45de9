#ifndef KXFILTERPASSES_H
#define KXFILTERPASSES_H

/// \file
/// The two passes that drive a line kernel or a box accumulator over a
/// rectangle of an image, one line (a row or a column) at a time, in place.
///
/// The rectangle is intersected with the image (a null QRect() means the
/// whole image); an empty result leaves the pass without lines. Each line's
/// source segment, the destination segment widened by what the kernel reads
/// on either side and cut to the image, is read into a line buffer, the
/// destination segment is computed into a second buffer and written back.
/// Lines never overlap, so a line is read whole before it is written.
///
/// Step() does the current line as the plain scheme: a KXKernelPass maps its
/// kernel over the pixels of the line on Qt's global pool, a KXBoxPass slides
/// its accumulator along the line on the calling thread. The library's line
/// runner does whole lines at once through each pass's Worker, with the same
/// pixels as Step's.

#include "KXFilterKernels.h"
#include "KXImage.h"
#include "KXParallel.h"
#include "kxcore_export.h"

#include <QRect>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

/// Along rows or along columns.
enum class KXPassDirection {
    Horizontal, ///< Each line is a row.
    Vertical,   ///< Each line is a column.
};

/// Where a pass reads and writes, worked out once.
struct KXCORE_EXPORT KXPassGeometry {
    bool horizontal = true;    ///< Lines are rows.
    int firstLine = 0;         ///< The first row (column) of the area.
    int lastLine = -1;         ///< The last row (column); firstLine - 1 without lines.
    int destinationStart = 0;  ///< The area's first column (row).
    int destinationLength = 0; ///< Pixels of the area along a line.
    int sourceStart = 0;       ///< The first column (row) read.
    int sourceLength = 0;      ///< Pixels read along a line.
    int extent = 0;            ///< The image's width (height): positions along a line are 0 … extent - 1.

    /// The geometry of `rect` (null: the whole image) cut to `image`, reading
    /// `left` pixels before and `right` pixels after the area along a line.
    static KXPassGeometry Make(const QRect& image, const QRect& rect, int left, int right, KXPassDirection direction);
    /// A geometry without lines.
    static KXPassGeometry None(KXPassDirection direction);
    int Lines() const { return lastLine - firstLine + 1; } ///< The number of lines.
    /// The pixels that lines first … last write.
    QRect Area(int first, int last) const;
    /// Row or column segment `line` of `image` into `buffer` (sourceLength pixels).
    bool Read(const KXImageRGBA32i& image, int line, KXPixelLine& buffer) const;
    /// `buffer` (destinationLength pixels) into row or column `line` of `image`.
    bool Write(KXImageRGBA32i& image, int line, const KXPixelLine& buffer) const;

    static constexpr int kBandLines = 16; ///< Lines a worker reads and writes together.
    /// The source segments of lines first … first + count - 1 (count at most
    /// kBandLines) into buffers[0 … count - 1]; columns are read as row
    /// segments of `count` pixels, a row at a time.
    void ReadBand(const KXImageRGBA32i& image, int first, int count, std::vector<KXPixelLine>& buffers) const;
    /// buffers[0 … count - 1] into lines first … first + count - 1.
    void WriteBand(KXImageRGBA32i& image, int first, int count, const std::vector<KXPixelLine>& buffers) const;
};

/// A line kernel run over every line of a rectangle.
template <class Kernel>
class KXKernelPass {
public:
    /// The pass of `kernel` over `rect` of `image` (see the file comment).
    KXKernelPass(KXImageRGBA32i& image, const QRect& rect, const Kernel& kernel, KXPassDirection direction)
        : m_image(image),
          m_kernel(kernel),
          m_geometry(KXPassGeometry::Make(image.Rect(), rect, kernel.Left(), kernel.Right(), direction)),
          m_current(m_geometry.firstLine)
    {
        m_source.resize(static_cast<size_t>(m_geometry.sourceLength));
        m_destination.resize(static_cast<size_t>(m_geometry.destinationLength));
        m_indices = KXParallel::Indices(m_geometry.destinationLength);
        m_kernel.SetSource(&m_source);
        m_kernel.SetDestination(&m_destination);
        m_kernel.SetSourceOffset(m_geometry.destinationStart - m_geometry.sourceStart);
    }
    KXKernelPass(const KXKernelPass&) = delete;
    KXKernelPass& operator=(const KXKernelPass&) = delete;

    const KXPassGeometry& Geometry() const { return m_geometry; } ///< Where it reads and writes.
    int Lines() const { return m_geometry.Lines(); }              ///< The number of lines.
    int CurrentLine() const { return m_current; }                 ///< The row (column) Step does next.
    bool Finished() const { return m_current > m_geometry.lastLine; } ///< Past the last line.
    KXImageRGBA32i& Image() const { return m_image; }            ///< The image read and written.
    using KernelType = Kernel;                                    ///< The kernel's type.
    const Kernel& LineKernel() const { return m_kernel; }         ///< The kernel the lines copy.

    /// Does the current line (its pixels on the global pool) and moves on;
    /// returns Finished(). A failed row write ends a horizontal pass.
    bool Step()
    {
        if (Finished())
            return true;
        m_geometry.Read(m_image, m_current, m_source);
        const Kernel fresh(m_kernel);
        KXParallel::BlockingMap(m_indices, [&fresh](int i) { fresh(i); });
        if (!m_geometry.Write(m_image, m_current, m_destination) && m_geometry.horizontal)
            m_current = m_geometry.lastLine;
        ++m_current;
        return Finished();
    }

    /// Does whole lines of the pass with buffers and a kernel of its own
    /// (the library's line runner uses it).
    class Worker;

private:
    KXImageRGBA32i& m_image;
    Kernel m_kernel;
    KXPassGeometry m_geometry;
    int m_current;
    KXPixelLine m_source;
    KXPixelLine m_destination;
    std::vector<int> m_indices;
};

/// Refuses a box radius outside 0 … KXBoxPassMaxRadius with a log line.
KXCORE_EXPORT bool KXBoxPassAcceptsRadius(int radius);
constexpr int KXBoxPassMaxRadius = 1 << 22; ///< The largest radius whose sums fit an int.

/// The pixels a box window of radius r passes over on one line of geometry
/// `g`, into `window`: positions left - r - 1 … right + r, those outside the
/// image the zero pixel (Transparent) or the nearest edge pixel.
template <bool Transparent>
void KXFillBoxWindow(const KXPassGeometry& g, const KXPixelLine& source, int64_t r, KXPixelLine& window)
{
    const int64_t length = g.destinationLength + 2 * r + 1;
    window.resize(static_cast<size_t>(length)); // every pixel is written below
    const int64_t first = int64_t(g.destinationStart) - r - 1; // position of window[0]
    const KXRGBA32i before = Transparent ? KXRGBA32i(0) : source.front();
    const KXRGBA32i after = Transparent ? KXRGBA32i(0) : source.back();
    const int64_t inStart = std::min<int64_t>(std::max<int64_t>(0, -first), length);
    const int64_t inEnd = std::max<int64_t>(inStart, std::min<int64_t>(length, g.extent - first));
    std::fill(window.begin(), window.begin() + inStart, before);
    std::copy(source.begin() + (first + inStart - g.sourceStart), source.begin() + (first + inEnd - g.sourceStart),
              window.begin() + inStart);
    std::fill(window.begin() + inEnd, window.end(), after);
}

/// One line of a box pass from its window `w` (KXFillBoxWindow) into
/// `destination`.
template <class Accumulator>
void KXSlideBoxWindow(const KXPassGeometry& g, const KXRGBA32i* w, KXPixelLine& destination,
                      Accumulator& accumulator)
{
    const int64_t r = accumulator.Radius();
    KXRGBA32i* out = destination.data();
    accumulator.Reset();
    for (int64_t q = 0; q < 2 * r + 1; ++q)
        accumulator.Add(w[q]);
    for (int i = 0; i < g.destinationLength; ++i) {
        accumulator.Subtract(w[i]);
        accumulator.Add(w[i + 2 * r + 1]);
        out[i] = w[i + r + 1]; // alpha accumulators keep the pixel's colour
        accumulator.Finalize(out[i]);
    }
}

/// One line of a box pass: `source` holds the line's source segment of
/// geometry `g`, `destination` receives its destination segment.
template <class Accumulator>
void KXSlideBox(const KXPassGeometry& g, const KXPixelLine& source, KXPixelLine& destination,
                Accumulator& accumulator)
{
    KXPixelLine window;
    KXFillBoxWindow<Accumulator::kTransparentOutside>(g, source, accumulator.Radius(), window);
    KXSlideBoxWindow(g, window.data(), destination, accumulator);
}

/// An accumulator slid along every line of a rectangle: the window of
/// 2r + 1 pixels starts centred one pixel before the area, and for each
/// position x of the area the pixel at x - r - 1 leaves it, the pixel at
/// x + r enters it and the average is finalized into the pixel at x.
/// Positions outside the image are the zero pixel for alpha accumulators
/// and the nearest edge pixel for RGBA accumulators.
template <class Accumulator>
class KXBoxPass {
public:
    /// The pass of `accumulator` (its radius r) over `rect` of `image`; a
    /// radius outside 0 … KXBoxPassMaxRadius is refused (logged, no lines).
    KXBoxPass(KXImageRGBA32i& image, const QRect& rect, const Accumulator& accumulator, KXPassDirection direction)
        : m_image(image),
          m_accumulator(accumulator),
          m_geometry(KXBoxPassAcceptsRadius(accumulator.Radius())
                         ? KXPassGeometry::Make(image.Rect(), rect, accumulator.Radius() + 1,
                                                accumulator.Radius(), direction)
                         : KXPassGeometry::None(direction)),
          m_current(m_geometry.firstLine)
    {
    }
    KXBoxPass(const KXBoxPass&) = delete;
    KXBoxPass& operator=(const KXBoxPass&) = delete;

    const KXPassGeometry& Geometry() const { return m_geometry; } ///< Where it reads and writes.
    int Lines() const { return m_geometry.Lines(); }              ///< The number of lines.
    int CurrentLine() const { return m_current; }                 ///< The row (column) Step does next.
    bool Finished() const { return m_current > m_geometry.lastLine; } ///< Past the last line.
    KXImageRGBA32i& Image() const { return m_image; }            ///< The image read and written.
    const Accumulator& LineAccumulator() const { return m_accumulator; } ///< The accumulator the lines copy.

    /// Does the current line on the calling thread and moves on; returns
    /// Finished(). A failed row write ends a horizontal pass.
    bool Step()
    {
        if (Finished())
            return true;
        KXPixelLine source(static_cast<size_t>(m_geometry.sourceLength));
        KXPixelLine destination(static_cast<size_t>(m_geometry.destinationLength));
        m_geometry.Read(m_image, m_current, source);
        Accumulator accumulator(m_accumulator);
        KXSlideBox<Accumulator>(m_geometry, source, destination, accumulator);
        if (!m_geometry.Write(m_image, m_current, destination) && m_geometry.horizontal)
            m_current = m_geometry.lastLine;
        ++m_current;
        return Finished();
    }

    /// Does whole lines of the pass with buffers and an accumulator of its
    /// own (the library's line runner uses it).
    class Worker;

private:
    KXImageRGBA32i& m_image;
    Accumulator m_accumulator;
    KXPassGeometry m_geometry;
    int m_current;
};

#endif // KXFILTERPASSES_H
