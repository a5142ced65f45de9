#include "MainWindow.h"

#include "AdjustDialog.h"
#include "Canvas.h"
#include "Document.h"
#include "FilterDialog.h"
#include "Filters.h"
#include "LayersPanel.h"
#include "ParamForm.h"
#include "TextTool.h"
#include "Tools.h"

#include <KXFilterParams.h>

#include <QActionGroup>
#include <QCloseEvent>
#include <QColorDialog>
#include <QtConcurrent/QtConcurrentRun>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QKeySequence>
#include <QMenuBar>
#include <QStatusBar>

namespace kxedit {
namespace {

const char* const kOpenFilter = "Pictures (*.jpg *.jpeg *.png *.tif *.tiff *.webp);;All files (*)";
const char* const kSaveFilter = "JPEG (*.jpg);;PNG (*.png);;TIFF (*.tif);;WebP (*.webp)";

} // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    m_document = new Document(this);
    m_canvas = new Canvas(m_document, this);
    m_canvas->setObjectName(QStringLiteral("canvas"));
    setCentralWidget(m_canvas);
    m_tools = new Tools(m_document, m_canvas, this);

    auto* dock = new QDockWidget(tr("Layers"), this);
    dock->setObjectName(QStringLiteral("layersDock"));
    m_layers = new LayersPanel(m_document, dock);
    dock->setWidget(m_layers);
    addDockWidget(Qt::RightDockWidgetArea, dock);

    MakeMenus();
    connect(m_document, &Document::ModifiedChanged, this, &MainWindow::UpdateTitle);
    connect(m_canvas, &Canvas::ViewChanged, this, [this] {
        statusBar()->showMessage(tr("%1 × %2 at %3%")
                                     .arg(m_document->Size().width())
                                     .arg(m_document->Size().height())
                                     .arg(m_canvas->Scale() * 100, 0, 'f', 1));
    });
    askToSave = [this] {
        return QMessageBox::question(this, tr("Unsaved changes"),
                                     tr("The picture has changes that are not saved. Save them?"),
                                     QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                                     QMessageBox::Save);
    };
    resize(1200, 800);
    UpdateTitle();
}

MainWindow::~MainWindow()
{
    // Dialogs first: they wait for their workers and clear their previews
    // from the document.
    qDeleteAll(findChildren<FilterDialog*>());
    qDeleteAll(findChildren<AdjustDialog*>());
}

