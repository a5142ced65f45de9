// Fills, shadows, adjustments, the display profile and text editing, driven
// through the editor's widgets and checked against hand-made pictures and
// the library's own classes called directly.

#include "EditorFixture.h"

#include "AdjustDialog.h"
#include "Canvas.h"
#include "ParamForm.h"
#include "TextTool.h"
#include "Tools.h"

#include <KXColorAdjustments.h>
#include <KXImageConversion.h>
#include <KXTransformImageColors.h>
#include <VQCMSTransform.h>

#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>

using namespace kxedit;
using namespace kxedit_test;

namespace {

// A grey picture with a red rectangle A, another B apart from it, and C in
// a slightly different red.
const QRect kA(20, 20, 80, 60), kB(180, 110, 90, 70), kC(150, 20, 40, 30);

QImage ThreeRects()
{
    QImage picture(300, 200, QImage::Format_ARGB32);
    picture.fill(QColor(128, 128, 128));
    QPainter painter(&picture);
    painter.fillRect(kA, QColor(200, 0, 0));
    painter.fillRect(kB, QColor(200, 0, 0));
    painter.fillRect(kC, QColor(210, 8, 4));
    return picture;
}

// A white square on a transparent layer.
const QRect kSquare(60, 50, 80, 60);

KXImageRGBA32i Square()
{
    KXImageRGBA32i image(256, 200);
    image.Fill(KXRGBA32i(0u));
    BlendOn([] {
        QImage white(kSquare.size(), QImage::Format_ARGB32);
        white.fill(Qt::white);
        return white;
    }(), QRect(QPoint(0, 0), kSquare.size()), 3, image, kSquare, 1.0, false);
    return image;
}

bool Near(unsigned int a, unsigned int b, int tolerance)
{
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance)
            return false;
    return true;
}

} // namespace

