#ifndef KXIMG_GALLERY_H
#define KXIMG_GALLERY_H

// The demo's two overviews of its results: a contact sheet (one PNG with a
// labelled thumbnail of every result) and an HTML page.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

namespace kximg {

struct GalleryEntry {
    QString group;   // section heading on the page
    QString name;    // label
    QString file;    // file name relative to the page
    QString caption;
    QString note;    // optional
    QImage image;
};

// Thumbnails in a grid, each over a checkerboard (so that transparency
// shows) with its name and caption below; `heading` across the top.
QImage ContactSheet(const QList<GalleryEntry>& entries, const QString& heading);

// A self-contained page (no scripts, no external files but the images).
QByteArray IndexHtml(const QList<GalleryEntry>& entries, const QString& heading,
                     const QString& contactSheetFile);

// Pictures in a grid of `columns`, each scaled to fit `cell` over a
// checkerboard, with its label (one line) below: one demo result that
// shows many variants of an operation side by side.
struct GridCell {
    QString label;
    QImage image;
};
QImage LabelledGrid(const QList<GridCell>& cells, int columns, const QSize& cell);

} // namespace kximg

#endif // KXIMG_GALLERY_H
