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
/// that several lines of one pass may be done at once by different workers
/// (columns a band of KXPassGeometry::kBandLines at a time, read and written
/// as short row segments); the pixels are the same as Step's.

#include "KXFilterKernels.h"
#include "KXImage.h"
#include "KXParallel.h"
#include "kxcore_export.h"

#include <QRect>

#include <algorithm>
#include <cstddef>
#include <new>
#include <optional>
#include <type_traits>
#include <utility>
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

/// The line buffers of a pass worker: kBandLines source and destination lines.
struct KXLineBand {
    /// Buffers for lines of geometry `g`.
    explicit KXLineBand(const KXPassGeometry& g)
        : sources(KXPassGeometry::kBandLines, KXPixelLine(static_cast<size_t>(g.sourceLength))),
          destinations(KXPassGeometry::kBandLines, KXPixelLine(static_cast<size_t>(g.destinationLength)))
    {
    }
    std::vector<KXPixelLine> sources;      ///< Source segments.
    std::vector<KXPixelLine> destinations; ///< Destination segments.

    /// Lines first … last of `image`: compute(source, destination) for each
    /// line, a band of lines read before and written after.
    template <class Compute>
    void Run(const KXPassGeometry& g, KXImageRGBA32i& image, int first, int last, Compute&& compute)
    {
        for (int at = first; at <= last; at += KXPassGeometry::kBandLines) {
            const int count = std::min(KXPassGeometry::kBandLines, last - at + 1);
            g.ReadBand(image, at, count, sources);
            for (int k = 0; k < count; ++k)
                compute(sources[static_cast<size_t>(k)], destinations[static_cast<size_t>(k)]);
            g.WriteBand(image, at, count, destinations);
        }
    }
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

    /// Does whole lines of the pass with buffers and a kernel of its own.
    class Worker {
    public:
        /// A worker for `pass`.
        explicit Worker(const KXKernelPass& pass) : m_pass(pass), m_band(pass.m_geometry), m_kernel(pass.m_kernel) {}
        Worker(const Worker&) = delete;
        Worker& operator=(const Worker&) = delete;
        /// Does rows (columns) first … last.
        void Lines(int first, int last)
        {
            const int length = m_pass.m_geometry.destinationLength;
            m_band.Run(m_pass.m_geometry, m_pass.m_image, first, last,
                       [this, length](const KXPixelLine& source, KXPixelLine& destination) {
                           m_kernel.SetSource(&source);
                           m_kernel.SetDestination(&destination);
                           m_kernel.Span(0, length);
                       });
        }

    private:
        const KXKernelPass& m_pass;
        KXLineBand m_band;
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

/// Hands out memory that starts on a cache line (64 bytes): a buffer of
/// 64-byte rows whose vectors are loaded and stored whole then never splits
/// one across two lines, as the 16 bytes operator new promises would. A
/// vector grown by resize() leaves its new elements default-initialised
/// (numbers: unset), since its users write every element before reading it.
template <class T>
struct KXCacheLineAllocator {
    using value_type = T;                         ///< What it allocates.
    static constexpr std::size_t kAlignment = 64; ///< The cache line.
    KXCacheLineAllocator() = default;
    /// Allocators of every type are interchangeable.
    template <class U>
    KXCacheLineAllocator(const KXCacheLineAllocator<U>&) noexcept
    {
    }
    /// `n` elements at a cache-line boundary.
    T* allocate(std::size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t(kAlignment))); }
    /// Frees what allocate gave.
    void deallocate(T* p, std::size_t) noexcept { ::operator delete(p, std::align_val_t(kAlignment)); }
    /// Default-initialises (numbers stay unset).
    template <class U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible<U>::value)
    {
        ::new (static_cast<void*>(p)) U;
    }
    /// Constructs from the arguments.
    template <class U, class... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    /// Always equal: any one frees what another allocated.
    template <class U>
    bool operator==(const KXCacheLineAllocator<U>&) const noexcept
    {
        return true;
    }
    /// Never unequal.
    template <class U>
    bool operator!=(const KXCacheLineAllocator<U>&) const noexcept
    {
        return false;
    }
};

/// A vector whose data() lies on a cache line.
template <class T>
using KXCacheLineVector = std::vector<T, KXCacheLineAllocator<T>>;

