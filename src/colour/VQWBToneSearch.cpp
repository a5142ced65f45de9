#include "VQWBToneSearch.h"

#include "KXSpline.h"

#include <QPointF>
#include <QVector>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

inline double ClampDouble(double v, double low, double high)
{
    return v < low ? low : v > high ? high : v;
}

KXByteTable SplineTable(const QVector<QPointF>& controlPoints)
{
    const QVector<QPointF> points = KXSpline::Ascending(controlPoints);
    QVector<double> a, b, c;
    KXSpline::Build(points, a, b, c);
    KXByteTable table;
    for (int i = 0; i < 256; ++i) {
        const int v = KXSpline::Round(KXSpline::Value(i, points, a, b, c));
        table[i] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
    return table;
}

// The first index whose entry is below the one before it; 0 when none is.
int FirstDecrease(const KXByteTable& table)
{
    for (int i = 1; i < 256; ++i)
        if (table[i] < table[i - 1])
            return i;
    return 0;
}

VQWBDetail::Bins Reduce(const VQWBDetail::Histogram& histogram)
{
    VQWBDetail::Bins bins{};
    for (int i = 0; i < 256; ++i)
        bins[i / 32] += histogram[i];
    return bins;
}

// The stretch of a histogram: `first` and `last` the first and last index
// above 0.001 (0 and 0 when there is none), scale (last − first) / 256.
// False when the scale is 0 (nothing to stretch).
bool Stretch(const VQWBDetail::Histogram& histogram, int& first, double& scale)
{
    first = 0;
    int last = 0;
    bool found = false;
    for (int i = 0; i < 256; ++i)
        if (histogram[i] > 0.001) {
            if (!found)
                first = i;
            found = true;
            last = i;
        }
    scale = (last - first) / 256.0;
    return scale != 0.0;
}

// Where level i of the stretched histogram takes from.
inline int Source(int i, int first, double scale)
{
    const double j = (i - first) / scale;
    return j <= 0.0 ? 0 : j >= 255.0 ? 255 : static_cast<int>(j);
}

} // namespace

KXByteTable VQWBDetail::ToneTable(double t)
{
    // (0, 0), (1, 1), (p, 255 − p), (254, 254), (255, 255); a point whose x
    // does not follow the one before (p at 1 or 254) is left out of the
    // spline.
    const double p = ClampDouble((t + 1.0) * 253.0 * 0.5 + 1.0, 0.0, 255.0);
    QVector<QPointF> points = {{0, 0}, {1, 1}, {p, 255.0 - p}, {254, 254}, {255, 255}};
    KXByteTable table = SplineTable(points);
    // Flatten the ends until the table never decreases.
    for (;;) {
        const int i = FirstDecrease(table);
        if (i == 0)
            break;
        double& low = points[1].ry();
        double& high = points[3].ry();
        if (low == 0.0 && high == 255.0)
            break;
        if (i <= 128) {
            low = ClampDouble(low - 0.255, 0.0, 255.0);
            if (low == 0.0)
                high = ClampDouble(high + 0.255, 0.0, 255.0);
        } else {
            high = ClampDouble(high + 0.255, 0.0, 255.0);
            if (high == 255.0)
                low = ClampDouble(low - 0.255, 0.0, 255.0);
        }
        table = SplineTable(points);
    }
    return table;
}

double VQWBDetail::HistogramDistance(const Bins& a, const Bins& b)
{
    double sa = 0.0, sb = 0.0;
    for (int i = 0; i < 8; ++i) {
        sa += a[i];
        sb += b[i];
    }
    const double norm = std::sqrt(sa * sb);
    if (!(norm > 0.0))
        return 0.0;
    const int centre = 4;
    double sum = 0.0;
    for (int i = 0; i < 8; ++i) {
        const int offset = i - centre;
        const double difference = a[i] - b[i];
        double term = (offset * offset * 0.5 + 1.0) * (std::abs(offset) + 1) * (difference * difference) / norm;
        if ((i == 0 || i == 7) && b[i] > 0.03)
            term = term * term;
        sum += term;
    }
    return std::sqrt(sum);
}

VQWBDetail::Histogram VQWBDetail::StretchedReferenceByPasses(const Histogram& histogram)
{
    Histogram reference{};
    int first;
    double scale;
    if (!Stretch(histogram, first, scale))
        return reference;
    Histogram work = histogram;
    bool moved = true;
    while (moved) {
        moved = false;
        for (int i = 0; i < 256; ++i) {
            const int j = Source(i, first, scale);
            if (work[j] > 10.0) {
                reference[i] += 10.0;
                work[j] -= 10.0;
                moved = true;
            } else {
                reference[i] += work[j];
                work[j] = 0.0;
            }
        }
    }
    return reference;
}

VQWBDetail::Histogram VQWBDetail::StretchedReference(const Histogram& histogram)
{
    // The levels that take from one source bin do so in turn, pass after
    // pass: steps of 10 while more than 10 is left, then the rest to the
    // next in turn. Counts are whole numbers, so every sum is exact and the
    // order of the additions does not matter; anything else takes the
    // passes one by one.
    for (double count : histogram)
        if (!(count >= 0.0 && count < 9.0e15 && count == std::floor(count)))
            return StretchedReferenceByPasses(histogram);
    Histogram reference{};
    int first;
    double scale;
    if (!Stretch(histogram, first, scale))
        return reference;
    std::vector<std::vector<int>> takers(256); // the levels of each source bin, in turn
    for (int i = 0; i < 256; ++i)
        takers[static_cast<size_t>(Source(i, first, scale))].push_back(i);
    for (int j = 0; j < 256; ++j) {
        const std::vector<int>& turn = takers[static_cast<size_t>(j)];
        const int64_t m = static_cast<int64_t>(turn.size());
        if (m == 0)
            continue;
        const int64_t n = static_cast<int64_t>(histogram[j]);
        const int64_t full = n > 10 ? (n - 11) / 10 + 1 : 0; // steps of 10
        for (int64_t q = 0; q < m; ++q) {
            const int64_t steps = full / m + (q < full % m ? 1 : 0);
            reference[turn[q]] += 10.0 * static_cast<double>(steps);
        }
        reference[turn[full % m]] += static_cast<double>(n - 10 * full);
    }
    return reference;
}

int VQWBDetail::BestToneCandidate(const Histogram& histogram, const Histogram& reference)
{
    const Bins referenceBins = Reduce(reference);
    int best = 0;
    double bestScore = 0.0;
    bool found = false;
    for (int k = 0; k < 40; ++k) {
        const KXByteTable table = ToneTable(CandidateParameter(k));
        Histogram remapped{};
        for (int i = 0; i < 256; ++i)
            remapped[table[i]] += histogram[i];
        const double score = HistogramDistance(referenceBins, Reduce(remapped));
        if (score == 0.0 || std::isnan(score))
            continue;
        if (!found || score < bestScore) {
            best = k;
            bestScore = score;
            found = true;
        }
    }
    return best;
}
