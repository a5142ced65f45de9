#include "KXAdjustmentProcessing.h"

#include <QReadLocker>
#include <QWriteLocker>

KXAdjustmentProcessing::KXAdjustmentProcessing() = default;

KXAdjustmentProcessing::~KXAdjustmentProcessing() = default;

int KXAdjustmentProcessing::GetMinimumRange() const
{
    QReadLocker lock(&m_lock);
    return m_minimum;
}

int KXAdjustmentProcessing::GetMaximumRange() const
{
    QReadLocker lock(&m_lock);
    return m_maximum;
}

int KXAdjustmentProcessing::GetRangeValue() const
{
    QReadLocker lock(&m_lock);
    return m_value;
}

void KXAdjustmentProcessing::SetRange(int minimum, int maximum)
{
    {
        QWriteLocker lock(&m_lock);
        if (minimum == m_minimum && maximum == m_maximum)
            return;
        m_minimum = minimum;
        m_maximum = maximum;
    }
    // After the lock is released: a slot connected directly may call the getters.
    emit RangeChanged(minimum, maximum);
}

void KXAdjustmentProcessing::SetProgressValue(int value)
{
    {
        QWriteLocker lock(&m_lock);
        if (value == m_value)
            return;
        m_value = value;
    }
    emit ProgressChanged(value);
}
