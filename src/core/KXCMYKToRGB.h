#ifndef KXCMYKTORGB_H
#define KXCMYKTORGB_H

// CMYK to RGB for one pixel, shared by the conversions and by whatever
// samples CMYK images into working pixels. Private to the library.

#include "KXPixel.h"

#include <cstdint>

// [k * 256 + ink]: 1 - ((1 - k') * ink' + k') to 8 bits, primes being
// (byte * 256) / 65535; built once.
const uint8_t* KXCMYKToRGBTable();

// Red from c, green from m, blue from y, each with k; alpha copied.
struct KXCMYKToRGB {
    const uint8_t* table = KXCMYKToRGBTable();
    KXRGBA32i operator()(KXCMYKA p) const
    {
        const uint8_t* row = table + p.k * 256;
        KXRGBA32i out;
        out.r = row[p.c];
        out.g = row[p.m];
        out.b = row[p.y];
        out.a = p.a;
        return out;
    }
};

#endif // KXCMYKTORGB_H
