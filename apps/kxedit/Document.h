#ifndef KXEDIT_DOCUMENT_H
#define KXEDIT_DOCUMENT_H

#include "Layer.h"
#include "UndoStack.h"

#include <KXImageFile.h>

#include <QObject>
#include <QPainterPath>
#include <QRect>
#include <QSize>

#include <functional>

namespace kxedit {

/// An open photo: its layers, colour profile and metadata, the undo stack,
/// and a preview image that stands in for one layer while a dialog shows it.
class Document : public QObject {
    Q_OBJECT
public:
    explicit Document(QObject* parent = nullptr);

    /// Replaces everything with the photo at `path` as the only layer; on
    /// failure the document is left as it was and `error` says why.
    bool Open(const QString& path, QString* error);
    /// The same with the file already read from `path`.
    bool Open(const QString& path, const KXImageFile::ReadResult& read, QString* error);
    /// Starts over with one layer made from `image` (its profile kept).
    void Reset(const KXImageRGBA32i& image, const QString& name);
    /// Adds the picture at `path` above the active layer, converted into the
    /// document's profile; undoable.
    bool AddLayerFromFile(const QString& path, QString* error);
    /// Adds `image` above the active layer; undoable.
    void AddLayer(const KXImageRGBA32i& image, const QString& name);
    /// Writes the flattened layers with the profile and the metadata of the
    /// photo, through a temporary file renamed at the end. The format comes
    /// from the path's suffix.
    bool Save(const QString& path, QString* error, int quality = 90);

    bool IsEmpty() const { return m_layers.isEmpty(); }
    QSize Size() const { return m_size; }
    QRect Rect() const { return QRect(QPoint(0, 0), m_size); }
    const VQCMSProfile& Profile() const { return m_profile; }
    QString Path() const { return m_path; }
    bool IsModified() const { return m_modified; }
    void SetModified(bool modified);

    const LayerList& Layers() const { return m_layers; }
    int ActiveIndex() const { return m_active; }
    void SetActiveIndex(int index);
    const Layer* ActiveLayer() const;

    /// Changes layer `index` through `change` as one undoable step named
    /// `text`; `area` is what it repaints (null: the whole canvas).
    void ChangeLayer(int index, const QString& text, const std::function<void(Layer&)>& change,
                     const QRect& area = QRect());
    /// Replaces the pixels of layer `index` (one undoable step).
    void SetLayerImage(int index, const QString& text, const KXImageRGBA32i& image, const QRect& area = QRect());
    void MoveLayer(int index, int to);
    void RemoveLayer(int index);

    UndoStack& Undo() { return m_undo; }
    bool UndoStep();
    bool RedoStep();

    /// Shows `image` in place of layer `index` until ClearPreview.
    void SetPreview(int index, const KXImageRGBA32i& image, const QRect& area = QRect());
    void ClearPreview();
    bool HasPreview() const { return m_previewIndex >= 0; }

    /// The selection: an image of the canvas size whose alpha weights how
    /// much of an edit applies, its bounds and its outline.
    bool HasSelection() const { return m_selectionBounds.isValid(); }
    const KXImageRGBA32i& Selection() const { return m_selection; }
    QRect SelectionBounds() const { return m_selectionBounds; }
    const QPainterPath& SelectionOutline() const { return m_selectionOutline; }
    void SetSelection(const KXImageRGBA32i& selection, const QRect& bounds, const QPainterPath& outline);
    void ClearSelection();

    /// `target` with `changed` merged in over `area` as the selection's
    /// alpha weights it (all four bytes moved toward the changed pixel), as
    /// the library's filters merge their results.
    static void MergeThroughSelection(const KXImageRGBA32i& changed, KXImageRGBA32i& target,
                                      const KXImageRGBA32i& selection, const QRect& area);

    /// The layers composited over `area` (canvas coordinates) into an image
    /// of the canvas size; pixels outside `area` are transparent or shared
    /// with the bottom layer. Layer previews count.
    KXImageRGBA32i Composite(const QRect& area) const;

signals:
    /// Pixels changed in `area` (null: everywhere).
    void Changed(const QRect& area);
    /// Layers were added, removed, reordered, or their settings changed.
    void LayersChanged();
    void ModifiedChanged(bool modified);
    void SelectionChanged();

private:
    const KXImageRGBA32i& ShownImage(int index) const;
    void Record(const QString& text);
    void Touched(const QRect& area);

    LayerList m_layers;
    int m_active = 0;
    QSize m_size;
    VQCMSProfile m_profile;
    QList<VQEXIFElement> m_exif;
    KXImageMetadata m_metadata;
    QString m_path;
    bool m_modified = false;
    UndoStack m_undo;
    KXImageRGBA32i m_selection;
    QRect m_selectionBounds;
    QPainterPath m_selectionOutline;
    int m_previewIndex = -1;
    KXImageRGBA32i m_preview;
};

} // namespace kxedit

#endif
