#include "VQWBTransformation.h"

#include "KXTransformImageColors.h"
#include "VQWBToneSearch.h"
#include "core/KXArithmetic.h"

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

constexpr int kMaxGreyPixels = 2049;

// clamp to 0 … 255; NaN gives 0.
inline double Clamp255(double v)
{
    return v > 255.0 ? 255.0 : (v > 0.0 ? v : 0.0);
}

// trunc for a value known to be finite and moderate; NaN gives 0.
inline int Trunc(double v)
{
    if (!(v == v))
        return 0;
    return static_cast<int>(std::max(std::min(v, 1.0e9), -1.0e9));
}

using KXArithmetic::ClampByte;

// c := (t × w + (255000 − w) × c) / 255000.
inline int Blend(int t, int c, int w)
{
    return KXArithmetic::Mix<255000>(c, t, w);
}

// Per channel value, the terms each pixel adds in the second pass; the
// same products the formulas take, in the same order.
struct SecondPassTerms {
    std::array<double, 256> squareR, squareG, squareB; // (X − meanX)²
    std::array<double, 256> yR, yG, yB;                // 16 + 65.481 r, 128.553 g, 24.966 b
    std::array<double, 256> cbR, cbG, cbB;             // 128 − 37.797 r, 74.203 g, 112 b
    std::array<double, 256> crR, crG, crB;             // 128 + 112 r, 93.786 g, 18.214 b

    SecondPassTerms(double meanR, double meanG, double meanB)
    {
        for (int i = 0; i < 256; ++i) {
            const double v = i / 255.0;
            squareR[i] = (i - meanR) * (i - meanR);
            squareG[i] = (i - meanG) * (i - meanG);
            squareB[i] = (i - meanB) * (i - meanB);
            yR[i] = 16.0 + 65.481 * v;
            yG[i] = 128.553 * v;
            yB[i] = 24.966 * v;
            cbR[i] = 128.0 - 37.797 * v;
            cbG[i] = 74.203 * v;
            cbB[i] = 112.0 * v;
            crR[i] = 128.0 + 112.0 * v;
            crG[i] = 93.786 * v;
            crB[i] = 18.214 * v;
        }
    }
};

// Y, U, V of a near-grey test (channels 0 … 255).
struct YUV {
    double y, u, v;
    YUV(double r, double g, double b)
        : y(0.299 * r + 0.587 * g + 0.114 * b), u(0.436 * b - 0.147 * r - 0.289 * g),
          v(0.615 * r - 0.515 * g - 0.100 * b)
    {
    }
};

void MeanUV(const std::vector<KXRGBA32i>& pixels, double offsetR, double gainGrey, double offsetB, bool corrected,
            double& meanU, double& meanV)
{
    meanU = meanV = 0.0;
    if (pixels.empty())
        return;
    double sumU = 0.0, sumV = 0.0;
    for (const KXRGBA32i& p : pixels) {
        double r = p.r, g = p.g, b = p.b;
        if (corrected) {
            r = Trunc(Clamp255(p.r + offsetR * 255.0));
            g = Trunc(Clamp255(p.g * gainGrey));
            b = Trunc(Clamp255(p.b + offsetB * 255.0));
        }
        const YUV yuv(r, g, b);
        sumU += yuv.u;
        sumV += yuv.v;
    }
    meanU = sumU / static_cast<double>(pixels.size());
    meanV = sumV / static_cast<double>(pixels.size());
}

// Reads a QImage in the order the visitors read a tiled image: 128 × 128
// blocks, rows of blocks top to bottom, each block row by row.
template <class F>
void VisitInTileOrder(const QImage& image, F& f)
{
    const int width = image.width(), height = image.height();
    constexpr int W = int(KXImageRGBA32i::kTileWidth), H = int(KXImageRGBA32i::kTileHeight);
    for (int y0 = 0; y0 < height; y0 += H)
        for (int x0 = 0; x0 < width; x0 += W) {
            const int y1 = std::min(y0 + H, height), x1 = std::min(x0 + W, width);
            for (int y = y0; y < y1; ++y) {
                const KXRGBA32i* line = reinterpret_cast<const KXRGBA32i*>(image.constScanLine(y));
                for (int x = x0; x < x1; ++x)
                    f(line[x]);
            }
        }
}

