#ifndef KXPIXEL_H
#define KXPIXEL_H

/// \file
/// Pixel value types. All are plain unions copied bit for bit and stored
/// contiguously inside image tiles, so their sizes are fixed: 4 bytes for the
/// working format, 8 for the conversion formats, 16 for the colour-transform
/// formats. Every pixel is default-constructed to zero.
///
/// The channels are members of an anonymous struct inside each union
/// (`p.r` beside `p.value`), an extension that g++ and clang share; it is
/// marked `__extension__` so that consumers building with -Wpedantic get no
/// warning, and the layout is the same.

#include "kxcore_export.h"

#include <cstdint>
#include <type_traits>

/// The working pixel: 8-bit BGRA, not premultiplied; `value` reads
/// 0xAARRGGBB (as QRgb).
union KXRGBA32i {
    __extension__ struct {
        uint8_t b, g, r, a;
    };
    uint32_t value; ///< The whole pixel as 0xAARRGGBB.

    /// The pixel whose word is `v` (0xAARRGGBB); 0 is transparent black.
    KXRGBA32i(unsigned int v = 0) : value(v) {}
    /// Copies the word.
    KXRGBA32i(const KXRGBA32i& other) = default;
    /// Copies the word.
    KXRGBA32i& operator=(const KXRGBA32i& other) = default; // copies the word

    /// The word, 0xAARRGGBB.
    operator unsigned int() const { return value; }
    /// The word, 0xAARRGGBB.
    operator unsigned int() { return value; }

    /// True when all four bytes are equal.
    bool operator==(const KXRGBA32i& other) const { return value == other.value; }
    /// True when any byte differs.
    bool operator!=(const KXRGBA32i& other) const { return value != other.value; }
    /// Compares the word with a 0xAARRGGBB value.
    bool operator==(int other) const { return value == static_cast<uint32_t>(other); }
    /// Compares the word with a 0xAARRGGBB value.
    bool operator!=(int other) const { return value != static_cast<uint32_t>(other); }
    /// Compares the word with a 0xAARRGGBB value.
    bool operator==(unsigned int other) const { return value == other; }
    /// Compares the word with a 0xAARRGGBB value.
    bool operator!=(unsigned int other) const { return value != other; }
    /// True for transparent black (word 0).
    bool operator!() const { return value == 0; }
    /// Keeps the bits of the word that are set in `mask`.
    KXRGBA32i& operator&=(int mask) { value &= static_cast<uint32_t>(mask); return *this; }
    /// Sets the bits of `mask` in the word.
    KXRGBA32i& operator|=(int mask) { value |= static_cast<uint32_t>(mask); return *this; }
};

/// 16 bits a channel; from 8 bits a channel is shifted left by 8.
union KXRGBA64i {
    __extension__ struct {
        uint16_t b, g, r, a;
    };
    uint64_t value; ///< All four channels as one word.

    /// Transparent black.
    KXRGBA64i() : value(0) {}
    /// Copies all eight bytes.
    KXRGBA64i(const KXRGBA64i& other) = default;
    /// Copies all eight bytes.
    KXRGBA64i& operator=(const KXRGBA64i& other) = default; // copies all eight bytes
};

/// IEEE 754 binary16 channels, held as their bit patterns (see HalfFromFloat /
/// HalfToFloat). The scale is 0 .. 256.87842 for 0 .. 255.
union KXRGBA64f {
    __extension__ struct {
        uint16_t b, g, r, a;
    };
    uint64_t value; ///< All four channels as one word.

    /// Transparent black.
    KXRGBA64f() : value(0) {}
    /// Copies all eight bytes.
    KXRGBA64f(const KXRGBA64f& other) = default;
    /// Copies all eight bytes.
    KXRGBA64f& operator=(const KXRGBA64f& other) = default; // copies all eight bytes
};

/// Hue in hundredths of a degree (0 .. 36000), saturation, lightness, alpha.
union KXHSLA {
    __extension__ struct {
        uint16_t h;
        uint8_t s, l, a;
        uint8_t unused[3];
    };
    uint64_t value; ///< All eight bytes as one word.

    /// All zero.
    KXHSLA() : value(0) {}
    /// Copies all eight bytes.
    KXHSLA(const KXHSLA& other) = default;
    /// Copies all eight bytes.
    KXHSLA& operator=(const KXHSLA& other) = default; // copies all eight bytes
};

/// Ink amounts 0 .. 255 (255 = full ink) and alpha.
union KXCMYKA {
    __extension__ struct {
        uint8_t c, m, y, k, a;
        uint8_t unused[3];
    };
    uint64_t value; ///< All eight bytes as one word.

    /// No ink, transparent.
    KXCMYKA() : value(0) {}
    /// Copies all eight bytes.
    KXCMYKA(const KXCMYKA& other) = default;
    /// Copies all eight bytes.
    KXCMYKA& operator=(const KXCMYKA& other) = default; // copies all eight bytes
};

// Wide formats that only travel through colour transformations.

/// 32-bit signed integer channels; only travels through colour
/// transformations.
union KXRGBA128i {
    __extension__ struct {
        int32_t b, g, r, a;
    };
    uint64_t words[2]; ///< All sixteen bytes as two words.

    /// All zero.
    KXRGBA128i() : words{0, 0} {}
    /// Copies all sixteen bytes.
    KXRGBA128i(const KXRGBA128i& other) = default;
    /// Copies all sixteen bytes.
    KXRGBA128i& operator=(const KXRGBA128i& other) = default; // copies all sixteen bytes
};

/// Single-precision channels; only travels through colour transformations.
union KXRGBA128f {
    __extension__ struct {
        float b, g, r, a;
    };
    uint64_t words[2]; ///< All sixteen bytes as two words.

    /// All zero.
    KXRGBA128f() : words{0, 0} {}
    /// Copies all sixteen bytes.
    KXRGBA128f(const KXRGBA128f& other) = default;
    /// Copies all sixteen bytes.
    KXRGBA128f& operator=(const KXRGBA128f& other) = default; // copies all sixteen bytes
};

static_assert(sizeof(KXRGBA32i) == 4, "KXRGBA32i must be 4 bytes");
static_assert(std::is_trivially_copyable<KXRGBA32i>::value && std::is_trivially_copyable<KXCMYKA>::value,
              "pixels are copied bit for bit");
static_assert(sizeof(KXRGBA64i) == 8 && sizeof(KXRGBA64f) == 8, "8-byte pixels");
static_assert(sizeof(KXHSLA) == 8 && sizeof(KXCMYKA) == 8, "8-byte pixels");
static_assert(sizeof(KXRGBA128i) == 16 && sizeof(KXRGBA128f) == 16, "16-byte pixels");

/// Returns low if low > value, else high if value > high, else value
/// (a NaN comes back unchanged).
KXCORE_EXPORT float Clamp(float value, float low, float high);

/// Encodes a linear intensity (0 .. 1) as an 8-bit sRGB value.
KXCORE_EXPORT unsigned char MakeGamma(float linear);

/// Decodes an sRGB-encoded value (0 .. 1) to linear intensity; no clamping.
KXCORE_EXPORT float VoltageToIntensitySrgb(float v);

// IEEE 754 binary16 conversions: float to half rounds half a unit up in
// magnitude (add 0x1000, truncate); half to float is exact.

/// The binary16 bit pattern of `value`, rounded half a unit up in magnitude
/// (add 0x1000, truncate).
KXCORE_EXPORT uint16_t HalfFromFloat(float value);
/// The value of a binary16 bit pattern; exact.
KXCORE_EXPORT float HalfToFloat(uint16_t half);

#endif // KXPIXEL_H
