#ifndef KXIMG_DEMOREGISTRY_H
#define KXIMG_DEMOREGISTRY_H

// The operations `kximg demo` shows. Each is an entry {name, caption,
// function}: the function gets the sample picture (as a QImage and as the
// library's working image) and returns the picture to show. A feature adds
// its operations in one function, Add...Demos(DemoRegistry&), listed in
// BuildDemoRegistry() (Demo.cpp); the demo writes <name>.png for each entry
// and shows it on the contact sheet and index.html in registry order.

#include "KXImage.h"

#include <QImage>
#include <QString>

#include <functional>
#include <vector>

namespace kximg {

struct DemoInput {
    QImage sample;          // QImage::Format_ARGB32
    KXImageRGBA32i working; // the sample converted into the working image
    QString origin;         // for the user's own picture: its file and size; empty for the built-in one
};

struct DemoResult {
    QImage image;
    QString note; // optional, found while running: "identical to the sample"
};

using DemoFunction = std::function<DemoResult(const DemoInput&)>;

struct DemoOperation {
    QString group;   // section heading on index.html
    QString name;    // file stem and label: lower case, digits and '-'
    QString caption; // one sentence
    DemoFunction run;
};

class DemoRegistry {
public:
    // Operations added from now on belong to `group`.
    void Group(const QString& group) { m_group = group; }
    // Throws std::logic_error for a name that is not a plain file stem or is
    // already taken.
    void Add(const QString& name, const QString& caption, DemoFunction run);
    const std::vector<DemoOperation>& Operations() const { return m_operations; }

private:
    QString m_group;
    std::vector<DemoOperation> m_operations;
};

// Every operation of every feature, in the order shown.
DemoRegistry BuildDemoRegistry();

// The feature functions BuildDemoRegistry() calls.
void AddSampleDemos(DemoRegistry& registry);
void AddConversionDemos(DemoRegistry& registry);
void AddCompositingDemos(DemoRegistry& registry);
void AddColourDemos(DemoRegistry& registry);
void AddFilterDemos(DemoRegistry& registry);
void AddEffectDemos(DemoRegistry& registry);
void AddShadowDemos(DemoRegistry& registry);
void AddGeometryDemos(DemoRegistry& registry);
void AddTextDemos(DemoRegistry& registry);
void AddFillDemos(DemoRegistry& registry);
void AddInpaintDemos(DemoRegistry& registry);

// Helpers for operations.

// How `result` differs from `reference` (both read as ARGB32), short enough
// for the contact sheet: "identical to the sample", "12.5 % of pixels differ
// by up to 3" (in a channel), "... differ from roundtrip-cmyk by up to 3".
QString DifferenceNote(const QImage& result, const QImage& reference,
                       const QString& referenceName = QStringLiteral("the sample"));

// One value of every pixel as a greyscale picture: `value(pixel)` gives 0..255.
// Reads the image a row at a time (GetLine), never detaching a tile.
template <class Image, class Value>
QImage ChannelAsGrey(const Image& image, Value value)
{
    using Pixel = typename Image::Pixel;
    const unsigned int width = image.Width();
    QImage grey(static_cast<int>(width), static_cast<int>(image.Height()), QImage::Format_Grayscale8);
    std::vector<Pixel> row(width);
    for (unsigned int y = 0; y < image.Height(); ++y) {
        image.GetLine(y, row.data(), static_cast<unsigned int>(width * sizeof(Pixel)));
        uchar* out = grey.scanLine(static_cast<int>(y));
        for (unsigned int x = 0; x < width; ++x)
            out[x] = static_cast<uchar>(value(row[x]));
    }
    return grey;
}

} // namespace kximg

#endif // KXIMG_DEMOREGISTRY_H
