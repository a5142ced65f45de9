#include "VQHistogram.h"

#include <QMutexLocker>

#include <cstdlib>

KXHistogrammCalculator::KXHistogrammCalculator(const KXHistogrammCalculator& other)
    : m_red(other.m_red), m_green(other.m_green), m_blue(other.m_blue), m_all(other.m_all)
{
}

KXHistogrammCalculator& KXHistogrammCalculator::operator=(const KXHistogrammCalculator& other)
{
    if (this != &other) {
        QMutexLocker lock(&m_mutex);
        m_red = other.m_red;
        m_green = other.m_green;
        m_blue = other.m_blue;
        m_all = other.m_all;
    }
    return *this;
}

KXHistogrammCalculator::~KXHistogrammCalculator() = default;

void KXHistogrammCalculator::SetOutput(int* red, int* green, int* blue, int* all)
{
    QMutexLocker lock(&m_mutex);
    m_red = red;
    m_green = green;
    m_blue = blue;
    m_all = all;
}

void KXHistogrammCalculator::operator()(const KXRGBA32i& pixel) const
{
    QMutexLocker lock(&m_mutex);
    ++m_red[pixel.r];
    ++m_green[pixel.g];
    ++m_blue[pixel.b];
    ++m_all[pixel.r];
    ++m_all[pixel.g];
    ++m_all[pixel.b];
}

std::vector<int> KXHistogrammCalculator::Threshold(int* histogram)
{
    double total = 0.0;
    for (int i = 0; i < 256; ++i)
        total += histogram[i];
    const double limit = total / 1000.0;

    int low = 0;
    double sum = 0.0;
    for (int i = 0; i < 256; ++i) {
        sum += histogram[i];
        if (sum > limit)
            break;
        low = i;
    }
    int high = 255;
    sum = 0.0;
    for (int i = 255; i >= 0; --i) {
        sum += histogram[i];
        if (sum > limit)
            break;
        high = i;
    }

    if (std::abs(high - low) < 16) {
        int middle = (low + high) / 2;
        if (middle - 8 < 0)
            middle = 8;
        else if (middle + 8 >= 256)
            middle = 247;
        low = middle - 8;
        high = middle + 8;
    }
    return {low, high};
}
