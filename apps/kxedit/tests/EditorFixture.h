// What the editor's test classes share: a window with a generated photo
// open, byte views of images, the library's Gaussian blur run directly.
#ifndef KXEDIT_TESTS_EDITORFIXTURE_H
#define KXEDIT_TESTS_EDITORFIXTURE_H

#include "Document.h"
#include "FilterDialog.h"
#include "Filters.h"
#include "MainWindow.h"
#include "SamplePhoto.h"

#include <KXBlurFilters.h>
#include <KXImageFile.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace kxedit_test {

using namespace kxedit;

// Every pixel row of an image, for byte comparisons.
inline QByteArray Bytes(const KXImageRGBA32i& image)
{
    QByteArray bytes;
    const int row = int(image.Width() * sizeof(KXRGBA32i));
    bytes.resize(row * int(image.Height()));
    for (unsigned int y = 0; y < image.Height(); ++y)
        image.GetLine(y, bytes.data() + y * row, unsigned(row));
    return bytes;
}

inline KXImageRGBA32i ReadBack(const QString& path)
{
    return KXImageFile::Read(path).image;
}

// The library's Gaussian blur run directly, whole image or over an area.
inline KXImageRGBA32i LibraryGaussian(const KXImageRGBA32i& image, double sigma, const QRect& area = QRect())
{
    QReadWriteLock lock;
    bool cancel = false;
    KXGaussianBlurProcessing blur(lock, cancel);
    KXGaussianBlurProcessing::BlurData data;
    data.image = image;
    data.sigma = sigma;
    if (area.isValid()) {
        data.selection = KXImageRGBA32i(image.Width(), image.Height());
        data.selection.Fill(KXRGBA32i(0xFFFFFFFFu));
        data.selectionRect = area;
    }
    return blur.run(data);
}

inline QString WritePhoto(const QString& path, const QSize& size)
{
    KXImageFile::WriteParams params;
    params.quality = 92;
    const KXImageFile::WriteResult result = KXImageFile::Write(SamplePhoto(size), KXImageMetadata(), path, params);
    return result.Ok() ? path : QString();
}

// A shown window with the 640 × 427 Adobe RGB photo open; set up by the
// test classes' init() and dropped by cleanup().
class EditorFixture {
protected:
    QTemporaryDir m_dir;
    QString m_photo;
    QString m_largePhoto; // 2400 × 1600, larger than the canvas (made by MakePhoto(true))
    std::unique_ptr<MainWindow> m_window;

    Document* Doc() const { return m_window->GetDocument(); }
    const KXImageRGBA32i& ActiveImage() const { return Doc()->ActiveLayer()->image; }

    FilterDialog* OpenDialog(const QString& name)
    {
        const FilterKind* kind = FindFilter(name);
        return kind ? m_window->OpenFilter(*kind) : nullptr;
    }

    bool MakePhoto(bool large = false)
    {
        m_photo = WritePhoto(m_dir.filePath(QStringLiteral("photo.jpg")), QSize(640, 427));
        if (large)
            m_largePhoto = WritePhoto(m_dir.filePath(QStringLiteral("large.jpg")), QSize(2400, 1600));
        return m_dir.isValid() && !m_photo.isEmpty() && (!large || !m_largePhoto.isEmpty());
    }

    bool OpenWindow()
    {
        m_window = std::make_unique<MainWindow>();
        m_window->askToSave = [] { return QMessageBox::Discard; };
        m_window->resize(900, 640);
        m_window->show();
        return QTest::qWaitForWindowExposed(m_window.get()) && m_window->OpenFile(m_photo);
    }
};

// Runs every test class and checks that all tile blocks came back.
int RunAll(int argc, char** argv);

} // namespace kxedit_test

#endif
