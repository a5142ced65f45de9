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
/// its accumulator along the line on the calling thread. A Worker does whole
/// lines with buffers of its own (the kernel's Span for a kernel pass), so
/// that several lines of one pass may be done at once by different workers;
/// the pixels are the same as Step's.

#include "KXFilterKernels.h"
#include "KXImage.h"
#include "KXParallel.h"
#include "kxcore_export.h"

#include <QRect>

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

    /// Does whole lines of the pass with buffers and a kernel of its own.
    class Worker {
    public:
        /// A worker for `pass`.
        explicit Worker(const KXKernelPass& pass)
            : m_pass(pass),
              m_source(static_cast<size_t>(pass.m_geometry.sourceLength)),
              m_destination(static_cast<size_t>(pass.m_geometry.destinationLength)),
              m_kernel(pass.m_kernel)
        {
            m_kernel.SetSource(&m_source);
            m_kernel.SetDestination(&m_destination);
        }
        Worker(const Worker&) = delete;
        Worker& operator=(const Worker&) = delete;
        /// Does row (column) `line`; false when its write failed.
        bool Line(int line)
        {
            const KXPassGeometry& g = m_pass.m_geometry;
            g.Read(m_pass.m_image, line, m_source);
            m_kernel.Span(0, g.destinationLength);
            return g.Write(m_pass.m_image, line, m_destination);
        }

    private:
        const KXKernelPass& m_pass;
        KXPixelLine m_source;
        KXPixelLine m_destination;
        Kernel m_kernel;
    };

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

/// One line of a box pass: `source` holds the line's source segment of
/// geometry `g`, `destination` receives its destination segment.
template <class Accumulator>
void KXSlideBox(const KXPassGeometry& g, const KXPixelLine& source, KXPixelLine& destination,
                Accumulator& accumulator)
{
    // The pixel at position `at` along the line (image coordinates).
    const auto pixel = [&](int64_t at) {
        if (at < 0 || at >= g.extent) {
            if (Accumulator::kTransparentOutside)
                return KXRGBA32i(0);
            at = at < 0 ? 0 : g.extent - 1;
        }
        return source[static_cast<size_t>(at - g.sourceStart)];
    };
    const int64_t r = accumulator.Radius();
    const int64_t left = g.destinationStart;
    accumulator.Reset();
    for (int64_t at = left - r - 1; at <= left + r - 1; ++at)
        accumulator.Add(pixel(at));
    for (int i = 0; i < g.destinationLength; ++i) {
        const int64_t x = left + i;
        accumulator.Subtract(pixel(x - r - 1));
        accumulator.Add(pixel(x + r));
        KXRGBA32i& out = destination[static_cast<size_t>(i)];
        out = pixel(x); // alpha accumulators keep the pixel's colour
        accumulator.Finalize(out);
    }
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

    /// Does the current line on the calling thread and moves on; returns
    /// Finished(). A failed row write ends a horizontal pass.
    bool Step()
    {
        if (Finished())
            return true;
        Worker worker(*this);
        if (!worker.Line(m_current) && m_geometry.horizontal)
            m_current = m_geometry.lastLine;
        ++m_current;
        return Finished();
    }

    /// Does whole lines of the pass with buffers and an accumulator of its own.
    class Worker {
    public:
        /// A worker for `pass`.
        explicit Worker(const KXBoxPass& pass)
            : m_pass(pass),
              m_source(static_cast<size_t>(pass.m_geometry.sourceLength)),
              m_destination(static_cast<size_t>(pass.m_geometry.destinationLength)),
              m_accumulator(pass.m_accumulator)
        {
        }
        Worker(const Worker&) = delete;
        Worker& operator=(const Worker&) = delete;
        /// Does row (column) `line`; false when its write failed.
        bool Line(int line)
        {
            const KXPassGeometry& g = m_pass.m_geometry;
            g.Read(m_pass.m_image, line, m_source);
            KXSlideBox(g, m_source, m_destination, m_accumulator);
            return g.Write(m_pass.m_image, line, m_destination);
        }

    private:
        const KXBoxPass& m_pass;
        KXPixelLine m_source;
        KXPixelLine m_destination;
        Accumulator m_accumulator;
    };

private:
    KXImageRGBA32i& m_image;
    Accumulator m_accumulator;
    KXPassGeometry m_geometry;
    int m_current;
};

#endif // KXFILTERPASSES_H
