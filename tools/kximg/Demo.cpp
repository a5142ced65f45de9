// The demo's registry of operations and what its pages share.

#include "DemoRegistry.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace kximg {

DemoRegistry BuildDemoRegistry()
{
    DemoRegistry registry;
    // One line per feature; the order here is the order on the contact sheet.
    AddSampleDemos(registry);
    AddConversionDemos(registry);
    AddCompositingDemos(registry);
    AddColourDemos(registry);
    AddFilterDemos(registry);
    AddEffectDemos(registry);
    AddShadowDemos(registry);
    AddGeometryDemos(registry);
    AddTextDemos(registry);
    AddFillDemos(registry);
    AddInpaintDemos(registry);
    return registry;
}

void DemoRegistry::Add(const QString& name, const QString& caption, DemoFunction run)
{
    static const QRegularExpression plain(QStringLiteral("^[a-z0-9]+(-[a-z0-9]+)*$"));
    if (!plain.match(name).hasMatch() || name == QLatin1String("contact-sheet"))
        throw std::logic_error("demo operation name is not a plain file stem: " + name.toStdString());
    for (const DemoOperation& operation : m_operations)
        if (operation.name == name)
            throw std::logic_error("demo operation added twice: " + name.toStdString());
    m_operations.push_back(DemoOperation{m_group, name, caption, std::move(run)});
}

QString DifferenceNote(const QImage& result, const QImage& reference, const QString& referenceName)
{
    if (result.size() != reference.size())
        return QStringLiteral("size differs from %1").arg(referenceName);
    const QImage a = result.convertToFormat(QImage::Format_ARGB32);
    const QImage b = reference.convertToFormat(QImage::Format_ARGB32);
    long long differing = 0;
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        const QRgb* p = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const QRgb* q = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (p[x] == q[x])
                continue;
            ++differing;
            for (int shift = 0; shift < 32; shift += 8) {
                const int d = std::abs(int((p[x] >> shift) & 0xFF) - int((q[x] >> shift) & 0xFF));
                largest = std::max(largest, d);
            }
        }
    }
    if (differing == 0)
        return QStringLiteral("identical to %1").arg(referenceName);
    const double share = 100.0 * differing / (static_cast<double>(a.width()) * a.height());
    return QStringLiteral("%1 % of pixels differ%2 by up to %3")
        .arg(share < 0.1 ? QStringLiteral("< 0.1") : QString::number(share, 'f', 1),
             referenceName == QLatin1String("the sample") ? QString() : QStringLiteral(" from ") + referenceName)
        .arg(largest);
}

} // namespace kximg
