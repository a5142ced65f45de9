#include "Progress.h"

#include <QMutexLocker>

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace kximg {

namespace {

constexpr int kBarWidth = 30;

} // namespace

ProgressBar::ProgressBar(const QString& label, bool enabled) : m_label(label), m_enabled(enabled) {}

ProgressBar::~ProgressBar()
{
    Finish();
}

bool ProgressBar::Wanted()
{
    return isatty(STDERR_FILENO) == 1 || qgetenv("KXIMG_PROGRESS") == "1";
}

void ProgressBar::Update(long long done, long long total)
{
    Update(total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1.0);
}

void ProgressBar::Update(double fraction)
{
    if (!m_enabled)
        return;
    const int percent = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 100.0);
    QMutexLocker lock(&m_mutex);
    if (m_finished || percent == m_percent)
        return;
    m_percent = percent;
    Draw(percent);
}

void ProgressBar::SetLabel(const QString& label)
{
    QMutexLocker lock(&m_mutex);
    m_label = label;
    if (m_enabled && !m_finished && m_percent >= 0)
        Draw(m_percent);
}

void ProgressBar::Finish()
{
    QMutexLocker lock(&m_mutex);
    if (m_finished)
        return;
    m_finished = true;
    if (m_enabled && m_drawnWidth > 0) {
        std::fprintf(stderr, "\r%*s\r", m_drawnWidth, "");
        std::fflush(stderr);
    }
}

void ProgressBar::Draw(int percent)
{
    const int filled = percent * kBarWidth / 100;
    const QString line = QStringLiteral("%1 [%2%3] %4%")
                             .arg(m_label, QString(filled, QLatin1Char('#')),
                                  QString(kBarWidth - filled, QLatin1Char('-')))
                             .arg(percent, 3);
    const QByteArray bytes = line.toLocal8Bit();
    // Pad with spaces over a longer previous line (a longer label).
    const int pad = std::max(0, m_drawnWidth - static_cast<int>(bytes.size()));
    std::fprintf(stderr, "\r%s%*s", bytes.constData(), pad, "");
    std::fflush(stderr);
    m_drawnWidth = std::max(m_drawnWidth, static_cast<int>(bytes.size()));
}

void CommandProgress::Step(const QString& what, double end)
{
    m_begin = m_end;
    m_end = std::max(m_begin, end);
    m_bar.SetLabel(QStringLiteral("%1: %2").arg(m_command, what));
    m_bar.Update(m_begin);
}

void CommandProgress::Within(double fraction)
{
    m_bar.Update(m_begin + (m_end - m_begin) * std::clamp(fraction, 0.0, 1.0));
}

} // namespace kximg
