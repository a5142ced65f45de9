#include "KXSpline.h"

#include <vector>

void KXSpline::Build(const QVector<QPointF>& points, QVector<double>& a, QVector<double>& b, QVector<double>& c)
{
    a.clear();
    b.clear();
    c.clear();
    const int n = points.size();
    if (n < 2)
        return;
    std::vector<double> h(static_cast<size_t>(n - 1));
    for (int j = 0; j + 1 < n; ++j)
        h[j] = points[j + 1].x() - points[j].x();

    // Rows j = 1 … n − 2: h_{j−1} M_{j−1} + 2 (h_{j−1} + h_j) M_j + h_j M_{j+1} = rhs_j.
    std::vector<double> m(static_cast<size_t>(n), 0.0);
    if (n > 2) {
        std::vector<double> diagonal(static_cast<size_t>(n)), rhs(static_cast<size_t>(n));
        for (int j = 1; j + 1 < n; ++j) {
            diagonal[j] = 2.0 * (h[j - 1] + h[j]);
            rhs[j] = 6.0 * ((points[j + 1].y() - points[j].y()) / h[j] - (points[j].y() - points[j - 1].y()) / h[j - 1]);
        }
        for (int j = 2; j + 1 < n; ++j) {
            const double w = h[j - 1] / diagonal[j - 1];
            diagonal[j] -= w * h[j - 1];
            rhs[j] -= w * rhs[j - 1];
        }
        m[n - 2] = rhs[n - 2] / diagonal[n - 2];
        for (int j = n - 3; j >= 1; --j)
            m[j] = (rhs[j] - h[j] * m[j + 1]) / diagonal[j];
    }

    a.resize(n - 1);
    b.resize(n - 1);
    c.resize(n - 1);
    for (int j = 0; j + 1 < n; ++j) {
        a[j] = (m[j + 1] - m[j]) / (6.0 * h[j]);
        b[j] = m[j] / 2.0;
        c[j] = (points[j + 1].y() - points[j].y()) / h[j] - h[j] * (2.0 * m[j] + m[j + 1]) / 6.0;
    }
}
