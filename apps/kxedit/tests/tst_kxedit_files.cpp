// The editor's files as a person meets them: opening a photo (its profile
// kept, a quick look before the exact frame), a file that cannot be read,
// saving and reading back, a save that fails, and closing with changes.

#include "EditorFixture.h"

#include "Canvas.h"
#include "Tools.h"

#include <VQCMSTransform.h>

#include <QDir>
#include <QFile>
#include <QMessageBox>

#include <cmath>

using namespace kxedit;
using namespace kxedit_test;

class FilesTest : public QObject, public EditorFixture {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(MakePhoto(true)); }
    void init() { QVERIFY(OpenWindow()); }
    void cleanup() { m_window.reset(); }

    void openKeepsProfileAndShowsFrame()
    {
        QCOMPARE(Doc()->Size(), QSize(640, 427));
        QVERIFY(!Doc()->Profile().IsEmpty());
        QSignalSpy frames(m_window->GetCanvas(), &Canvas::FrameReady);
        m_window->GetCanvas()->update();
        QVERIFY(frames.wait(2000));
        // At fit the whole picture is on screen.
        QCOMPARE(m_window->GetCanvas()->VisibleArea(), Doc()->Rect());

        // A flat Adobe RGB picture is shown through the transform to sRGB,
        // as Little CMS converts its colour, and not as stored.
        KXImageRGBA32i flat(300, 200);
        flat.Fill(KXRGBA32i(0xFF2E5CA9u));
        flat.profile = Doc()->Profile();
        Doc()->Reset(flat, QStringLiteral("flat"));
        m_window->GetCanvas()->ZoomToFit();
        QVERIFY(frames.wait(2000));
        KXRGBA32i expected(0xFF2E5CA9u);
        VQCMSTransform(flat.profile, SRgbProfile())(expected);
        QVERIFY(expected.value != 0xFF2E5CA9u);
        const QPointF at = m_window->GetCanvas()->ToWidget(QPointF(150, 100));
        QCOMPARE(m_window->GetCanvas()->Frame().pixel(at.toPoint()), QRgb(expected.value));
    }

    void openDrawsQuickLookThenExactFrame()
    {
        // A photo larger than the canvas is drawn before OpenFile returns,
        // decoded at the screen's size, then from its tiles: the same
        // picture in the same place, both through the display profile (the
        // photo's Adobe RGB shown as stored would differ far more).
        Canvas* canvas = m_window->GetCanvas();
        // Once first: the window's panels settle around the new photo.
        QVERIFY(m_window->OpenFile(m_largePhoto));
        QTest::qWait(50);
        QSignalSpy frames(canvas, &Canvas::FrameReady);
        QVERIFY(m_window->OpenFile(m_largePhoto));
        QCOMPARE(frames.count(), 1);
        const QImage quick = canvas->Frame();
        QVERIFY(frames.wait(2000));
        const QImage exact = canvas->Frame();
        QCOMPARE(exact.size(), quick.size());
        const auto covered = [](const QImage& frame) {
            QRect rect;
            for (int y = 0; y < frame.height(); ++y)
                for (int x = 0; x < frame.width(); ++x)
                    if (qAlpha(frame.pixel(x, y)) != 0)
                        rect |= QRect(x, y, 1, 1);
            return rect;
        };
        const QRect quickRect = covered(quick), exactRect = covered(exact);
        QVERIFY2((quickRect.marginsAdded(QMargins(1, 1, 1, 1)).contains(exactRect) &&
                  exactRect.marginsAdded(QMargins(1, 1, 1, 1)).contains(quickRect)),
                 qPrintable(QStringLiteral("%1,%2 %3x%4").arg(quickRect.x()).arg(quickRect.y()).arg(quickRect.width()).arg(quickRect.height())));
        double difference = 0;
        int count = 0;
        const QRect inner = (quickRect & exactRect).marginsRemoved(QMargins(2, 2, 2, 2));
        for (int y = inner.top(); y <= inner.bottom(); ++y)
            for (int x = inner.left(); x <= inner.right(); ++x) {
                const QRgb a = quick.pixel(x, y), b = exact.pixel(x, y);
                difference += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
                count += 3;
            }
        // The two samplings differ by about 4.5 levels on this photo; shown
        // as stored the quick look would be off by about 12.5.
        QVERIFY(count > 0);
        QVERIFY2(difference / count < 8.0, qPrintable(QString::number(difference / count)));
    }

    void unreadableFileLeavesDocument()
    {
        const QByteArray before = Bytes(ActiveImage());
        const QString path = m_dir.filePath(QStringLiteral("broken.jpg"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a picture at all");
        file.close();
        QVERIFY(!m_window->OpenFile(path));
        QVERIFY(!m_window->AddLayerFile(path));
        QCOMPARE(Doc()->Layers().size(), 1);
        QCOMPARE(Bytes(ActiveImage()), before);
        QCOMPARE(Doc()->Path(), m_photo);
    }

    void saveAndReloadKeepsProfile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("lossless");
        QTest::newRow("png") << "out.png" << true;
        QTest::newRow("tiff") << "out.tif" << true;
        QTest::newRow("jpeg") << "out.jpg" << false;
        QTest::newRow("webp") << "out.webp" << false;
    }
    void saveAndReloadKeepsProfile()
    {
        QFETCH(QString, name);
        QFETCH(bool, lossless);
        const QString path = m_dir.filePath(name);
        QVERIFY(m_window->SaveFile(path));
        QVERIFY(!Doc()->IsModified());
        const KXImageRGBA32i back = ReadBack(path);
        QCOMPARE(QSize(int(back.Width()), int(back.Height())), Doc()->Size());
        QVERIFY(!back.profile.IsEmpty());
        QCOMPARE(back.profile.ToByteArray(), Doc()->Profile().ToByteArray());
        if (lossless)
            QCOMPARE(Bytes(back), Bytes(ActiveImage()));
    }

    void failedSaveLeavesOldFile()
    {
        const QString path = m_dir.filePath(QStringLiteral("keep.png"));
        QVERIFY(m_window->SaveFile(path));
        const QByteArray before = [&] { QFile f(path); f.open(QIODevice::ReadOnly); return f.readAll(); }();
        QVERIFY(!m_window->SaveFile(m_dir.filePath(QStringLiteral("keep.unknown"))));
        QVERIFY(!m_window->SaveFile(m_dir.filePath(QStringLiteral("missing/keep.png"))));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
        QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("keep*")}), QStringList{QStringLiteral("keep.png")});
    }

    void closingWithChangesAsks()
    {
        int asked = 0;
        m_window->askToSave = [&] { ++asked; return QMessageBox::Cancel; };
        QVERIFY(m_window->close()); // nothing changed: no question
        QCOMPARE(asked, 0);
        m_window->show();
        m_window->GetTools()->BucketFill(QPoint(10, 10));
        QVERIFY(Doc()->IsModified());
        QVERIFY(!m_window->close());
        QCOMPARE(asked, 1);
        QVERIFY(m_window->isVisible());
        m_window->askToSave = [&] { ++asked; return QMessageBox::Discard; };
        QVERIFY(m_window->close());
        QCOMPARE(asked, 2);
    }
};

namespace kxedit_test {
int RunFilesTest(int argc, char** argv)
{
    FilesTest test;
    return QTest::qExec(&test, argc, argv);
}
} // namespace kxedit_test

#include "tst_kxedit_files.moc"