/// Buffers a box line may keep between lines (a pass worker owns one); the
/// band form keeps 64-byte rows in them.
struct KXBoxLineScratch {
    KXCacheLineVector<uint32_t> terms;  ///< The window's pixels' terms.
    KXCacheLineVector<int32_t> sums;    ///< A block of pixels' sums.
    KXCacheLineVector<uint32_t> pixels; ///< A block of finished pixels.
    KXCacheLineVector<uint32_t> line;   ///< One row read.
    KXCacheLineVector<uint32_t> rows;   ///< A band's finished rows.
    KXPixelLine window;                 ///< The window of a line.
};

/// The same line, reusing `scratch`'s window; for most accumulators the
/// line above.
template <class Accumulator>
void KXSlideBox(const KXPassGeometry& g, const KXPixelLine& source, KXPixelLine& destination,
                Accumulator& accumulator, KXBoxLineScratch& scratch)
{
    KXFillBoxWindow<Accumulator::kTransparentOutside>(g, source, accumulator.Radius(), scratch.window);
    KXSlideBoxWindow(g, scratch.window.data(), destination, accumulator);
}

/// The same line for the alpha-weighted accumulator, with every pixel's
/// terms worked out once and the divisions done as exact multiplications,
/// several pixels at a time; the pixels are those of the template (the
/// accumulator itself is only asked for its radius).
KXCORE_EXPORT void KXSlideBox(const KXPassGeometry& g, const KXPixelLine& source, KXPixelLine& destination,
                              KXRGBABlurAccumulatorPremul& accumulator, KXBoxLineScratch& scratch);
/// The same with buffers of its own.
KXCORE_EXPORT void KXSlideBox(const KXPassGeometry& g, const KXPixelLine& source, KXPixelLine& destination,
                              KXRGBABlurAccumulatorPremul& accumulator);

/// Lines first … last of a pass of geometry `g` over `image`, read,
/// computed and written a band of kBandLines lines at a time, the lines'
/// sums sliding together; returns false (and does nothing) where it has no
/// such form (other accumulators), so that the caller does the lines one by
/// one. The pixels are those of the lines.
template <class Accumulator>
bool KXSlideBoxBand(const KXPassGeometry&, KXImageRGBA32i&, int, int, Accumulator&, KXBoxLineScratch&)
{
    return false;
}
/// The band form for the alpha-weighted accumulator.
KXCORE_EXPORT bool KXSlideBoxBand(const KXPassGeometry& g, KXImageRGBA32i& image, int first, int last,
                                  KXRGBABlurAccumulatorPremul& accumulator, KXBoxLineScratch& scratch);

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
        KXPixelLine source(static_cast<size_t>(m_geometry.sourceLength));
        KXPixelLine destination(static_cast<size_t>(m_geometry.destinationLength));
        m_geometry.Read(m_image, m_current, source);
        Accumulator accumulator(m_accumulator);
        KXSlideBox(m_geometry, source, destination, accumulator);
        if (!m_geometry.Write(m_image, m_current, destination) && m_geometry.horizontal)
            m_current = m_geometry.lastLine;
        ++m_current;
        return Finished();
    }

    /// Does whole lines of the pass with buffers and an accumulator of its own.
    class Worker {
    public:
        /// A worker for `pass`.
        explicit Worker(const KXBoxPass& pass) : m_pass(pass), m_accumulator(pass.m_accumulator) {}
        Worker(const Worker&) = delete;
        Worker& operator=(const Worker&) = delete;
        /// Does rows (columns) first … last.
        void Lines(int first, int last)
        {
            const KXPassGeometry& g = m_pass.m_geometry;
            if (KXSlideBoxBand(g, m_pass.m_image, first, last, m_accumulator, m_scratch))
                return;
            if (!m_band)
                m_band.emplace(g);
            m_band->Run(g, m_pass.m_image, first, last, [this, &g](const KXPixelLine& source, KXPixelLine& destination) {
                KXSlideBox(g, source, destination, m_accumulator, m_scratch);
            });
        }

    private:
        const KXBoxPass& m_pass;
        std::optional<KXLineBand> m_band; // line buffers, made when first needed
        Accumulator m_accumulator;
        KXBoxLineScratch m_scratch;
    };

private:
    KXImageRGBA32i& m_image;
    Accumulator m_accumulator;
    KXPassGeometry m_geometry;
    int m_current;
};

#endif // KXFILTERPASSES_H
