#ifndef KXSPLINE_H
#define KXSPLINE_H

// The natural cubic spline behind the curves adjustment and the white
// balance tone table, in double precision. Internal to the library.

#include <QPoint>
#include <QPointF>
#include <QVector>

#include <cmath>
#include <limits>

namespace KXSpline {

// Second derivatives by the tridiagonal system of the natural spline
// (M_0 = M_{n-1} = 0), forward elimination and back substitution, then the
// cubic of each segment: y = ((a·d + b)·d + c)·d + y_j, d = x − x_j.
void Build(const QVector<QPointF>& points, QVector<double>& a, QVector<double>& b, QVector<double>& c);

// The segment of x: 0 up to x_0, n − 2 from x_{n−2} on, else binary search.
// Works on QPoint and QPointF lists alike.
template <class Points>
int Segment(double x, const Points& points)
{
    const int last = points.size() - 2;
    if (last <= 0 || x <= points[0].x())
        return 0;
    if (x >= points[last].x())
        return last;
    int lo = 0, hi = last;
    while (hi - lo > 1) {
        const int mid = lo + (hi - lo) / 2;
        if (points[mid].x() <= x)
            lo = mid;
        else
            hi = mid;
    }
    return lo;
}

template <class Points>
double Value(double x, const Points& points, const QVector<double>& a, const QVector<double>& b,
             const QVector<double>& c)
{
    const int j = Segment(x, points);
    const double d = x - points[j].x();
    return ((a[j] * d + b[j]) * d + c[j]) * d + points[j].y();
}

// trunc(v + 0.5) as an int; NaN gives 0 and values beyond the int range
// stop at its ends, so a degenerate spline cannot make the conversion
// undefined.
inline int Round(double v)
{
    const double t = v + 0.5;
    if (!(t == t))
        return 0;
    if (t >= 2147483647.0)
        return std::numeric_limits<int>::max();
    if (t <= -2147483648.0)
        return std::numeric_limits<int>::min();
    return static_cast<int>(t);
}

// The points whose x is greater than that of the point kept before them:
// a spline needs strictly ascending x.
template <class Points>
Points Ascending(const Points& points)
{
    Points kept;
    for (const auto& p : points)
        if (kept.isEmpty() || p.x() > kept.back().x())
            kept.push_back(p);
    return kept;
}

} // namespace KXSpline

#endif // KXSPLINE_H
