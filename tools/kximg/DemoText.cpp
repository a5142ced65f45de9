// The text page: outlines of text drawn tile by tile, plain, bent along a
// wave, tapered and turned, with a selection and a caret as an editor shows
// a text layer being edited.

#include "DemoRegistry.h"
#include "TextLayer.h"

#include "KXImageConversion.h"
#include "KXImagePainter.h"
#include "KXTextHelper.h"

#include <QPainterPath>

namespace kximg {

namespace {

struct Sample {
    const char* text;
    int size;
    QColor colour;
    double bend, hDistortion, vDistortion, angle;
    bool vertical;
    QPoint origin;
    TextDecoration decoration;
};

DemoResult TextSamples(const DemoInput& input)
{
    KXImageRGBA32i image = input.working;
    // Dim the picture so that the text reads well on it.
    QPainterPath all;
    all.addRect(QRectF(image.Rect()));
    FillPath(image, QPainter::CompositionMode_SourceOver, all, QBrush(QColor(0, 0, 0, 150)), false);

    const QColor selection(80, 120, 255, 200), caret(255, 80, 80);
    const Sample samples[] = {
        {"Plain, selected", 72, Qt::white, 0, 0, 0, 0, false, {40, 30}, {7, 8, selection, true, caret}},
        {"Bent along a wave", 70, QColor(255, 220, 90), 80, 0, 0, 0, false, {40, 150}, {}},
        {"Tapered", 110, QColor(120, 230, 160), 0, 45, 0, 0, false, {40, 290}, {}},
        {"Both ways", 64, QColor(255, 170, 220), -50, 0, -35, 0, false, {560, 300}, {5, 4, selection, true, caret}},
        {"Turned and bent", 60, Qt::white, 60, 0, 0, -12, false, {80, 500}, {0, 6, selection, false, caret}},
        {"Wave down", 48, QColor(160, 220, 255), 4, 0, 0, 0, true, {700, 570}, {}},
    };
    for (const Sample& s : samples) {
        KXTextHelper helper(3.0f);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(s.size);
        font.setBold(true);
        helper.SetText(QString::fromUtf8(s.text));
        helper.SetFont(font);
        helper.SetColor(s.colour);
        helper.SetRenderMode(2);
        helper.SetStyle(s.bend != 0 || s.hDistortion != 0 || s.vDistortion != 0 ? 1 : 0);
        helper.SetOrientation(s.vertical);
        helper.SetBend(s.bend);
        helper.SetHDistortion(s.hDistortion);
        helper.SetVDistortion(s.vDistortion);
        QMatrix4x4 turn;
        turn.rotate(float(s.angle), 0, 0, 1);
        helper.SetTransform(turn);
        QPointF offset;
        const KXImageRGBA32i text = helper.CreateImageByTextWithDeformation(offset);
        DrawTextLayer(image, helper, text, offset, s.origin, s.decoration);
    }
    return {ConvertImage<KXImageRGBA32i, QImage>(image), QString()};
}

} // namespace

void AddTextDemos(DemoRegistry& registry)
{
    registry.Group(QStringLiteral("Text"));
    registry.Add(QStringLiteral("text-outlines"),
                 QStringLiteral("Text outlines drawn tile by tile: plain with a selection and caret, bent along a "
                                "wave, tapered, both, turned, and a wave running down the text."),
                 TextSamples);
}

} // namespace kximg