void MainWindow::MakeMenus()
{
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(tr("&Open…"), this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, tr("Open"), QString(), tr(kOpenFilter));
        if (!path.isEmpty())
            OpenFile(path);
    }, QKeySequence::Open);
    file->addAction(tr("Add picture as &layer…"), this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, tr("Add layer"), QString(), tr(kOpenFilter));
        if (!path.isEmpty())
            AddLayerFile(path);
    });
    file->addAction(tr("Save &as…"), this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, tr("Save as"), m_document->Path(), tr(kSaveFilter));
        if (!path.isEmpty())
            SaveFile(path);
    }, QKeySequence::SaveAs);
    file->addSeparator();
    file->addAction(tr("&Quit"), this, &QWidget::close, QKeySequence::Quit);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    QAction* undo = edit->addAction(tr("&Undo"), m_document, &Document::UndoStep, QKeySequence::Undo);
    QAction* redo = edit->addAction(tr("&Redo"), m_document, &Document::RedoStep, QKeySequence::Redo);
    auto updateUndo = [this, undo, redo] {
        undo->setEnabled(m_document->Undo().CanUndo());
        redo->setEnabled(m_document->Undo().CanRedo());
        undo->setText(tr("&Undo %1").arg(m_document->Undo().UndoText()));
        redo->setText(tr("&Redo %1").arg(m_document->Undo().RedoText()));
    };
    connect(&m_document->Undo(), &UndoStack::Changed, this, updateUndo);
    updateUndo();
    edit->addSeparator();
    edit->addAction(tr("Select &none"), m_document, &Document::ClearSelection);
    edit->addAction(tr("&Refine selection…"), this, [this] { OpenRefineSelection(); });
    edit->addAction(tr("Fill &tolerance…"), this, [this] {
        OpenParamDialog(this, tr("Fill tolerance"), {IntField(tr("Tolerance (every channel)"), 0, 255)},
                        {m_tools->Tolerance()}, [this](const QVariantList& v) { m_tools->SetTolerance(v[0].toInt()); });
    });
    edit->addAction(tr("Foreground &colour…"), this, [this] {
        const QColor colour = QColorDialog::getColor(m_tools->Colour(), this);
        if (colour.isValid())
            m_tools->SetColour(colour);
    });

    MakeViewMenu();

    QMenu* tools = menuBar()->addMenu(tr("&Tools"));
    auto* group = new QActionGroup(this);
    const std::pair<QString, Tools::Tool> entries[] = {{tr("&Hand"), Tools::Hand},
                                                       {tr("&Rectangle selection"), Tools::RectangleSelect},
                                                       {tr("&Ellipse selection"), Tools::EllipseSelect},
                                                       {tr("Paint &bucket"), Tools::Bucket},
                                                       {tr("&Colour range fill"), Tools::ColorRange},
                                                       {tr("&Text"), Tools::Text},
                                                       {tr("Heal (&inpainting brush)"), Tools::Heal}};
    for (const auto& entry : entries) {
        QAction* action = tools->addAction(entry.first);
        action->setCheckable(true);
        action->setChecked(entry.second == m_tools->Current());
        group->addAction(action);
        const Tools::Tool tool = entry.second;
        connect(action, &QAction::triggered, this, [this, tool] { m_tools->SetTool(tool); });
    }

    tools->addSeparator();
    tools->addAction(tr("Text &shape (bend, taper)…"), this,
                     [this] { m_tools->GetTextTool()->OpenShapeDialog(this); });

    QMenu* image = menuBar()->addMenu(tr("&Image"));
    QMenu* adjust = image->addMenu(tr("&Adjustments"));
    for (const AdjustmentKind* kind : AdjustmentKinds()) {
        QAction* action = adjust->addAction(kind->name + QStringLiteral("…"), this, [this, kind] { OpenAdjustments(*kind); });
        if (kind == AdjustmentKinds().first())
            action->setShortcut(Qt::CTRL + Qt::Key_M);
    }
    image->addAction(tr("Auto &white balance"), this, [this] { m_tools->AutoWhiteBalance(); });
    image->addAction(tr("&Rotate and scale layer…"), this, [this] {
        bool ok = false;
        const double degrees = QInputDialog::getDouble(this, tr("Rotate"), tr("Degrees:"), 0, -360, 360, 2, &ok);
        if (!ok)
            return;
        const double percent = QInputDialog::getDouble(this, tr("Scale"), tr("Percent:"), 100, 1, 1600, 1, &ok);
        if (ok)
            m_tools->TransformLayer(degrees, percent / 100);
    });

    QMenu* filters = menuBar()->addMenu(tr("Fi&lter"));
    for (const FilterKind* kind : FilterKinds())
        filters->addAction(kind->Name() + QStringLiteral("…"), this, [this, kind] { OpenFilter(*kind); });
}

void MainWindow::MakeViewMenu()
{
    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->addAction(tr("&Fit"), m_canvas, &Canvas::ZoomToFit, Qt::CTRL + Qt::Key_0);
    view->addAction(tr("&Actual size"), m_canvas, &Canvas::ZoomActualSize, Qt::CTRL + Qt::Key_1);
    view->addAction(tr("Zoom &in"), m_canvas, &Canvas::ZoomIn, QKeySequence::ZoomIn);
    view->addAction(tr("Zoom &out"), m_canvas, &Canvas::ZoomOut, QKeySequence::ZoomOut);
    view->addSeparator();
    QMenu* display = view->addMenu(tr("&Display profile"));
    auto* group = new QActionGroup(this);
    m_srgb = display->addAction(tr("&sRGB"), this, [this] { SetDisplayProfile(QString()); });
    m_iccFile = display->addAction(tr("From an &ICC file…"), this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, tr("Display profile"), QString(),
                                                          tr("ICC profiles (*.icc *.icm);;All files (*)"));
        if (path.isEmpty() || !SetDisplayProfile(path))
            m_srgb->setChecked(m_iccFile->data().toString().isEmpty());
    });
    for (QAction* action : {m_srgb, m_iccFile}) {
        action->setCheckable(true);
        group->addAction(action);
    }
    m_srgb->setChecked(true);
}

