#ifndef KXIMG_SAMPLEPICTURE_H
#define KXIMG_SAMPLEPICTURE_H

// The demo's built-in test picture, drawn in code: the same pixels on every
// run (apart from the font's rendering of the text).

#include <QImage>

namespace kximg {

// A 1024 x 768 QImage::Format_ARGB32 picture with
//  - a colour field: hue across, lightness down (full saturation);
//  - a hue wheel with saturation growing outwards, on transparency;
//  - smooth and stepped grey ramps and red, green and blue ramps;
//  - fine detail: 1- and 2-pixel checkerboards, a zone plate, a fan of thin
//    lines, text in three sizes;
//  - partly transparent shapes: an alpha ramp and overlapping translucent
//    discs on a transparent ground.
QImage SamplePicture();

} // namespace kximg

#endif // KXIMG_SAMPLEPICTURE_H
