#include "Document.h"

#include <KXBlend.h>
#include <KXBlendModes.h>
#include <KXParallel.h>
#include <VQCMSTransform.h>

#include <QFileInfo>
#include <QSaveFile>

namespace kxedit {

Document::Document(QObject* parent) : QObject(parent)
{
    connect(&m_undo, &UndoStack::Changed, this, [this] { SetModified(true); });
}

bool Document::Open(const QString& path, QString* error)
{
    return Open(path, KXImageFile::Read(path), error);
}

bool Document::Open(const QString& path, const KXImageFile::ReadResult& read, QString* error)
{
    if (!read.Ok()) {
        if (error)
            *error = read.errorText;
        return false;
    }
    m_metadata = read.metadata;
    m_path = path;
    Reset(read.image, QFileInfo(path).fileName());
    return true;
}

void Document::Reset(const KXImageRGBA32i& image, const QString& name)
{
    ClearPreview();
    ClearSelection();
    m_size = QSize(int(image.Width()), int(image.Height()));
    m_profile = image.profile;
    m_exif = image.exif;
    Layer layer;
    layer.name = name;
    layer.image = image;
    m_layers = LayerList{layer};
    m_active = 0;
    m_undo.Clear();
    SetModified(false);
    emit LayersChanged();
    emit Changed(QRect());
}

bool Document::AddLayerFromFile(const QString& path, QString* error)
{
    const KXImageFile::ReadResult read = KXImageFile::Read(path);
    if (!read.Ok()) {
        if (error)
            *error = read.errorText;
        return false;
    }
    KXImageRGBA32i image = read.image;
    // Layers share the document's colours: a picture in another profile is
    // converted on the way in.
    if (!image.profile.IsEmpty() && !m_profile.IsEmpty() && image.profile != m_profile)
        KXRGBA32ColorProfileTransform(image.profile, m_profile)(image);
    image.profile = m_profile;
    AddLayer(image, QFileInfo(path).fileName());
    return true;
}

void Document::AddLayer(const KXImageRGBA32i& image, const QString& name)
{
    if (m_layers.isEmpty()) {
        Reset(image, name);
        return;
    }
    Record(tr("Add layer"));
    Layer layer;
    layer.name = name;
    layer.image = image;
    m_active = m_layers.isEmpty() ? 0 : m_active + 1;
    m_layers.insert(m_active, layer);
    emit LayersChanged();
    Touched(QRect());
}

bool Document::Save(const QString& path, QString* error, int quality)
{
    KXImageFile::WriteParams params;
    params.format = KXImageFile::WriteFormat(path);
    params.quality = quality;
    if (params.format.isEmpty()) {
        if (error)
            *error = tr("no writer for %1").arg(QFileInfo(path).suffix());
        return false;
    }
    KXImageRGBA32i flat = Composite(Rect());
    flat.profile = m_profile;
    flat.exif = m_exif;
    // A temporary file beside the target becomes the target only once the
    // whole picture is in it; a failed write leaves the old file alone.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const KXImageFile::WriteResult written = KXImageFile::Write(flat, m_metadata, &file, params);
    if (!written.Ok()) {
        file.cancelWriting();
        if (error)
            *error = written.errorText;
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    m_path = path;
    SetModified(false);
    return true;
}

void Document::SetModified(bool modified)
{
    if (m_modified == modified)
        return;
    m_modified = modified;
    emit ModifiedChanged(modified);
}

void Document::SetActiveIndex(int index)
{
    if (index < 0 || index >= m_layers.size() || index == m_active)
        return;
    m_active = index;
    emit LayersChanged();
}

const Layer* Document::ActiveLayer() const
{
    return (m_active >= 0 && m_active < m_layers.size()) ? &m_layers[m_active] : nullptr;
}

void Document::Record(const QString& text)
{
    m_undo.Push(text, m_layers, m_active);
}

void Document::Touched(const QRect& area)
{
    SetModified(true);
    emit Changed(area);
}

void Document::ChangeLayer(int index, const QString& text, const std::function<void(Layer&)>& change,
                           const QRect& area)
{
    if (index < 0 || index >= m_layers.size())
        return;
    Record(text);
    change(m_layers[index]);
    emit LayersChanged();
    Touched(area);
}

void Document::SetLayerImage(int index, const QString& text, const KXImageRGBA32i& image, const QRect& area)
{
    ChangeLayer(
        index, text,
        [&](Layer& layer) {
            if (!layer.lockAlpha) {
                layer.image = image;
                return;
            }
            // A layer with its alpha locked takes the new colours only.
            const QRect rect = area.isNull() ? layer.image.Rect() : area;
            BlendOn(image, rect, KXBlendMode::Source, layer.image, rect, 1.0, true);
        },
        area);
}

void Document::MoveLayer(int index, int to)
{
    if (index < 0 || index >= m_layers.size() || to < 0 || to >= m_layers.size() || to == index)
        return;
    Record(tr("Move layer"));
    m_layers.move(index, to);
    m_active = to;
    emit LayersChanged();
    Touched(QRect());
}

void Document::RemoveLayer(int index)
{
    if (index < 0 || index >= m_layers.size() || m_layers.size() == 1)
        return;
    Record(tr("Delete layer"));
    m_layers.removeAt(index);
    m_active = std::min(m_active, int(m_layers.size()) - 1);
    emit LayersChanged();
    Touched(QRect());
}

bool Document::UndoStep()
{
    ClearPreview();
    if (!m_undo.Undo(m_layers, m_active))
        return false;
    emit LayersChanged();
    emit Changed(QRect());
    return true;
}

bool Document::RedoStep()
{
    ClearPreview();
    if (!m_undo.Redo(m_layers, m_active))
        return false;
    emit LayersChanged();
    emit Changed(QRect());
    return true;
}

void Document::SetSelection(const KXImageRGBA32i& selection, const QRect& bounds, const QPainterPath& outline)
{
    m_selection = selection;
    m_selectionBounds = bounds & Rect();
    m_selectionOutline = outline;
    if (!m_selectionBounds.isValid())
        m_selection = KXImageRGBA32i();
    emit SelectionChanged();
}

void Document::ClearSelection()
{
    m_selection = KXImageRGBA32i();
    m_selectionBounds = QRect();
    m_selectionOutline = QPainterPath();
    emit SelectionChanged();
}

void Document::MergeThroughSelection(const KXImageRGBA32i& changed, KXImageRGBA32i& target,
                                     const KXImageRGBA32i& selection, const QRect& area)
{
    const QRect rect = area & target.Rect() & changed.Rect() & selection.Rect();
    if (rect.isEmpty())
        return;
    const unsigned int bytes = unsigned(rect.width()) * sizeof(KXRGBA32i);
    std::vector<KXRGBA32i> source(size_t(rect.width())), destination(source.size()), weights(source.size());
    std::vector<int> indices = KXParallel::Indices(rect.width());
    const KXBlend::KXSelectionBlender<KXRGBA32i, KXBlend::KXSourceBySelection, KXRGBA32i> blender(
        source, destination, weights, KXBlend::KXSourceBySelection());
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        changed.GetLine(unsigned(y), unsigned(rect.left()), source.data(), bytes);
        target.GetLine(unsigned(y), unsigned(rect.left()), destination.data(), bytes);
        selection.GetLine(unsigned(y), unsigned(rect.left()), weights.data(), bytes);
        KXParallel::BlockingMap(indices, blender);
        target.SetLine(unsigned(y), unsigned(rect.left()), destination.data(), bytes);
    }
}

void Document::SetPreview(int index, const KXImageRGBA32i& image, const QRect& area)
{
    m_previewIndex = index;
    m_preview = image;
    emit Changed(area);
}

void Document::ClearPreview()
{
    if (m_previewIndex < 0)
        return;
    m_previewIndex = -1;
    m_preview = KXImageRGBA32i();
    emit Changed(QRect());
}

const KXImageRGBA32i& Document::ShownImage(int index) const
{
    return index == m_previewIndex ? m_preview : m_layers[index].image;
}

KXImageRGBA32i Document::Composite(const QRect& area) const
{
    const QRect rect = area.isNull() ? Rect() : (area & Rect());
    int first = 0;
    while (first < m_layers.size() && !m_layers[first].visible)
        ++first;
    KXImageRGBA32i out;
    // A plain bottom layer of the canvas size is the start as it is (its
    // tiles shared); otherwise the layers go onto a transparent canvas, which
    // holds at most four blocks until something is blended into it.
    if (first < m_layers.size() && m_layers[first].CopiesThrough() &&
        QSize(int(ShownImage(first).Width()), int(ShownImage(first).Height())) == m_size) {
        out = ShownImage(first);
        ++first;
    } else {
        out = KXImageRGBA32i(unsigned(m_size.width()), unsigned(m_size.height()));
    }
    for (int i = first; i < m_layers.size(); ++i) {
        const Layer& layer = m_layers[i];
        if (!layer.visible || rect.isEmpty())
            continue;
        if (layer.mask.Width() > 0)
            BlendMaskOn(ShownImage(i), rect, layer.mode, out, rect, layer.opacity, layer.mask, rect, false, false);
        else
            BlendOn(ShownImage(i), rect, layer.mode, out, rect, layer.opacity, false);
    }
    return out;
}

} // namespace kxedit
