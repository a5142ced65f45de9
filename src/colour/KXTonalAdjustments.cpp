#include "KXTonalAdjustments.h"

#include "KXSpline.h"
#include "core/KXArithmetic.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using KXArithmetic::ClampByte;

// clamp(trunc(x), 0, 255) for a double; NaN gives 0.
inline int ClampTrunc(double x)
{
    if (!(x > 0.0))
        return 0;
    return x >= 255.0 ? 255 : static_cast<int>(x);
}

// (table × A + i × (255000 − A)) / 255000 with A = amount × 2550: amount 100
// is the table, 0 the identity.
inline uint8_t MixAmount(int tableValue, int i, int amount)
{
    const int weight = std::min(std::max(amount, 0), 100) * 2550;
    return static_cast<uint8_t>(KXArithmetic::Mix<255000>(i, tableValue, weight));
}

// v mapped from the input range to the output range in integer arithmetic.
int MapRange(int v, const int* input, const int* output)
{
    const int inLow = input[0], inHigh = input[1], outLow = output[0], outHigh = output[1];
    if (v < inLow)
        return outLow;
    if (v > inHigh)
        return outHigh;
    if (inHigh == inLow)
        return outHigh;
    const int mapped = (v - inLow) * (outHigh - outLow) / (inHigh - inLow) + outLow;
    return std::min(std::max(mapped, std::min(outLow, outHigh)), std::max(outLow, outHigh));
}

// The points with both coordinates clamped to 0 … 255.
QVector<QPoint> Bounded(const QVector<QPoint>& points)
{
    QVector<QPoint> out;
    out.reserve(points.size());
    for (const QPoint& p : points)
        out.push_back(QPoint(qBound(0, p.x(), 255), qBound(0, p.y(), 255)));
    return out;
}

// trunc((i / 255)^(1 / gamma) × 255) within 0 … 255.
int GammaValue(int i, double gamma)
{
    return ClampTrunc(std::pow(i / 255.0, 1.0 / gamma) * 255.0);
}

} // namespace

// ---- Brightness and contrast -------------------------------------------------

KXBrightnessContrastTransformation::KXBrightnessContrastTransformation(int brightness, int contrast)
    : m_brightness(qBound(-127, brightness, 127) * 100 / 127), m_contrast(qBound(-127, contrast, 127) * 100 / 127)
{
    const double c = m_contrast * 255.0 / 100.0;
    const double f = (c + 255.0) * 259.0 / ((259.0 - c) * 255.0);
    KXByteTable table;
    for (int v = 0; v < 256; ++v) {
        const double x = (v + m_brightness - 128) * f + 128.0 + m_brightness;
        table[v] = static_cast<uint8_t>(ClampTrunc(x));
    }
    m_tables = KXRGBTables(table);
}

// ---- Levels ------------------------------------------------------------------

KXLevelsTransformation::KXLevelsTransformation() = default;

KXLevelsTransformation::KXLevelsTransformation(int (*inputRange)[2], int (*outputRange)[2], double* gamma,
                                               int amount)
{
    static int neutralRange[4][2] = {{0, 255}, {0, 255}, {0, 255}, {0, 255}};
    static double neutralGamma[4] = {1.0, 1.0, 1.0, 1.0};
    if (!inputRange)
        inputRange = neutralRange;
    if (!outputRange)
        outputRange = neutralRange;
    if (!gamma)
        gamma = neutralGamma;

    // Every setting within its range: ends 0 … 255, gamma 0.01 … 9.99 (one
    // that is not a number counts as 1).
    int input[4][2], output[4][2];
    double exponent[4];
    for (int k = 0; k < 4; ++k) {
        for (int end = 0; end < 2; ++end) {
            input[k][end] = qBound(0, inputRange[k][end], 255);
            output[k][end] = qBound(0, outputRange[k][end], 255);
        }
        const double g = std::isnan(gamma[k]) ? 1.0 : gamma[k];
        exponent[k] = 1.0 / std::max(std::min(g, 9.99), 0.01);
    }

    int master[256];
    for (int i = 0; i < 256; ++i)
        master[i] = MapRange(ClampTrunc(std::pow(i / 255.0, exponent[0]) * 255.0), input[0], output[0]);
    KXByteTable tables[3];
    for (int k = 1; k < 4; ++k)
        for (int i = 0; i < 256; ++i) {
            const int p = ClampTrunc(std::pow(i / 255.0, exponent[k]) * 255.0);
            const int q = master[ClampByte(MapRange(p, input[k], output[k]))];
            tables[k - 1][i] = MixAmount(ClampByte(q), i, amount);
        }
    m_tables = KXRGBTables(tables[0], tables[1], tables[2]);
}

