#include "KXColorTransform.h"

#include "core/KXLogMacros.h"
#include "KXTransformImageColors.h"
#include "core/KXArithmetic.h"
#include "core/KXQImageFormat.h"
#include "core/KXTileWalker.h"

#include <QMutexLocker>

#include <cstring>

namespace {

const char kLogFile[] = "include/KXTransformImageColors";
constexpr unsigned int kTileBytes = KXImageRGBA32i::kTilePixels * sizeof(KXRGBA32i);

// The pixels of a buffer operation; null when there is none.
inline KXRGBA32i* Pixels(void* pixels, unsigned int byteCount, unsigned int& count)
{
    count = byteCount / 4;
    return (pixels && count) ? static_cast<KXRGBA32i*>(pixels) : nullptr;
}

// A tile about to be transformed in place: a fresh block gets the old pixels.
inline void Prepare(KXRGBA32i* out, const KXRGBA32i* in)
{
    if (out != in)
        KXCopyMemory(out, in, kTileBytes);
}

// fn(out, in) for every tile of the image (see Prepare).
template <class Fn>
void WholeTiles(KXImage<KXRGBA32i, 128, 128>& image, KXTileWalker::Run run, Fn fn)
{
    KXTileWalker::Write(image, KXTileWalker::Grid(image), run,
                        [&fn](KXRGBA32i* out, const KXRGBA32i* in, unsigned int, unsigned int) { fn(out, in); });
}

} // namespace

// ---- KXColorTransformBase ----------------------------------------------------

void KXColorTransformBase::operator()(KXImage<KXRGBA32i, 128, 128>&) const {}
void KXColorTransformBase::operator()(QImage&) const {}
void KXColorTransformBase::operator()(KXHSLA&) const {}
void KXColorTransformBase::operator()(KXRGBA128f&) const {}
void KXColorTransformBase::operator()(KXRGBA128i&) const {}
void KXColorTransformBase::operator()(KXRGBA64f&) const {}
void KXColorTransformBase::operator()(KXRGBA64i&) const {}
void KXColorTransformBase::operator()(KXRGBA32i&) const {}
void KXColorTransformBase::Invert(KXImage<KXRGBA32i, 128, 128>&) const {}
void KXColorTransformBase::Invert(QImage&) const {}
void KXColorTransformBase::Invert(KXRGBA128f&) const {}
void KXColorTransformBase::Invert(KXRGBA128i&) const {}
void KXColorTransformBase::Invert(KXRGBA64f&) const {}
void KXColorTransformBase::Invert(KXRGBA64i&) const {}
void KXColorTransformBase::Invert(KXRGBA32i&) const {}
KXColorTransformBase::~KXColorTransformBase() = default;

void KXColorTransformBase::ApplyToTiles(KXImage<KXRGBA32i, 128, 128>& image, bool invert) const
{
    // The buffer operations of the library's own transformations keep no
    // state, so tiles go in parallel.
    WholeTiles(image, KXTileWalker::Run::Parallel, [this, invert](KXRGBA32i* out, const KXRGBA32i* in) {
        Prepare(out, in);
        if (invert)
            Invert(out, kTileBytes);
        else
            (*this)(static_cast<void*>(out), kTileBytes);
    });
}

void KXColorTransformBase::ApplyToScanLines(QImage& image, bool invert) const
{
    // Each scan line goes to the buffer operation as width x 4 bytes: a
    // narrower pixel would be read and written past the line's end.
    if (!KXQImageFormat::Accept(image, KXQImageFormat::HoldsArgbWords(image), KX_SITE(kLogFile)))
        return;
    const unsigned int bytes = static_cast<unsigned int>(image.width()) * 4;
    for (int y = 0; y < image.height(); ++y) {
        void* line = image.scanLine(y);
        if (invert)
            Invert(line, bytes);
        else
            (*this)(line, bytes);
    }
}

// ---- KXColorTransformStack ---------------------------------------------------

KXColorTransformStack::KXColorTransformStack() = default;

KXColorTransformStack::~KXColorTransformStack()
{
    for (KXColorTransformBase* transform : m_transforms)
        delete transform;
}

void KXColorTransformStack::Push(KXColorTransformBase* transform)
{
    QMutexLocker lock(&m_mutex);
    m_transforms.push_back(transform);
}