QImage AsARGB32(const QImage& image)
{
    if (image.format() == QImage::Format_ARGB32 || image.format() == QImage::Format_RGB32)
        return image;
    return image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

VQWBTransformation::VQWBTransformation(const KXImage<KXRGBA32i, 128, 128>& image, BalanceFunction function,
                                       int strength)
    : m_weight(qBound(0, strength, 100) * 2550), m_selected(function), m_statistics(new Statistics)
{
    Analyse([&image](auto& f) { VisitPixels(image, image.Rect(), f); }, image.Rect());
    Select(function);
}

VQWBTransformation::VQWBTransformation(const QImage& image, BalanceFunction function, int strength)
    : m_weight(qBound(0, strength, 100) * 2550), m_selected(function), m_statistics(new Statistics)
{
    const QImage argb = AsARGB32(image);
    Analyse([&argb](auto& f) { VisitInTileOrder(argb, f); }, argb.rect());
    Select(function);
}

VQWBTransformation::VQWBTransformation(const VQWBTransformation& other)
    : KXTableAdjustment(other), m_weight(other.m_weight), m_selected(other.m_selected),
      m_function(other.m_function), m_statistics(new Statistics(*other.m_statistics))
{
}

VQWBTransformation& VQWBTransformation::operator=(const VQWBTransformation& other)
{
    if (this != &other) {
        *m_statistics = *other.m_statistics;
        m_weight = other.m_weight;
        m_selected = other.m_selected;
        m_function = other.m_function;
        m_tables = other.m_tables;
    }
    return *this;
}

VQWBTransformation::~VQWBTransformation() = default;

template <class Visit>
void VQWBTransformation::Analyse(Visit visit, const QRect& rect)
{
    Statistics& s = *m_statistics;
    s.rect = rect;

    // Pass 1: channel and luminance histograms.
    struct FirstPass {
        int64_t red[256] = {}, green[256] = {}, blue[256] = {}, luminance[256] = {};
        int64_t count = 0;
        void operator()(const KXRGBA32i& p)
        {
            ++red[p.r];
            ++green[p.g];
            ++blue[p.b];
            ++luminance[(11 * p.r + 59 * p.g + 30 * p.b) / 100];
            ++count;
        }
    };
    std::unique_ptr<FirstPass> first(new FirstPass);
    visit(*first);
    s.pixelCount = first->count;

    // First and last non-empty bin; 0 and 0 for an empty histogram.
    auto extent = [](const int64_t* histogram, int& low, int& high) {
        low = high = 0;
        bool found = false;
        for (int i = 0; i < 256; ++i)
            if (histogram[i]) {
                if (!found)
                    low = i;
                found = true;
                high = i;
            }
    };
    extent(first->red, s.minR, s.maxR);
    extent(first->green, s.minG, s.maxG);
    extent(first->blue, s.minB, s.maxB);
    auto mean = [&first](const int64_t* histogram) {
        int64_t sum = 0;
        for (int i = 0; i < 256; ++i)
            sum += i * histogram[i];
        return first->count ? static_cast<double>(sum) / static_cast<double>(first->count) : 0.0;
    };
    s.meanR = mean(first->red);
    s.meanG = mean(first->green);
    s.meanB = mean(first->blue);

    // Pass 2: deviations, luma and chroma; near-grey pixels on the way.
    struct SecondPass {
        const SecondPassTerms& t;
        double squareR = 0, squareG = 0, squareB = 0, y = 0, cb = 0, cr = 0;
        int64_t count = 0;
        std::vector<KXRGBA32i> grey;
        void operator()(const KXRGBA32i& p)
        {
            squareR += t.squareR[p.r];
            squareG += t.squareG[p.g];
            squareB += t.squareB[p.b];
            y += t.yR[p.r] + t.yG[p.g] + t.yB[p.b];
            cb += t.cbR[p.r] - t.cbG[p.g] + t.cbB[p.b];
            cr += t.crR[p.r] - t.crG[p.g] - t.crB[p.b];
            ++count;
            if (grey.size() < kMaxGreyPixels) {
                const YUV yuv(p.r, p.g, p.b);
                if ((std::abs(yuv.u) + std::abs(yuv.v)) / (yuv.y + 0.00001) < 0.75)
                    grey.push_back(p);
            }
        }
    };
    const std::unique_ptr<SecondPassTerms> terms(new SecondPassTerms(s.meanR, s.meanG, s.meanB));
    SecondPass second{*terms, 0, 0, 0, 0, 0, 0, 0, {}};
    second.grey.reserve(kMaxGreyPixels);
    visit(second);
    if (second.count) {
        const double n = static_cast<double>(second.count);
        s.meanY = second.y / n;
        s.meanCb = second.cb / n;
        s.meanCr = second.cr / n;
        s.sdR = std::sqrt(second.squareR / n);
        s.sdG = std::sqrt(second.squareG / n);
        s.sdB = std::sqrt(second.squareB / n);
    }
    if (s.sdG != 0.0) {
        const double sum = s.sdR + s.sdG + s.sdB;
        s.gainR = sum / (3.0 * s.sdR);
        s.gainG = sum / (3.0 * s.sdG);
        s.gainB = sum / (3.0 * s.sdB);
    }
    const double sdMax = std::max(s.sdR, std::max(s.sdG, s.sdB));
    const double sdMin = std::min(s.sdR, std::min(s.sdG, s.sdB));
    s.mix = (std::abs(sdMax - sdMin) + std::abs(s.meanCb - s.meanCr)) / 200.0;
    s.lowAll = std::min(s.minR, std::min(s.minG, s.minB));
    s.highAll = std::max(s.maxR, std::max(s.maxG, s.maxB));

    // Grey point: move the red and blue offsets until the near-grey pixels
    // have no chroma left.
    s.offsetR = 0.1 * s.gainR;
    s.offsetB = 0.1 * s.gainB;
    s.gainGrey = std::max(0.0, std::min(s.gainG, 1.0));
    double meanU, meanV;
    MeanUV(second.grey, s.offsetR, s.gainGrey, s.offsetB, false, meanU, meanV);
    for (int iteration = 0; iteration < 256 && meanU != meanV; ++iteration) {
        if (std::abs(meanU) >= std::abs(meanV))
            s.offsetB -= meanU * 0.5 / 255.0;
        else
            s.offsetR -= meanV * 0.5 / 255.0;
        double u, v;
        MeanUV(second.grey, s.offsetR, s.gainGrey, s.offsetB, true, u, v);
        const bool settled = std::abs(u - meanU) < 0.0000001 && std::abs(v - meanV) < 0.0000001;
        meanU = u;
        meanV = v;
        if (settled)
            break;
    }

    // Tone curve: the candidate that brings the luminance histogram closest
    // to its own stretched copy.
    if (first->count) {
        VQWBDetail::Histogram luminance;
        for (int i = 0; i < 256; ++i)
            luminance[i] = static_cast<double>(first->luminance[i]);
        const int k = VQWBDetail::BestToneCandidate(luminance, VQWBDetail::StretchedReference(luminance));
        s.toneParameter = std::max(0.0, std::min((k * 0.0499 + 0.01) * 0.5, 1.0));
    }
    s.tonePercent = static_cast<int>(s.toneParameter * 100.0);
    s.toneTable = VQWBDetail::ToneTable(std::max(-1.0, std::min((s.tonePercent - 50) / 50.0, 1.0)));
}

void VQWBTransformation::Select(BalanceFunction function)
{
    switch (function) {
    case BalanceFunction::Auto:
        m_function = &VQWBTransformation::Auto;
        break;
    case BalanceFunction::OverExposure:
        m_function = &VQWBTransformation::OverExposure;
        break;
    case BalanceFunction::UnderExposure:
        m_function = &VQWBTransformation::UnderExposure;
        break;
    default:
        m_function = nullptr;
        break;
    }
    // Every function treats each channel on its own, so running it on the
    // grey of every level gives its result for every channel value.
    KXByteTable red, green, blue;
    for (unsigned int i = 0; i < 256; ++i) {
        KXRGBA32i grey(0xFF000000u | i * 0x010101u);
        if (m_function)
            (this->*m_function)(grey);
        red[i] = grey.r;
        green[i] = grey.g;
        blue[i] = grey.b;
    }
    m_tables = KXRGBTables(red, green, blue);
}

void VQWBTransformation::Auto(KXRGBA32i& pixel) const
{
    const Statistics& s = *m_statistics;
    // One channel: its value, its grey-point correction, its range and mean.
    auto channel = [&](int c, double corrected, int low, int high, double channelMean) {
        const double stretched = Clamp255((corrected - low) / (high - low) * s.highAll + s.lowAll);
        const double shifted = Clamp255(s.meanY - channelMean + c);
        const double mixed = s.mix * stretched + (1.0 - s.mix) * shifted;
        return s.toneTable[ClampByte(Blend(Trunc(mixed), c, m_weight))];
    };
    const uint8_t r = channel(pixel.r, Clamp255(pixel.r + s.offsetR * 255.0), s.minR, s.maxR, s.meanR);
    const uint8_t g = channel(pixel.g, Clamp255(pixel.g * s.gainGrey), s.minG, s.maxG, s.meanG);
    const uint8_t b = channel(pixel.b, Clamp255(pixel.b + s.offsetB * 255.0), s.minB, s.maxB, s.meanB);
    pixel.r = r;
    pixel.g = g;
    pixel.b = b;
}

void VQWBTransformation::OverExposure(KXRGBA32i& pixel) const
{
    auto darken = [this](int c) { return static_cast<uint8_t>(ClampByte(Blend(std::min(c * c / 255, 255), c, m_weight))); };
    pixel.b = darken(pixel.b);
    pixel.g = darken(pixel.g);
    pixel.r = darken(pixel.r);
}

void VQWBTransformation::UnderExposure(KXRGBA32i& pixel) const
{
    auto brighten = [this](int c) {
        return static_cast<uint8_t>(ClampByte(Blend(std::min(255 - (((255 - c) * (255 - c)) >> 8), 255), c, m_weight)));
    };
    pixel.b = brighten(pixel.b);
    pixel.g = brighten(pixel.g);
    pixel.r = brighten(pixel.r);
}