// ---- Curves ------------------------------------------------------------------

KXCurvesTransformation::KXCurvesTransformation(QVector<QPoint>* curves, int amount)
{
    int curve[4][256];
    for (int k = 0; k < 4; ++k) {
        QVector<QPoint> points = curves ? KXSpline::Ascending(Bounded(curves[k])) : QVector<QPoint>();
        if (points.size() == 2) {
            const QPoint p0 = points[0], p1 = points[1];
            // the midpoint, each coordinate rounded half away from zero
            points.insert(1, QPoint(static_cast<int>(std::lround((p0.x() + p1.x()) / 2.0)),
                                    static_cast<int>(std::lround((p0.y() + p1.y()) / 2.0))));
        }
        QVector<double> a, b, c;
        BuildSplineParts(points, a, b, c);
        for (int i = 0; i < 256; ++i)
            curve[k][i] = a.isEmpty() ? i : ClampByte(SplineValue(i, points, a, b, c));
    }
    KXByteTable tables[3];
    for (int k = 1; k < 4; ++k)
        for (int i = 0; i < 256; ++i)
            tables[k - 1][i] = MixAmount(curve[0][curve[k][i]], i, amount);
    m_tables = KXRGBTables(tables[0], tables[1], tables[2]);
}

QVector<QPointF> KXCurvesTransformation::ToFloatPoints(const QVector<QPoint>& points)
{
    QVector<QPointF> out;
    out.reserve(points.size());
    for (const QPoint& p : points)
        out.push_back(QPointF(p));
    return out;
}

void KXCurvesTransformation::BuildSplineParts(const QVector<QPoint>& points, QVector<double>& a,
                                              QVector<double>& b, QVector<double>& c)
{
    KXSpline::Build(ToFloatPoints(points), a, b, c);
}

int KXCurvesTransformation::Lookup(int x, const QVector<QPoint>& points)
{
    return KXSpline::Segment(x, points);
}

int KXCurvesTransformation::SplineValue(int x, const QVector<QPoint>& points, const QVector<double>& a,
                                        const QVector<double>& b, const QVector<double>& c)
{
    if (a.isEmpty() || points.size() != a.size() + 1)
        return 0;
    const int j = Lookup(x, points);
    const double d = double(x) - points[j].x(); // a point's x may lie far from 0 … 255
    return KXSpline::Round(((a[j] * d + b[j]) * d + c[j]) * d + points[j].y());
}

// ---- Exposure, gamma, posterize ----------------------------------------------

KXExposureTransformation::KXExposureTransformation(double exposure, double offset)
{
    const double k = exposure / 20.0001 + 1.0;
    const double o = offset * 255.0;
    double lo = 0.0, hi = 255.0;
    if (k != 0.0) {
        lo = -o / k;
        hi = (255.0 - o) / k;
    }
    KXByteTable table;
    for (int i = 0; i < 256; ++i)
        table[i] = static_cast<uint8_t>(i < lo ? 0 : i < hi ? ClampTrunc(i * k + o) : 255);
    m_tables = KXRGBTables(table);
}

KXGammaCorrectionTransformation::KXGammaCorrectionTransformation(double gamma)
{
    const double g = std::max(std::min(gamma, 5.0), 0.01);
    KXByteTable table;
    for (int i = 0; i < 256; ++i)
        table[i] = static_cast<uint8_t>(GammaValue(i, g));
    m_tables = KXRGBTables(table);
}

KXPosterizeTransformation::KXPosterizeTransformation(int levels)
{
    const int n = std::min(std::max(levels, 2), 255);
    std::vector<uint8_t> level(static_cast<size_t>(n));
    for (int j = 0; j < n; ++j)
        level[static_cast<size_t>(j)] = static_cast<uint8_t>(j * 255 / (n - 1));
    const double step = 255.0 / n;
    KXByteTable table;
    for (int i = 0; i < 255; ++i)
        table[i] = level[static_cast<size_t>(std::min(static_cast<int>(i / step), n - 1))];
    table[255] = level[static_cast<size_t>(n - 1)];
    m_tables = KXRGBTables(table);
}