KXColorTransformBase* KXColorTransformStack::Pop()
{
    {
        QMutexLocker lock(&m_mutex);
        if (!m_transforms.isEmpty()) {
            KXColorTransformBase* top = m_transforms.back();
            m_transforms.pop_back();
            return top;
        }
    }
    KX_LOG_REPORT(kLogFile, QStringLiteral("Pop on an empty colour transform stack"));
    return nullptr;
}

KXColorTransformBase* KXColorTransformStack::Top() const
{
    {
        QMutexLocker lock(&m_mutex);
        if (!m_transforms.isEmpty())
            return m_transforms.back();
    }
    KX_LOG_REPORT(kLogFile, QStringLiteral("Top of an empty colour transform stack"));
    return nullptr;
}

void KXColorTransformStack::PopAll()
{
    for (;;) {
        QMutexLocker lock(&m_mutex);
        if (m_transforms.isEmpty())
            return;
        m_transforms.pop_back();
    }
}

bool KXColorTransformStack::isEmpty() const
{
    QMutexLocker lock(&m_mutex);
    return m_transforms.isEmpty();
}

bool KXColorTransformStack::HoldsAny() const
{
    for (const KXColorTransformBase* transform : m_transforms)
        if (transform)
            return true;
    return false;
}

// op(transform) for every entry, bottom to top, under the lock.
template <class Op>
void KXColorTransformStack::Forward(Op op) const
{
    QMutexLocker lock(&m_mutex);
    for (const KXColorTransformBase* transform : m_transforms)
        if (transform)
            op(*transform);
}

// The same, top to bottom.
template <class Op>
void KXColorTransformStack::Backward(Op op) const
{
    QMutexLocker lock(&m_mutex);
    for (auto it = m_transforms.crbegin(); it != m_transforms.crend(); ++it)
        if (*it)
            op(**it);
}

void KXColorTransformStack::operator()(void* pixels, unsigned int byteCount) const
{
    Forward([&](const KXColorTransformBase& t) { t(pixels, byteCount); });
}

void KXColorTransformStack::operator()(KXImage<KXRGBA32i, 128, 128>& image) const
{
    QMutexLocker lock(&m_mutex);
    if (!HoldsAny())
        return; // nothing would change: no tile needs a private copy
    // The entries are the caller's and may keep state: one tile at a time.
    WholeTiles(image, KXTileWalker::Run::Serial, [this](KXRGBA32i* out, const KXRGBA32i* in) {
        Prepare(out, in);
        for (const KXColorTransformBase* transform : m_transforms)
            if (transform)
                (*transform)(static_cast<void*>(out), kTileBytes);
    });
}

void KXColorTransformStack::Invert(KXImage<KXRGBA32i, 128, 128>& image) const
{
    QMutexLocker lock(&m_mutex);
    if (!HoldsAny())
        return;
    WholeTiles(image, KXTileWalker::Run::Serial, [this](KXRGBA32i* out, const KXRGBA32i* in) {
        Prepare(out, in);
        for (auto it = m_transforms.crbegin(); it != m_transforms.crend(); ++it)
            if (*it)
                (*it)->Invert(out, kTileBytes);
    });
}

void KXColorTransformStack::operator()(QImage& image) const
{
    Forward([&](const KXColorTransformBase& t) { t(image); });
}
void KXColorTransformStack::operator()(KXHSLA& pixel) const
{
    Forward([&](const KXColorTransformBase& t) { t(pixel); });
}
void KXColorTransformStack::operator()(KXRGBA128f& pixel) const
{
    Forward([&](const KXColorTransformBase& t) { t(pixel); });
}
void KXColorTransformStack::operator()(KXRGBA128i& pixel) const
{
    Forward([&](const KXColorTransformBase& t) { t(pixel); });
}
void KXColorTransformStack::operator()(KXRGBA64f& pixel) const
{
    Forward([&](const KXColorTransformBase& t) { t(pixel); });
}
void KXColorTransformStack::operator()(KXRGBA64i& pixel) const
{
    Forward([&](const KXColorTransformBase& t) { t(pixel); });
}
void KXColorTransformStack::operator()(KXRGBA32i& pixel) const
{
    Forward([&](const KXColorTransformBase& t) { t(pixel); });
}