bool MainWindow::SetDisplayProfile(const QString& path)
{
    // A fresh profile: loading into a copy would change every copy.
    VQCMSProfile profile;
    if (path.isEmpty())
        profile = SRgbProfile();
    else if (!profile.Load(path) || profile.GetColorSpace() != VQCMSProfile::RGB) {
        ShowError(tr("Cannot use %1 as the display profile").arg(QFileInfo(path).fileName()),
                  tr("The file holds no RGB colour profile."));
        return false;
    }
    m_canvas->SetDisplayProfile(profile);
    m_iccFile->setData(path);
    (path.isEmpty() ? m_srgb : m_iccFile)->setChecked(true);
    if (!path.isEmpty())
        m_iccFile->setText(tr("From an &ICC file (%1)…").arg(QFileInfo(path).fileName()));
    return true;
}

QDialog* MainWindow::OpenRefineSelection()
{
    if (!m_document->HasSelection())
        return nullptr;
    // The refine filter's own parameters: the feather's box radius, then
    // how far the edge moves (negative shrinks).
    const KXRefineSelectionParams defaults;
    return OpenParamDialog(this, tr("Refine selection"),
                           {DoubleField(tr("Feather radius (px)"), 0, 500), IntField(tr("Grow or shrink (px)"), -500, 500)},
                           {defaults.radius, defaults.shift},
                           [this](const QVariantList& v) { m_tools->RefineSelection(v[0].toDouble(), v[1].toInt()); });
}

FilterDialog* MainWindow::OpenFilter(const FilterKind& kind)
{
    if (m_document->IsEmpty())
        return nullptr;
    auto* dialog = new FilterDialog(kind, m_document, m_canvas, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    return dialog;
}

AdjustDialog* MainWindow::OpenAdjustments()
{
    return OpenAdjustments(*AdjustmentKinds().first());
}

AdjustDialog* MainWindow::OpenAdjustments(const AdjustmentKind& kind)
{
    if (m_document->IsEmpty())
        return nullptr;
    auto* dialog = new AdjustDialog(kind, m_document, m_canvas, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    return dialog;
}

bool MainWindow::OpenFile(const QString& path)
{
    // The photo is read whole on a worker while the canvas shows a quick
    // look decoded at the screen's size; the exact frame follows.
    QFuture<KXImageFile::ReadResult> reading = QtConcurrent::run(WorkerPool(), [path] { return KXImageFile::Read(path); });
    m_canvas->DrawQuickLook(path);
    QString error;
    if (!m_document->Open(path, reading.result(), &error)) {
        m_canvas->EndQuickLook();
        ShowError(tr("Cannot open %1").arg(QFileInfo(path).fileName()), error);
        return false;
    }
    m_canvas->ZoomToFit();
    UpdateTitle();
    return true;
}

bool MainWindow::AddLayerFile(const QString& path)
{
    QString error;
    if (!m_document->AddLayerFromFile(path, &error)) {
        ShowError(tr("Cannot add %1").arg(QFileInfo(path).fileName()), error);
        return false;
    }
    return true;
}

bool MainWindow::SaveFile(const QString& path)
{
    QString error;
    if (!m_document->Save(path, &error)) {
        ShowError(tr("Cannot save %1").arg(QFileInfo(path).fileName()), error);
        return false;
    }
    UpdateTitle();
    return true;
}

void MainWindow::ShowError(const QString& title, const QString& text)
{
    statusBar()->showMessage(title + QStringLiteral(": ") + text);
    if (!qEnvironmentVariableIsSet("KXEDIT_NO_DIALOGS"))
        QMessageBox::warning(this, title, text);
}

void MainWindow::UpdateTitle()
{
    const QString name = m_document->Path().isEmpty() ? tr("Untitled") : QFileInfo(m_document->Path()).fileName();
    setWindowTitle(QStringLiteral("%1%2 — kxedit").arg(name, m_document->IsModified() ? QStringLiteral("*") : QString()));
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!m_document->IsModified()) {
        event->accept();
        return;
    }
    switch (askToSave()) {
    case QMessageBox::Discard:
        event->accept();
        return;
    case QMessageBox::Save: {
        QString path = m_document->Path();
        if (path.isEmpty() || KXImageFile::WriteFormat(path).isEmpty())
            path = QFileDialog::getSaveFileName(this, tr("Save as"), path, tr(kSaveFilter));
        if (!path.isEmpty() && SaveFile(path)) {
            event->accept();
            return;
        }
        event->ignore();
        return;
    }
    default:
        event->ignore();
    }
}

} // namespace kxedit