class EditingTest : public QObject, public EditorFixture {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(MakePhoto()); }
    void init() { QVERIFY(OpenWindow()); }
    void cleanup() { m_window.reset(); }

    void fillAtPoint_data()
    {
        QTest::addColumn<int>("tool");
        QTest::addColumn<int>("tolerance");
        QTest::addColumn<bool>("fillsB");
        QTest::addColumn<bool>("fillsC");
        QTest::newRow("bucket") << int(Tools::Bucket) << 0 << false << false;
        QTest::newRow("bucket, tolerance 12") << int(Tools::Bucket) << 12 << false << false;
        QTest::newRow("colour range") << int(Tools::ColorRange) << 0 << true << false;
        QTest::newRow("colour range, tolerance 12") << int(Tools::ColorRange) << 12 << true << true;
        QTest::newRow("colour range, tolerance 9") << int(Tools::ColorRange) << 9 << true << false;
    }
    void fillAtPoint()
    {
        QFETCH(int, tool);
        QFETCH(int, tolerance);
        QFETCH(bool, fillsB);
        QFETCH(bool, fillsC);
        const QImage picture = ThreeRects();
        Doc()->Reset(ConvertImage<QImage, KXImageRGBA32i>(picture), QStringLiteral("rects"));
        const QByteArray before = Bytes(ActiveImage());
        m_window->GetCanvas()->ZoomToFit();
        m_window->GetTools()->SetTool(Tools::Tool(tool));
        m_window->GetTools()->SetTolerance(tolerance);
        m_window->GetTools()->SetColour(QColor(10, 200, 30));
        const QPointF at = m_window->GetCanvas()->ToWidget(QPointF(50.5, 40.5));
        QTest::mouseClick(m_window->GetCanvas(), Qt::LeftButton, {}, at.toPoint());
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 300; ++x) {
                const bool filled = kA.contains(x, y) || (fillsB && kB.contains(x, y)) || (fillsC && kC.contains(x, y));
                const QRgb want = filled ? qRgb(10, 200, 30) : picture.pixel(x, y);
                QCOMPARE(QRgb(ActiveImage().GetColor(x, y).value), want);
            }
        QCOMPARE(Doc()->Undo().Count(), 1);
        QVERIFY(Doc()->UndoStep());
        QCOMPARE(Bytes(ActiveImage()), before);
    }

    void refineSelectionThroughDialog()
    {
        QVERIFY(!m_window->OpenRefineSelection()); // nothing to refine
        const QRect box(100, 100, 60, 40);
        m_window->GetTools()->Select(box.topLeft(), box.bottomRight(), false);
        QDialog* dialog = m_window->OpenRefineSelection();
        QVERIFY(dialog);
        dialog->findChild<QSpinBox*>(QStringLiteral("param1Box"))->setValue(5);
        QTest::mouseClick(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        // Grown by five pixels on every side, with a hard edge.
        const KXImageRGBA32i& grown = Doc()->Selection();
        for (int y = 90; y < 150; ++y)
            for (int x = 90; x < 170; ++x)
                QCOMPARE(int(grown.GetColor(x, y).a), box.adjusted(-5, -5, 5, 5).contains(x, y) ? 255 : 0);
    }

    void shadowThroughDialog_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("opacity");
        QTest::addColumn<int>("tolerance");
        QTest::newRow("drop") << "Drop Shadow" << 100 << 0;
        QTest::newRow("drop, half opaque") << "Drop Shadow" << 50 << 1;
        QTest::newRow("inner") << "Inner Shadow" << 100 << 0;
        QTest::newRow("inner, half opaque") << "Inner Shadow" << 50 << 1;
    }
    void shadowThroughDialog()
    {
        // Light from the left (180°), ten pixels away, no blur: the shadow
        // is the square's shape (or its complement) moved ten pixels right.
        QFETCH(QString, name);
        QFETCH(int, opacity);
        QFETCH(int, tolerance);
        Doc()->Reset(Square(), QStringLiteral("square"));
        FilterDialog* dialog = OpenDialog(name);
        QVERIFY(dialog);
        dialog->SetValues({180, QColor(0, 0, 0), opacity, 10, 0});
        QSignalSpy finished(dialog, &FilterDialog::RunFinished);
        dialog->Apply();
        QVERIFY(finished.wait(20000));
        QVERIFY(finished.first().first().toBool());
        const unsigned int alpha = unsigned(255 * opacity / 100);
        const unsigned int grey = 255 - alpha;
        const QRect moved = kSquare.translated(10, 0);
        const bool inner = name.startsWith(QStringLiteral("Inner"));
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 256; ++x) {
                unsigned int want = 0;
                if (kSquare.contains(x, y))
                    want = inner && !moved.contains(x, y) ? 0xFF000000u | grey * 0x010101u : 0xFFFFFFFFu;
                else if (!inner && moved.contains(x, y))
                    want = alpha << 24;
                const unsigned int got = ActiveImage().GetColor(x, y).value;
                if (!Near(got, want, tolerance) && !(got >> 24 == 0 && want == 0))
                    QFAIL(qPrintable(QStringLiteral("(%1, %2): %3, wanted %4").arg(x).arg(y).arg(got, 8, 16).arg(want, 8, 16)));
            }
        QVERIFY(Doc()->UndoStep());
        QCOMPARE(Bytes(ActiveImage()), Bytes(Square()));
    }

    void everyFilterHasItsDialog()
    {
        for (const FilterKind* kind : FilterKinds()) {
            FilterDialog* dialog = m_window->OpenFilter(*kind);
            QVERIFY(dialog);
            QCOMPARE(dialog->Values(), kind->Defaults());
            QCOMPARE(dialog->findChildren<ParamForm*>().size(), 1);
            for (int i = 0; i < kind->Fields().size(); ++i)
                QVERIFY2(dialog->findChild<QWidget*>(QStringLiteral("param%1").arg(i)), qPrintable(kind->Name()));
            // The defaults survive a preset round trip.
            const QString path = m_dir.filePath(QStringLiteral("preset"));
            QString error;
            QVERIFY2(dialog->SavePreset(path, &error), qPrintable(error));
            QVERIFY2(dialog->LoadPreset(path, &error), qPrintable(error));
            QCOMPARE(dialog->Values(), kind->Defaults());
            dialog->reject();
        }
    }

    void adjustmentThroughDialog_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariantList>("values");
        QTest::newRow("levels") << "Levels" << QVariantList{10, 230, 1.4, 20, 240, 100};
        QTest::newRow("curves") << "Curves" << QVariantList{40, 140, 215, 100};
        QTest::newRow("colour balance") << "Colour Balance" << QVariantList{2, 30, -20, 10};
        QTest::newRow("hue and saturation") << "Hue and Saturation" << QVariantList{40, 20, -10, 0};
        QTest::newRow("black and white") << "Black and White" << QVariantList{1, 0.4, 0.4, 0.2};
        QTest::newRow("temperature") << "Temperature" << QVariantList{4000, 60, 10};
        QTest::newRow("invert") << "Invert" << QVariantList{};
        QTest::newRow("straight curve") << "Curves" << QVariantList{64, 128, 192, 100};
    }
    void adjustmentThroughDialog()
    {
        QFETCH(QString, name);
        QFETCH(QVariantList, values);
        const KXImageRGBA32i original = ActiveImage();
        // The same adjustment made by the library's class directly, or by
        // hand where the result is plain.
        KXImageRGBA32i expected = original;
        if (name == QLatin1String("Levels")) {
            int in[4][2] = {{10, 230}, {0, 255}, {0, 255}, {0, 255}}, out[4][2] = {{20, 240}, {0, 255}, {0, 255}, {0, 255}};
            double gamma[4] = {1.4, 1, 1, 1};
            TransformPixels(expected, KXLevelsTransformation(in, out, gamma, 100));
        } else if (name == QLatin1String("Curves") && values[0].toInt() == 40) {
            QVector<QPoint> curves[4] = {{{0, 0}, {64, 40}, {128, 140}, {192, 215}, {255, 255}}, {}, {}, {}};
            TransformPixels(expected, KXCurvesTransformation(curves, 100));
        } else if (name == QLatin1String("Colour Balance")) {
            const int red[3] = {0, 0, 30}, green[3] = {0, 0, -20}, blue[3] = {0, 0, 10};
            TransformPixels(expected, KXColorBalanceTransformation(red, green, blue));
        } else if (name == QLatin1String("Hue and Saturation")) {
            TransformPixels(expected, KXHueSaturationTransformation(40, 20, -10, false));
        } else if (name == QLatin1String("Black and White")) {
            TransformPixels(expected, KXBlackAndWhiteTransformation(true, 0.4f, 0.4f, 0.2f));
        } else if (name == QLatin1String("Temperature")) {
            TransformPixels(expected, KXTemperatureCorrection(4000, 60, 10));
        } else if (name == QLatin1String("Invert")) {
            TransformPixels(expected, [](KXRGBA32i& p) { p = KXRGBA32i(qRgba(255 - p.r, 255 - p.g, 255 - p.b, p.a)); });
        } // a straight curve changes nothing
        const AdjustmentKind* kind = FindAdjustment(name);
        QVERIFY(kind);
        AdjustDialog* dialog = m_window->OpenAdjustments(*kind);
        QVERIFY(dialog);
        dialog->Form()->SetValues(values);
        const Adjustments::Histogram predicted = dialog->Histogram()->GetHistogram();
        dialog->Apply();
        QCOMPARE(Bytes(ActiveImage()), Bytes(expected));
        if (kind->tables) // the histogram of a table adjustment is exact
            QVERIFY(predicted == Adjustments::Count(ActiveImage(), ActiveImage().Rect()));
        QCOMPARE(Doc()->Undo().UndoText(), kind->name);
        QVERIFY(Doc()->UndoStep());
        QCOMPARE(Bytes(ActiveImage()), Bytes(original));
        QVERIFY(Doc()->RedoStep());
        QCOMPARE(Bytes(ActiveImage()), Bytes(expected));
    }

    void displayProfile_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<bool>("asStored");
        QTest::newRow("sRGB") << QString() << true << false;
        QTest::newRow("the photo's own profile") << "own.icc" << true << true;
        QTest::newRow("not a profile") << "text.icc" << false << false;
        QTest::newRow("missing file") << "missing.icc" << false << false;
    }
    void displayProfile()
    {
        QFETCH(QString, file);
        QFETCH(bool, accepted);
        QFETCH(bool, asStored);
        const QString path = file.isEmpty() ? QString() : m_dir.filePath(file);
        QVERIFY(Doc()->Profile().Save(m_dir.filePath(QStringLiteral("own.icc"))));
        QFile text(m_dir.filePath(QStringLiteral("text.icc")));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("no profile here") > 0);
        text.close();
        KXImageRGBA32i flat(300, 200);
        flat.Fill(KXRGBA32i(0xFF2E5CA9u));
        flat.profile = Doc()->Profile();
        Doc()->Reset(flat, QStringLiteral("flat"));
        Canvas* canvas = m_window->GetCanvas();
        canvas->ZoomToFit();
        QCOMPARE(m_window->SetDisplayProfile(path), accepted);
        QSignalSpy frames(canvas, &Canvas::FrameReady);
        canvas->update();
        QVERIFY(frames.wait(2000));
        // Shown through the transform to sRGB as Little CMS converts the
        // colour, or as stored when the display has the photo's profile.
        KXRGBA32i expected(0xFF2E5CA9u);
        if (!asStored)
            VQCMSTransform(flat.profile, SRgbProfile())(expected);
        QCOMPARE(canvas->Frame().pixel(canvas->ToWidget(QPointF(150, 100)).toPoint()), QRgb(expected.value));
    }

    void adjustmentPreviewIsColourManaged()
    {
        // The preview inverts the photo's colours, then the frame goes to
        // the display's profile, as Little CMS converts the inverted colour.
        KXImageRGBA32i flat(300, 200);
        flat.Fill(KXRGBA32i(0xFF2E5CA9u));
        flat.profile = Doc()->Profile();
        Doc()->Reset(flat, QStringLiteral("flat"));
        Canvas* canvas = m_window->GetCanvas();
        canvas->ZoomToFit();
        QSignalSpy frames(canvas, &Canvas::FrameReady);
        AdjustDialog* dialog = m_window->OpenAdjustments(*FindAdjustment(QStringLiteral("Invert")));
        QVERIFY(dialog);
        QVERIFY(frames.wait(2000));
        KXRGBA32i expected(0xFFD1A356u);
        VQCMSTransform(flat.profile, SRgbProfile())(expected);
        QCOMPARE(canvas->Frame().pixel(canvas->ToWidget(QPointF(150, 100)).toPoint()), QRgb(expected.value));
        dialog->reject();
        QVERIFY(!Doc()->Undo().CanUndo());
    }

    void adjustmentPreviewComposesTheStages()
    {
        // Four table stages composed into one set of tables give every
        // channel value what the stack gives it stage after stage (in the
        // other order they would not).
        const AdjustmentKind* tonal = AdjustmentKinds().first();
        const QVariantList values{20, -15, 0.7, 0.05, 1.6, 9};
        QCOMPARE(Adjustments::Tables(values).size(), 4);
        const std::unique_ptr<KXColorTransformStack> stack = tonal->Stack(values);
        const std::unique_ptr<KXColorTransformBase> preview = tonal->Preview(values);
        for (int v = 0; v < 256; ++v) {
            KXRGBA32i staged(qRgba(v, 255 - v, (v * 7) & 255, v ^ 0x5A));
            KXRGBA32i once = staged;
            (*stack)(staged);
            (*preview)(once);
            QCOMPARE(once.value, staged.value);
        }
    }

    void typingEditsTheText_data()
    {
        QTest::addColumn<QTestEventList>("keys");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("caret");
        QTest::addColumn<int>("steps");
        QTestEventList type;
        type.addKeyClicks(QStringLiteral("!?"));
        QTest::newRow("type at the end") << type << "Bent text!?" << 11 << 2;
        QTestEventList back;
        back.addKeyClick(Qt::Key_Backspace);
        QTest::newRow("backspace") << back << "Bent tex" << 8 << 1;
        QTestEventList home;
        home.addKeyClick(Qt::Key_Home);
        home.addKeyClick(Qt::Key_Delete);
        home.addKeyClicks(QStringLiteral("W"));
        QTest::newRow("home, delete, type") << home << "Went text" << 1 << 2;
        QTestEventList replace;
        for (int i = 0; i < 4; ++i)
            replace.addKeyClick(Qt::Key_Left, Qt::ShiftModifier);
        replace.addKeyClicks(QStringLiteral("mark"));
        QTest::newRow("select left, replace") << replace << "Bent mark" << 9 << 4;
        QTestEventList end;
        end.addKeyClick(Qt::Key_Delete);
        end.addKeyClick(Qt::Key_Right);
        QTest::newRow("delete at the end") << end << "Bent text" << 9 << 0;
    }
    void typingEditsTheText()
    {
        QFETCH(QTestEventList, keys);
        QFETCH(QString, text);
        QFETCH(int, caret);
        QFETCH(int, steps);
        TextTool* tool = m_window->GetTools()->GetTextTool();
        const QPoint origin(60, 120);
        tool->AddText(origin, QStringLiteral("Bent text"), 30, 15, 64);
        const QByteArray before = Bytes(ActiveImage());
        const int count = Doc()->Undo().Count();
        m_window->GetTools()->SetTool(Tools::Text);
        keys.simulate(m_window->GetCanvas());
        QCOMPARE(tool->Active()->text, text);
        QCOMPARE(tool->Active()->caret, caret);
        QCOMPARE(Doc()->Undo().Count() - count, steps);
        // The layer shows the edited text as new text of that content would.
        const QByteArray edited = Bytes(ActiveImage());
        tool->AddText(origin, text, 30, 15, 64);
        QCOMPARE(Bytes(ActiveImage()), edited);
        QVERIFY(Doc()->UndoStep());
        for (int i = 0; i < steps; ++i)
            QVERIFY(Doc()->UndoStep());
        QCOMPARE(tool->Active()->text, QStringLiteral("Bent text"));
        QCOMPARE(Bytes(ActiveImage()), before);
    }

    void shapeDialogBendsAndHitTestFollows()
    {
        TextTool* tool = m_window->GetTools()->GetTextTool();
        const QPoint origin(40, 200);
        tool->AddText(origin, QStringLiteral("Curved words"), 30, 0, 56);
        const QByteArray before = Bytes(ActiveImage());
        auto* dialog = qobject_cast<QDialog*>(tool->OpenShapeDialog(m_window.get()));
        QVERIFY(dialog);
        dialog->findChild<QDoubleSpinBox*>(QStringLiteral("param0Box"))->setValue(-45);
        dialog->findChild<QDoubleSpinBox*>(QStringLiteral("param1Box"))->setValue(20);
        QTest::mouseClick(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        QCOMPARE(tool->Active()->bend, -45.0);
        QCOMPARE(tool->Active()->taper, 20.0);
        const QByteArray shaped = Bytes(ActiveImage());
        QVERIFY(shaped != before);
        // The caret follows the new outline: the hit test of a helper of its own.
        KXTextHelper reference;
        reference.SetText(QStringLiteral("Curved words"));
        reference.SetFont(tool->Active()->helper.GetFont());
        reference.SetStyle(1);
        reference.SetBend(-45);
        reference.SetHDistortion(20);
        m_window->GetTools()->SetTool(Tools::Text);
        Canvas* canvas = m_window->GetCanvas();
        // Clicks along the middle of the bent characters.
        const QRectF box = reference.GetCharPath(origin).boundingRect();
        QVERIFY(box.width() > 100);
        const auto at = [&](double t) {
            return canvas->ToWidget(QPointF(box.left() + t * box.width(), box.center().y())).toPoint();
        };
        QSet<int> seen;
        for (double t = 0.05; t < 1.0; t += 0.1) {
            const int want = reference.FindSelectedChar(origin, canvas->ToImage(at(t)).toPoint());
            QVERIFY(want >= 0);
            QTest::mouseClick(canvas, Qt::LeftButton, {}, at(t));
            QCOMPARE(tool->Active()->caret, want);
            seen.insert(want);
        }
        QVERIFY(seen.size() > 3);
        // Shift-click selects, typing replaces the selection.
        const int from = tool->Active()->caret;
        QTest::mouseClick(canvas, Qt::LeftButton, Qt::ShiftModifier, at(0.1));
        const int to = tool->Active()->caret;
        QVERIFY(to != from);
        QTest::keyClicks(canvas, QStringLiteral("X"));
        QString want = QStringLiteral("Curved words");
        want.replace(std::min(from, to), std::abs(from - to), QStringLiteral("X"));
        QCOMPARE(tool->Active()->text, want);
        // Undo: the text, then the shape.
        QVERIFY(Doc()->UndoStep());
        QCOMPARE(Bytes(ActiveImage()), shaped);
        QVERIFY(Doc()->UndoStep());
        QCOMPARE(Bytes(ActiveImage()), before);
        QCOMPARE(tool->Active()->bend, 30.0);
    }
};

namespace kxedit_test {
int RunEditingTest(int argc, char** argv)
{
    EditingTest test;
    return QTest::qExec(&test, argc, argv);
}
} // namespace kxedit_test

#include "tst_kxedit_editing.moc"