void KXColorTransformStack::Invert(void* pixels, unsigned int byteCount) const
{
    Backward([&](const KXColorTransformBase& t) { t.Invert(pixels, byteCount); });
}
void KXColorTransformStack::Invert(QImage& image) const
{
    Backward([&](const KXColorTransformBase& t) { t.Invert(image); });
}
void KXColorTransformStack::Invert(KXRGBA128f& pixel) const
{
    Backward([&](const KXColorTransformBase& t) { t.Invert(pixel); });
}
void KXColorTransformStack::Invert(KXRGBA128i& pixel) const
{
    Backward([&](const KXColorTransformBase& t) { t.Invert(pixel); });
}
void KXColorTransformStack::Invert(KXRGBA64f& pixel) const
{
    Backward([&](const KXColorTransformBase& t) { t.Invert(pixel); });
}
void KXColorTransformStack::Invert(KXRGBA64i& pixel) const
{
    Backward([&](const KXColorTransformBase& t) { t.Invert(pixel); });
}
void KXColorTransformStack::Invert(KXRGBA32i& pixel) const
{
    Backward([&](const KXColorTransformBase& t) { t.Invert(pixel); });
}

// ---- KXTCGrayscaleFromRGBA32iAlpha -------------------------------------------

void KXTCGrayscaleFromRGBA32iAlpha::operator()(void* pixels, unsigned int byteCount) const
{
    unsigned int count;
    KXRGBA32i* p = Pixels(pixels, byteCount, count);
    if (!p)
        return;
    for (unsigned int i = 0; i < count; ++i) {
        const uint32_t a = p[i].value >> 24;
        p[i].value = 0xFF000000u | a * 0x010101u;
    }
}

void KXTCGrayscaleFromRGBA32iAlpha::operator()(KXImage<KXRGBA32i, 128, 128>& image) const
{
    ApplyToTiles(image, false);
}

void KXTCGrayscaleFromRGBA32iAlpha::operator()(QImage& image) const
{
    ApplyToScanLines(image, false);
}

void KXTCGrayscaleFromRGBA32iAlpha::Invert(void*, unsigned int) const {}

// ---- KXRGBChannelFilter ------------------------------------------------------

void KXRGBChannelFilter::operator()(KXRGBA32i& pixel) const
{
    switch (m_filter) {
    case NoBlue:
        pixel.b = 0;
        break;
    case NoGreen:
        pixel.g = 0;
        break;
    case NoRed:
        pixel.r = 0;
        break;
    case RedAsGray:
        pixel.g = pixel.b = pixel.r;
        break;
    case GreenAsGray:
        pixel.r = pixel.b = pixel.g;
        break;
    case BlueAsGray:
        pixel.r = pixel.g = pixel.b;
        break;
    default:
        break;
    }
}

void KXRGBChannelFilter::operator()(void* pixels, unsigned int byteCount) const
{
    unsigned int count;
    KXRGBA32i* p = Pixels(pixels, byteCount, count);
    if (!p || m_filter == None)
        return;
    for (unsigned int i = 0; i < count; ++i)
        (*this)(p[i]);
}

void KXRGBChannelFilter::operator()(KXImage<KXRGBA32i, 128, 128>& image) const
{
    if (m_filter != None)
        ApplyToTiles(image, false);
}

void KXRGBChannelFilter::operator()(QImage& image) const
{
    if (m_filter != None)
        ApplyToScanLines(image, false);
}

void KXRGBChannelFilter::Invert(void*, unsigned int) const {}

// ---- KXToGrayScaleImage ------------------------------------------------------

void KXToGrayScaleImage::operator()(KXRGBA32i& pixel) const
{
    pixel.r = pixel.g = pixel.b = static_cast<uint8_t>(KXArithmetic::Luma(pixel.r, pixel.g, pixel.b));
}

void KXToGrayScaleImage::operator()(KXImage<KXRGBA32i, 128, 128>& image) const
{
    TransformPixels(image, image.Rect(), *this);
}

void KXToGrayScaleImage::operator()(QImage& image) const
{
    if (image.format() != QImage::Format_ARGB32 && image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32, Qt::NoOpaqueDetection);
    const int width = image.width();
    for (int y = 0; y < image.height(); ++y) {
        KXRGBA32i* line = reinterpret_cast<KXRGBA32i*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            (*this)(line[x]);
    }
}
