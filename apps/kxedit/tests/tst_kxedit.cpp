// The editor driven as a person would drive it, its results checked against
// the library's own functions called directly and against hand-made
// pictures.

#include "EditorFixture.h"

#include "AdjustDialog.h"
#include "Canvas.h"
#include "LayersPanel.h"
#include "TextTool.h"
#include "Tools.h"

#include <KXBlendModes.h>
#include <KXImageConversion.h>
#include <KXTransformImageColors.h>
#include <VQTileManager64.h>

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>

using namespace kxedit;
using namespace kxedit_test;

// Filters, adjustments, selections and layers.
class EditorTest : public QObject, public EditorFixture {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(MakePhoto(true)); }
    void init() { QVERIFY(OpenWindow()); }
    void cleanup() { m_window.reset(); }

    void gaussianThroughDialogEqualsLibrary()
    {
        const KXImageRGBA32i original = ActiveImage();
        FilterDialog* dialog = OpenDialog(QStringLiteral("Gaussian Blur"));
        QVERIFY(dialog);
        auto* sigma = dialog->findChild<QDoubleSpinBox*>(QStringLiteral("param0Box"));
        QVERIFY(sigma);
        sigma->setValue(3.5);
        auto* progress = dialog->findChild<QProgressBar*>(QStringLiteral("progress"));
        QSignalSpy steps(progress, &QProgressBar::valueChanged);
        QSignalSpy finished(dialog, &FilterDialog::RunFinished);
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("apply")), Qt::LeftButton);
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.first().first().toBool(), true);
        QVERIFY(steps.count() > 10); // progress reached the bar
        QCOMPARE(Bytes(ActiveImage()), Bytes(LibraryGaussian(original, 3.5)));
        QVERIFY(Bytes(ActiveImage()) != Bytes(original));

        // Undo gives the very bytes back, redo the blurred ones.
        const QByteArray blurred = Bytes(ActiveImage());
        QVERIFY(Doc()->UndoStep());
        QCOMPARE(Bytes(ActiveImage()), Bytes(original));
        QVERIFY(Doc()->RedoStep());
        QCOMPARE(Bytes(ActiveImage()), blurred);
    }

    void cancelHalfWayLeavesLayer()
    {
        QVERIFY(m_window->OpenFile(m_largePhoto));
        const QByteArray before = Bytes(ActiveImage());
        FilterDialog* dialog = OpenDialog(QStringLiteral("Gaussian Blur"));
        dialog->findChild<QDoubleSpinBox*>(QStringLiteral("param0Box"))->setValue(25.0);
        auto* progress = dialog->findChild<QProgressBar*>(QStringLiteral("progress"));
        auto* cancel = dialog->findChild<QPushButton*>(QStringLiteral("cancel"));
        int highest = 0, total = 0;
        bool clicked = false;
        connect(progress, &QProgressBar::valueChanged, this, [&](int value) {
            highest = std::max(highest, value);
            total = progress->maximum();
            if (!clicked && total > 1 && value >= total / 2) {
                clicked = true;
                QTest::mouseClick(cancel, Qt::LeftButton);
            }
        });
        QSignalSpy finished(dialog, &FilterDialog::RunFinished);
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("apply")), Qt::LeftButton);
        QVERIFY(finished.wait(60000));
        QVERIFY(clicked);
        QCOMPARE(finished.first().first().toBool(), false);
        QVERIFY2(highest < total, "the cancel was honoured before the last step");
        QCOMPARE(Bytes(ActiveImage()), before);
        QVERIFY(!Doc()->Undo().CanUndo());
        QVERIFY(dialog->isVisible()); // the user may try again
    }

    void previewShowsLastValueOnly()
    {
        m_window->GetCanvas()->ZoomTo(2.0, QPointF(100, 100));
        const QRect area = m_window->GetCanvas()->VisibleArea();
        QVERIFY(area.width() < Doc()->Size().width());
        FilterDialog* dialog = OpenDialog(QStringLiteral("Gaussian Blur"));
        auto* slider = dialog->findChild<QSlider*>(QStringLiteral("param0"));
        QVERIFY(slider);
        QSignalSpy ready(dialog, &FilterDialog::PreviewReady);
        // Each move cancels the preview before it and starts another.
        for (int tenths = 10; tenths <= 80; tenths += 7)
            slider->setValue(tenths);
        QVERIFY(ready.wait(10000));
        while (ready.wait(300)) {
        }
        const double last = dialog->Values().first().toDouble();
        QCOMPARE(last, 8.0);
        const KXImageRGBA32i expected = LibraryGaussian(ActiveImage(), last, area);
        QCOMPARE(Bytes(Doc()->Composite(Doc()->Rect())), Bytes(expected));
        // The layer itself is not touched by a preview.
        QVERIFY(!Doc()->Undo().CanUndo());
        dialog->reject();
        QVERIFY(!Doc()->HasPreview());
    }

    void filterAppliesThroughSelection()
    {
        const KXImageRGBA32i original = ActiveImage();
        const QRect box(100, 80, 200, 150);
        m_window->GetTools()->Select(box.topLeft(), box.bottomRight(), false);
        QVERIFY(Doc()->HasSelection());
        FilterDialog* dialog = OpenDialog(QStringLiteral("Gaussian Blur"));
        dialog->findChild<QDoubleSpinBox*>(QStringLiteral("param0Box"))->setValue(4.0);
        QSignalSpy finished(dialog, &FilterDialog::RunFinished);
        dialog->Apply();
        QVERIFY(finished.wait(20000));
        const KXImageRGBA32i blurred = LibraryGaussian(original, 4.0);
        for (int y = 0; y < int(original.Height()); y += 7)
            for (int x = 0; x < int(original.Width()); x += 5) {
                const KXRGBA32i want = box.contains(x, y) ? blurred.GetColor(x, y) : original.GetColor(x, y);
                QCOMPARE(ActiveImage().GetColor(x, y).value, want.value);
            }
    }

    void adjustmentsThroughDialog()
    {
        const KXImageRGBA32i original = ActiveImage();
        AdjustDialog* dialog = m_window->OpenAdjustments();
        QVERIFY(dialog);
        dialog->findChild<QSpinBox*>(QStringLiteral("param0Box"))->setValue(40);   // brightness
        dialog->findChild<QDoubleSpinBox*>(QStringLiteral("param4Box"))->setValue(1.6); // gamma
        const Adjustments::Histogram predicted = dialog->Histogram()->GetHistogram();
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("apply")), Qt::LeftButton);
        // The same adjustments one after the other, pixel by pixel.
        KXImageRGBA32i expected = original;
        TransformPixels(expected, KXBrightnessContrastTransformation(40, 0));
        TransformPixels(expected, KXGammaCorrectionTransformation(1.6));
        QCOMPARE(Bytes(ActiveImage()), Bytes(expected));
        // The histogram shown while the values changed is the one of the result.
        QVERIFY(predicted == Adjustments::Count(ActiveImage(), ActiveImage().Rect()));
        QVERIFY(Doc()->UndoStep());
        QCOMPARE(Bytes(ActiveImage()), Bytes(original));
    }

    void adjustmentsThroughEllipseSelection()
    {
        const KXImageRGBA32i original = ActiveImage();
        const QRect box(200, 100, 161, 121);
        m_window->GetTools()->Select(box.topLeft(), box.bottomRight(), true);
        AdjustDialog* dialog = m_window->OpenAdjustments();
        dialog->findChild<QSpinBox*>(QStringLiteral("param5Box"))->setValue(4); // posterize
        dialog->Apply();
        const KXPosterizeTransformation posterize(4);
        const QPointF centre = QRectF(box).center();
        for (int y = 0; y < int(original.Height()); y += 3)
            for (int x = 0; x < int(original.Width()); x += 3) {
                KXRGBA32i want = original.GetColor(x, y);
                const double dx = (x + 0.5 - centre.x()) / (box.width() / 2.0);
                const double dy = (y + 0.5 - centre.y()) / (box.height() / 2.0);
                const double d = dx * dx + dy * dy;
                if (d < 0.9)
                    posterize(want);
                else if (d < 1.1)
                    continue; // the antialiased rim
                QCOMPARE(ActiveImage().GetColor(x, y).value, want.value);
            }
    }

    void selectionGrowsAndFeathers()
    {
        const QRect box(100, 100, 60, 40);
        m_window->GetTools()->Select(box.topLeft(), box.bottomRight(), false);
        QVERIFY(m_window->GetTools()->RefineSelection(0, 5));
        // Grown by five pixels on every side: inside opaque, outside empty.
        QVERIFY(Doc()->SelectionBounds().contains(box.adjusted(-5, -5, 5, 5)));
        const KXImageRGBA32i& grown = Doc()->Selection();
        QCOMPARE(int(grown.GetColor(95, 95).a), 255);
        QCOMPARE(int(grown.GetColor(94, 120).a), 0);
        QCOMPARE(int(grown.GetColor(164, 139).a), 255);
        QCOMPARE(int(grown.GetColor(165, 139).a), 0);
        // A feather softens the edge: the alpha falls across it and the
        // centre stays whole.
        QVERIFY(m_window->GetTools()->RefineSelection(3, 0));
        const KXImageRGBA32i& soft = Doc()->Selection();
        QCOMPARE(int(soft.GetColor(130, 120).a), 255);
        const int edge = soft.GetColor(95, 120).a;
        QVERIFY(edge > 0 && edge < 255);
        QVERIFY(soft.GetColor(92, 120).a < edge);
    }

    void layerTurnedHalfWay()
    {
        // A half turn about the centre puts pixel (x, y) at (w-1-x, h-1-y);
        // the sample points fall on pixel centres, so nothing is mixed.
        QImage picture(64, 48, QImage::Format_ARGB32);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                picture.setPixel(x, y, qRgb(x * 4, y * 5, (x * y) & 0xFF));
        Doc()->Reset(ConvertImage<QImage, KXImageRGBA32i>(picture), QStringLiteral("grid"));
        QVERIFY(m_window->GetTools()->TransformLayer(180, 1.0));
        for (int y = 1; y < 47; ++y)
            for (int x = 1; x < 63; ++x)
                QCOMPARE(QRgb(ActiveImage().GetColor(x, y).value), picture.pixel(63 - x, 47 - y));
    }

    void healingBrushFillsFromSurroundings()
    {
        // A flat picture with a scratch: painted over with the brush, the
        // scratch takes the surrounding colour exactly.
        QImage picture(200, 150, QImage::Format_ARGB32);
        picture.fill(QColor(90, 120, 150));
        QPainter(&picture).fillRect(20, 70, 160, 3, QColor(250, 250, 250));
        Doc()->Reset(ConvertImage<QImage, KXImageRGBA32i>(picture), QStringLiteral("scratch"));
        m_window->GetCanvas()->ZoomToFit();
        m_window->GetTools()->SetTool(Tools::Heal);
        m_window->GetTools()->SetBrushRadius(5);
        Canvas* canvas = m_window->GetCanvas();
        const auto widget = [&](double x, double y) { return canvas->ToWidget(QPointF(x, y)).toPoint(); };
        QTest::mousePress(canvas, Qt::LeftButton, {}, widget(15, 71));
        QMouseEvent move(QEvent::MouseMove, widget(100, 71), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(canvas, &move);
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, widget(185, 71));
        for (int y = 0; y < 150; ++y)
            for (int x = 0; x < 200; ++x)
                QCOMPARE(QRgb(ActiveImage().GetColor(x, y).value), qRgb(90, 120, 150));
        QVERIFY(Doc()->UndoStep());
        QCOMPARE(QRgb(ActiveImage().GetColor(100, 71).value), qRgb(250, 250, 250));
    }

    void presetRoundTrip()
    {
        FilterDialog* dialog = OpenDialog(QStringLiteral("High Pass"));
        QVERIFY(dialog);
        dialog->SetValues({12.5, 2, 40});
        const QString path = m_dir.filePath(QStringLiteral("hp.kxpreset"));
        QString error;
        QVERIFY2(dialog->SavePreset(path, &error), qPrintable(error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().startsWith("VQHighPass 1.00000"));
        dialog->SetValues({1.0, 0, 100});
        QVERIFY(dialog->LoadPreset(path, &error));
        QCOMPARE(dialog->Values(), (QVariantList{12.5, 2, 40}));
        QCOMPARE(dialog->findChild<QComboBox*>(QStringLiteral("param1"))->currentIndex(), 2);
        // Another filter's preset is refused and the values stay.
        FilterDialog* other = OpenDialog(QStringLiteral("Box Blur"));
        QVERIFY(!other->LoadPreset(path, &error));
        QCOMPARE(other->Values(), FindFilter(QStringLiteral("Box Blur"))->Defaults());
    }

    void bucketFillByClick()
    {
        // A grey picture with a red rectangle: the fill takes exactly it.
        QImage picture(300, 200, QImage::Format_ARGB32);
        picture.fill(QColor(128, 128, 128));
        const QRect red(40, 30, 150, 90);
        QPainter(&picture).fillRect(red, QColor(200, 0, 0));
        Doc()->Reset(ConvertImage<QImage, KXImageRGBA32i>(picture), QStringLiteral("test"));
        m_window->GetCanvas()->ZoomToFit();
        m_window->GetTools()->SetTool(Tools::Bucket);
        m_window->GetTools()->SetTolerance(0);
        m_window->GetTools()->SetColour(QColor(10, 200, 30));
        const QPointF at = m_window->GetCanvas()->ToWidget(QPointF(100.5, 60.5));
        QTest::mouseClick(m_window->GetCanvas(), Qt::LeftButton, {}, at.toPoint());
        for (int y = 0; y < 200; y += 3)
            for (int x = 0; x < 300; x += 3) {
                const QRgb want = red.contains(x, y) ? qRgb(10, 200, 30) : qRgb(128, 128, 128);
                QCOMPARE(QRgb(ActiveImage().GetColor(x, y).value), want);
            }
        QVERIFY(Doc()->UndoStep());
        QCOMPARE(QRgb(ActiveImage().GetColor(100, 60).value), qRgb(200, 0, 0));
    }

    void blendModeFromPanel()
    {
        const KXImageRGBA32i overlay = SampleOverlay(Doc()->Size());
        Doc()->AddLayer(overlay, QStringLiteral("overlay"));
        auto* mode = m_window->findChild<QComboBox*>(QStringLiteral("blendMode"));
        QVERIFY(mode);
        mode->setCurrentIndex(mode->findText(QStringLiteral("Multiply")));
        QCOMPARE(Doc()->ActiveLayer()->mode, unsigned(KXBlendMode::Multiply));
        KXImageRGBA32i expected = Doc()->Layers().first().image;
        BlendOn(overlay, overlay.Rect(), KXBlendMode::Multiply, expected, expected.Rect(), 1.0, false);
        QCOMPARE(Bytes(Doc()->Composite(QRect())), Bytes(expected));
        QVERIFY(Doc()->UndoStep()); // the mode
        QCOMPARE(Doc()->ActiveLayer()->mode, unsigned(KXBlendMode::Normal));
        QVERIFY(Doc()->UndoStep()); // the layer
        QCOMPARE(Doc()->Layers().size(), 1);
    }

    void textCaretByClick()
    {
        TextTool* text = m_window->GetTools()->GetTextTool();
        const QPoint origin(60, 120);
        text->AddText(origin, QStringLiteral("Bent text"), 30, 15, 64);
        QVERIFY(text->Active());
        QCOMPARE(Doc()->Layers().size(), 2);
        m_window->GetTools()->SetTool(Tools::Text);
        // The same outline made by a helper of its own, for the hit test.
        KXTextHelper reference;
        reference.SetText(QStringLiteral("Bent text"));
        reference.SetFont(text->Active()->helper.GetFont());
        reference.SetStyle(1);
        reference.SetBend(30);
        reference.SetHDistortion(15);
        Canvas* canvas = m_window->GetCanvas();
        int clicks = 0;
        QSet<int> seen;
        for (int x = 70; x < 400; x += 37) {
            const QPoint widget = canvas->ToWidget(QPointF(x, 150)).toPoint();
            const QPoint image = canvas->ToImage(widget).toPoint();
            QTest::mouseClick(canvas, Qt::LeftButton, {}, widget);
            QCOMPARE(text->Active()->caret, reference.FindSelectedChar(origin, image));
            QCOMPARE(text->Active()->anchor, text->Active()->caret);
            seen.insert(text->Active()->caret);
            ++clicks;
        }
        QVERIFY(seen.size() > 3); // the clicks met different characters
        // Shift-click: the selection runs from the caret to the click.
        const int from = text->Active()->caret;
        const QPoint widget = canvas->ToWidget(QPointF(75, 150)).toPoint();
        QTest::mouseClick(canvas, Qt::LeftButton, Qt::ShiftModifier, widget);
        QCOMPARE(text->Active()->anchor, from);
        QCOMPARE(text->Active()->caret, reference.FindSelectedChar(origin, canvas->ToImage(widget).toPoint()));
        QVERIFY(text->Active()->caret != from);
        // One undo step takes the whole text layer away.
        QVERIFY(Doc()->UndoStep());
        QCOMPARE(Doc()->Layers().size(), 1);
    }

    void layerMaskFromLuminance()
    {
        // An opaque layer, white on the left and black on the right, masked
        // by its own luminance: the white half covers the photo, the black
        // half lets it through untouched.
        const KXImageRGBA32i photo = ActiveImage();
        QImage half(Doc()->Size(), QImage::Format_ARGB32);
        half.fill(Qt::black);
        QPainter(&half).fillRect(0, 0, half.width() / 2, half.height(), Qt::white);
        Doc()->AddLayer(ConvertImage<QImage, KXImageRGBA32i>(half), QStringLiteral("half"));
        auto* mask = m_window->findChild<QComboBox*>(QStringLiteral("mask"));
        QVERIFY(mask);
        const int row = mask->findData(int(MaskKind::FromLuminance));
        mask->setCurrentIndex(row);
        emit mask->activated(row);
        QVERIFY(Doc()->ActiveLayer()->mask.Width() > 0);
        const KXImageRGBA32i shown = Doc()->Composite(QRect());
        for (int y = 0; y < int(photo.Height()); y += 9)
            for (int x = 0; x < int(photo.Width()); x += 9) {
                const unsigned int want = x < half.width() / 2 ? 0xFFFFFFFFu : photo.GetColor(x, y).value;
                QCOMPARE(shown.GetColor(x, y).value, want);
            }
    }

    void zoomLimitsAndVisibleArea()
    {
        Canvas* canvas = m_window->GetCanvas();
        canvas->ZoomActualSize();
        QCOMPARE(canvas->Scale(), 1.0);
        for (int i = 0; i < 8; ++i)
            canvas->ZoomIn();
        QCOMPARE(canvas->Scale(), Canvas::kMaxScale);
        // At 16× the visible area is the widget's size over 16, rounded out
        // to whole pixels (at most one more pixel on each side).
        const QRect area = canvas->VisibleArea();
        QVERIFY(area.width() >= canvas->width() / 16 && area.width() <= canvas->width() / 16 + 2);
        QVERIFY(area.height() >= canvas->height() / 16 && area.height() <= canvas->height() / 16 + 2);
        QVERIFY(Doc()->Rect().contains(area));
    }

    void lockedAlphaKeepsTransparency()
    {
        // Half transparent red with a locked alpha: the bucket changes the
        // colour and keeps every alpha byte.
        KXImageRGBA32i image(100, 80);
        image.Fill(KXRGBA32i(0x80FF0000u));
        Doc()->Reset(image, QStringLiteral("glass"));
        Doc()->ChangeLayer(0, QStringLiteral("lock"), [](Layer& layer) { layer.lockAlpha = true; });
        m_window->GetTools()->SetTolerance(0);
        m_window->GetTools()->SetColour(QColor(0, 0, 255));
        QVERIFY(m_window->GetTools()->BucketFill(QPoint(50, 40)));
        for (int y = 0; y < 80; y += 7)
            for (int x = 0; x < 100; x += 7)
                QCOMPARE(ActiveImage().GetColor(x, y).value, 0x800000FFu);
    }

    void undoStepHoldsOnlyTouchedTiles()
    {
        QImage picture(1024, 768, QImage::Format_ARGB32);
        picture.fill(QColor(10, 20, 30));
        QPainter(&picture).fillRect(300, 300, 20, 20, QColor(200, 0, 0));
        Doc()->Reset(ConvertImage<QImage, KXImageRGBA32i>(picture), QStringLiteral("big"));
        // Every tile private, as a decoded photo's are.
        KXImageRGBA32i detached = ActiveImage();
        for (unsigned int row = 0; row < detached.TileRows(); ++row)
            for (unsigned int column = 0; column < detached.TileColumns(); ++column)
                detached.SetColor(int(column * 128), int(row * 128), detached.GetColor(int(column * 128), int(row * 128)));
        Doc()->Reset(detached, QStringLiteral("big"));
        detached = KXImageRGBA32i();
        const long long before = VQTileManager64::Instance()->GetAvailableCount();
        m_window->GetTools()->SetTolerance(0);
        QVERIFY(m_window->GetTools()->BucketFill(QPoint(305, 305)));
        // The red square lies in two tiles (x 300…319 crosses 256…383 only,
        // y too): the step costs those and nothing else.
        QCOMPARE(before - VQTileManager64::Instance()->GetAvailableCount(), 1LL);
        QVERIFY(Doc()->UndoStep());
        QCOMPARE(QRgb(ActiveImage().GetColor(305, 305).value), qRgb(200, 0, 0));
    }

    void layersPanelReordersAndHides()
    {
        KXImageRGBA32i top(unsigned(Doc()->Size().width()), unsigned(Doc()->Size().height()));
        top.Fill(KXRGBA32i(0xFF00FF00u));
        Doc()->AddLayer(top, QStringLiteral("green"));
        QCOMPARE(Doc()->Composite(QRect()).GetColor(10, 10).value, 0xFF00FF00u);
        auto* list = m_window->findChild<QListWidget*>(QStringLiteral("layers"));
        QVERIFY(list);
        // The top row is the top layer; unticking it shows the photo.
        list->item(0)->setCheckState(Qt::Unchecked);
        QVERIFY(!Doc()->Layers().last().visible);
        QCOMPARE(Doc()->Composite(QRect()).GetColor(10, 10), ActiveImage().Width() ? Doc()->Layers().first().image.GetColor(10, 10) : KXRGBA32i());
        list->item(0)->setCheckState(Qt::Checked);
        // Down: the green layer goes below the photo, which covers it.
        QPushButton* down = nullptr;
        for (QPushButton* button : m_window->findChildren<QPushButton*>())
            if (button->text() == QStringLiteral("Down"))
                down = button;
        QVERIFY(down);
        QTest::mouseClick(down, Qt::LeftButton);
        QCOMPARE(Doc()->Layers().first().name, QStringLiteral("green"));
        QVERIFY(Doc()->Composite(QRect()).GetColor(10, 10).value != 0xFF00FF00u);
        QVERIFY(Doc()->UndoStep());
        QCOMPARE(Doc()->Layers().last().name, QStringLiteral("green"));
    }

    void closingDialogDropsPreview()
    {
        const QByteArray before = Bytes(ActiveImage());
        FilterDialog* dialog = OpenDialog(QStringLiteral("Box Blur"));
        QSignalSpy ready(dialog, &FilterDialog::PreviewReady);
        // Zoomed out the screen's pixels come first, then the exact area.
        while (ready.isEmpty() || !ready.last().at(1).toBool())
            QVERIFY(ready.wait(10000));
        QCOMPARE(ready.first().at(1).toBool(), false);
        QVERIFY(Doc()->HasPreview());
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("cancel")), Qt::LeftButton);
        QVERIFY(!Doc()->HasPreview());
        QCOMPARE(Bytes(Doc()->Composite(QRect())), before);
        QVERIFY(!Doc()->Undo().CanUndo());
    }
};

namespace kxedit_test {
int RunEditorTest(int argc, char** argv)
{
    EditorTest test;
    return QTest::qExec(&test, argc, argv);
}
} // namespace kxedit_test

#include "tst_kxedit.moc"
