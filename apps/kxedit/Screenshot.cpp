#include "Screenshot.h"

#include "Canvas.h"
#include "Document.h"
#include "FilterDialog.h"
#include "Filters.h"
#include "MainWindow.h"
#include "SamplePhoto.h"
#include "TextTool.h"
#include "Tools.h"

#include <KXImageFile.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QProgressBar>
#include <QPixmap>
#include <QTextStream>

namespace kxedit {
namespace {

void Settle(int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

ScreenshotOptions::ScreenshotOptions(QCommandLineParser& parser)
    : m_layer(QStringLiteral("layer"), QStringLiteral("Adds a picture as a layer (repeatable)."), QStringLiteral("picture")),
      m_mode(QStringLiteral("mode"), QStringLiteral("The top layer's blend mode, by name."), QStringLiteral("name")),
      m_opacity(QStringLiteral("opacity"), QStringLiteral("The top layer's opacity in percent."), QStringLiteral("percent")),
      m_filter(QStringLiteral("filter"), QStringLiteral("Opens a filter's dialog, by name."), QStringLiteral("name")),
      m_values(QStringLiteral("values"), QStringLiteral("The filter's values, separated by commas."),
               QStringLiteral("list")),
      m_apply(QStringLiteral("apply"), QStringLiteral("Starts the filter's run; the screenshot shows its progress.")),
      m_text(QStringLiteral("text"),
             QStringLiteral("Adds bent text as a layer, with the caret and a selection placed by clicks."),
             QStringLiteral("text")),
      m_size(QStringLiteral("size"), QStringLiteral("The window size, WxH."), QStringLiteral("size")),
      m_screenshot(QStringLiteral("screenshot"), QStringLiteral("Saves a picture of the window and quits."),
                   QStringLiteral("out.png")),
      m_sample(QStringLiteral("make-samples"),
               QStringLiteral("Writes a sample photo (photo.jpg) and layer (overlay.png) of size WxH into a folder and quits."),
               QStringLiteral("folder:WxH"))
{
    parser.addOptions({m_layer, m_mode, m_opacity, m_filter, m_values, m_apply, m_text, m_size, m_screenshot, m_sample});
}

bool ScreenshotOptions::Requested(const QCommandLineParser& parser) const
{
    return parser.isSet(m_screenshot) || parser.isSet(m_sample);
}

int ScreenshotOptions::MakeSamples(const QString& field) const
{
    const int colon = field.lastIndexOf(QLatin1Char(':'));
    const QStringList size = field.mid(colon + 1).split(QLatin1Char('x'));
    if (colon < 0 || size.size() != 2 || size[0].toInt() <= 0 || size[1].toInt() <= 0)
        return 2;
    const QSize pixels(size[0].toInt(), size[1].toInt());
    const QDir folder(field.left(colon));
    KXImageFile::WriteParams params;
    params.quality = 92;
    const bool written =
        KXImageFile::Write(SamplePhoto(pixels), KXImageMetadata(), folder.filePath(QStringLiteral("photo.jpg")), params)
            .Ok() &&
        KXImageFile::Write(SampleOverlay(pixels), KXImageMetadata(), folder.filePath(QStringLiteral("overlay.png")),
                           KXImageFile::WriteParams())
            .Ok();
    return written ? 0 : 1;
}

int ScreenshotOptions::Run(const QCommandLineParser& parser, MainWindow& window) const
{
    if (parser.isSet(m_sample))
        return MakeSamples(parser.value(m_sample));
    QTextStream err(stderr);
    Document* document = window.GetDocument();
    if (parser.isSet(m_size)) {
        const QStringList parts = parser.value(m_size).split(QLatin1Char('x'));
        if (parts.size() == 2)
            window.resize(parts[0].toInt(), parts[1].toInt());
    }
    for (const QString& path : parser.values(m_layer))
        if (!window.AddLayerFile(path))
            return 1;
    const int top = document->Layers().size() - 1;
    if (parser.isSet(m_mode)) {
        const QString name = parser.value(m_mode);
        bool found = false;
        for (unsigned int mode : BlendModes())
            if (name.compare(QString::fromLatin1(BlendModeName(mode)), Qt::CaseInsensitive) == 0) {
                document->ChangeLayer(top, QStringLiteral("Blend mode"), [mode](Layer& l) { l.mode = mode; });
                found = true;
            }
        if (!found) {
            err << "kxedit: no blend mode " << name << "\n";
            return 2;
        }
    }
    if (parser.isSet(m_opacity)) {
        const double opacity = parser.value(m_opacity).toDouble() / 100.0;
        document->ChangeLayer(top, QStringLiteral("Opacity"), [opacity](Layer& l) { l.opacity = opacity; });
    }
    if (parser.isSet(m_text)) {
        const QSize size = document->Size();
        TextTool* text = window.GetTools()->GetTextTool();
        text->AddText(QPoint(size.width() / 8, size.height() / 3), parser.value(m_text), 35, 20, size.height() / 6);
        // Clicks on two character boundaries (the vertices along the top
        // of the text): the caret, then Shift for the selection.
        const QPainterPath tops = text->Active()->helper.GetCharPath(text->Active()->origin);
        const int last = tops.elementCount() - 1;
        if (last >= 2) {
            const auto below = [&](int i) { return QPointF(tops.elementAt(i)).toPoint() + QPoint(0, size.height() / 12); };
            text->Click(below(1), false);
            text->Click(below(std::min(last - 1, 4)), true);
        }
    }
    Settle(300);
    window.GetCanvas()->ZoomToFit();
    FilterDialog* dialog = nullptr;
    if (parser.isSet(m_filter)) {
        const FilterKind* kind = FindFilter(parser.value(m_filter));
        if (!kind) {
            err << "kxedit: no filter " << parser.value(m_filter) << "\n";
            return 2;
        }
        dialog = window.OpenFilter(*kind);
        if (parser.isSet(m_values)) {
            QVariantList values = dialog->Values();
            const QStringList given = parser.value(m_values).split(QLatin1Char(','));
            for (int i = 0; i < given.size() && i < values.size(); ++i)
                values[i] = given[i].toDouble();
            dialog->SetValues(values);
        }
    }
    Settle(1500);
    if (dialog && parser.isSet(m_apply)) {
        // Caught while it runs: the picture shows the bar part way.
        auto* progress = dialog->findChild<QProgressBar*>(QStringLiteral("progress"));
        dialog->Apply();
        QElapsedTimer clock;
        clock.start();
        while (dialog->IsRunning() && clock.elapsed() < 20000 &&
               !(progress->maximum() > 1 && progress->value() > progress->maximum() / 3))
            QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    // The window, with an open dialog drawn where it stands over it.
    QPixmap shot = window.grab();
    if (dialog) {
        QPainter painter(&shot);
        const QPoint at = dialog->geometry().topLeft() - window.geometry().topLeft();
        painter.drawPixmap(at.x() < 0 || at.x() > shot.width() - 100 ? shot.width() - dialog->width() - 260 : at.x(),
                           at.y() < 0 || at.y() > shot.height() - 100 ? 60 : at.y(), dialog->grab());
    }
    if (!shot.save(parser.value(m_screenshot))) {
        err << "kxedit: cannot write " << parser.value(m_screenshot) << "\n";
        return 1;
    }
    return 0;
}

} // namespace kxedit
