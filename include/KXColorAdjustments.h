#ifndef KXCOLORADJUSTMENTS_H
#define KXCOLORADJUSTMENTS_H

/// \file
/// Colour adjustments of KXRGBA32i pixels: hue and saturation, colour
/// balance, colorize, photo filter, tint, colour enhancer, colour
/// replacement, black and white, desaturation, colour temperature, burn and
/// dodge tone curves and fill. Like the tonal adjustments each is a value
/// class whose constructor (or SetData) precomputes what it can and whose
/// operator() adjusts one pixel; alpha is kept unless the name says
/// otherwise. Where an HSL model is used it is QColor's (getHsl / setHsl:
/// hue 0 … 359 or −1 for grey, saturation and lightness 0 … 255).
///
/// Settings and their ranges: hue 0 … 359 (without colorize), saturation and
/// lightness −100 … 100, amounts, densities and strengths 0 … 100, tint
/// −100 … 100, burn and dodge exposure 0 … 1. A saturation, lightness,
/// amount, density, strength or tint outside its range counts as the nearest
/// end; a hue outside −1 … 359 is taken modulo 360. Burn and dodge exposures
/// outside their range are the caller's to avoid.

#include "KXPixel.h"
#include "KXTonalAdjustments.h"
#include "kxcore_export.h"

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cstdint>

/// R, G, B := (max + min) / 2.
class KXDesaturateTransformation {
public:
    /// Desaturates one pixel.
    void operator()(KXRGBA32i& pixel) const
    {
        const uint8_t l = static_cast<uint8_t>(
            (std::max({pixel.r, pixel.g, pixel.b}) + std::min({pixel.r, pixel.g, pixel.b})) / 2);
        pixel.r = pixel.g = pixel.b = l;
    }
};

/// Hue shift (or, with colorize, a fixed hue) and saturation and lightness
/// offsets (−100 … 100, stored × 255 / 100) through QColor's HSL.
class KXCORE_EXPORT KXHueSaturationTransformation {
public:
    /// Hue 0 … 359 (with `colorize`, the hue that every pixel gets),
    /// saturation and lightness −100 … 100.
    KXHueSaturationTransformation(int hue = 0, int saturation = 0, int lightness = 0, bool colorize = false);
    void operator()(KXRGBA32i& pixel) const; ///< Adjusts one pixel.
    /// out[i] = in[i] adjusted, i < count (out may be in): the same bits
    /// many pixels at a time.
    void ApplyRun(KXRGBA32i* out, const KXRGBA32i* in, unsigned int count) const;

private:
    int m_hue;
    int m_saturation;
    int m_lightness;
    bool m_colorize;
};

/// Shifts of each channel in the shadows, midtones and highlights: `red`,
/// `green` and `blue` each point at three values (shadows, midtones,
/// highlights). Values 0 and 255 never move.
class KXCORE_EXPORT KXColorBalanceTransformation : public KXTableAdjustment {
public:
    KXColorBalanceTransformation(const int* red, const int* green, const int* blue); ///< Builds the tables.
};

/// Colours the pixel with the hue and saturation of `color`, keeping its
/// lightness, blended with the original by `amount` (0 … 100).
class KXCORE_EXPORT KXColorizeTransformation {
public:
    KXColorizeTransformation(const KXRGBA32i& color, int amount); ///< Precomputes every lightness.
    /// Each colour channel: clamp(((255 − w) × c + w × d) / 255) with d the
    /// colorized grey of the pixel's (max + min) / 2 and w the weight.
    void operator()(KXRGBA32i& pixel) const;
    /// out[i] = in[i] adjusted, i < count (out may be in).
    void ApplyRun(KXRGBA32i* out, const KXRGBA32i* in, unsigned int count) const;

private:
    KXHueSaturationTransformation m_hueSaturation;
    int m_weight; // amount × 255 / 100
    // m_hueSaturation applied to the grey of every lightness (it depends on
    // nothing else).
    std::array<KXRGBA32i, 256> m_colorizedGrey;
};

/// R, G, B := the colour's; alpha kept.
template <class T>
class KXColorize;
/// R, G, B := the colour's; alpha kept.
template <>
class KXColorize<KXRGBA32i> {
public:
    explicit KXColorize(const KXRGBA32i& color) : m_color(color) {} ///< The colour to give.
    /// Gives one pixel the colour.
    void operator()(KXRGBA32i& pixel) const
    {
        pixel.value = (pixel.value & 0xFF000000u) | (m_color.value & 0x00FFFFFFu);
    }

private:
    KXRGBA32i m_color;
};

/// A coloured filter: each channel moves towards i × colour / 255 by
/// `density` (0 … 100).
/// The tables hold ((255 − w) × i + w × levels[i]) / 255 for every value i.
class KXCORE_EXPORT KXPhotoFilterTransformation : public KXTableAdjustment {
public:
    KXPhotoFilterTransformation(const KXRGBA32i& color, int density); ///< Builds the tables.

private:
    KXRGBTables m_levels; // the filter colour's levels tables
    int m_weight;         // density × 255 / 100
};

/// Maps black towards `shadowColor` and white towards `highlightColor` by
/// `amount` (0 … 100).
class KXCORE_EXPORT KXTintRGB32 : public KXTableAdjustment {
public:
    KXTintRGB32(const KXRGBA32i& shadowColor, const KXRGBA32i& highlightColor, int amount); ///< Builds the tables.
};

/// A levels result mixed in by an amount (0 … 100); identity by default.
/// The tables hold ((100 − amount) × i + amount × levels[i]) / 100 for every
/// value i.
class KXCORE_EXPORT KXColorEnhancerTransformation : public KXTableAdjustment {
public:
    KXColorEnhancerTransformation(); ///< Identity levels, amount 0.
    void SetLevels(const KXLevelsTransformation& levels); ///< The levels to mix in; rebuilds the tables.
    void SetAmountData(int amount); ///< The amount, 0 … 100; rebuilds the tables.

private:
    void Update();

    KXRGBTables m_levels;
    int m_amount;
};

/// A pixel within `tolerance` of `from` in all four channels becomes `to`,
/// alpha included.
class KXCORE_EXPORT KXReplaceColorTransformation {
public:
    /// The colour to find, its replacement and the tolerance per channel.
    KXReplaceColorTransformation(const KXRGBA32i& from, const KXRGBA32i& to, int tolerance)
        : m_from(from), m_to(to), m_tolerance(tolerance)
    {
    }
    /// Replaces one pixel if it is near `from`.
    void operator()(KXRGBA32i& pixel) const
    {
        if (Near(pixel.r, m_from.r) && Near(pixel.g, m_from.g) && Near(pixel.b, m_from.b) &&
            Near(pixel.a, m_from.a))
            pixel = m_to;
    }

private:
    bool Near(int a, int b) const { return (a > b ? a - b : b - a) <= m_tolerance; }

    KXRGBA32i m_from;
    KXRGBA32i m_to;
    int m_tolerance;
};

/// Grey g = clamp(T_R[R] + T_G[G] + T_B[B]) with T_X[i] = i × weight_X, or
/// with the lightness curve L*(i) × 2.55 × weight_X (single precision).
class KXCORE_EXPORT KXBlackAndWhiteTransformation {
public:
    /// Builds the tables.
    KXBlackAndWhiteTransformation(bool lightnessCurve, float redWeight, float greenWeight, float blueWeight);
    void operator()(KXRGBA32i& pixel) const; ///< Turns one pixel grey.
    /// out[i] = in[i] adjusted, i < count (out may be in).
    void ApplyRun(KXRGBA32i* out, const KXRGBA32i* in, unsigned int count) const;

private:
    std::array<int, 256> m_red, m_green, m_blue;
};

/// Colour temperature: the pixel moves towards the colour of a black body of
/// `kelvin` by `strength` (0 … 100), green is tinted by `tint` (−100 … 100),
/// then the pixel's original lightness is restored through QColor's HSL.
class KXCORE_EXPORT KXTemperatureCorrection {
public:
    KXTemperatureCorrection(); ///< weight 50, tint 0, white
    KXTemperatureCorrection(int kelvin, int strength, int tint); ///< The given settings.
    void SetData(int kelvin, int strength, int tint); ///< New settings.
    void operator()(KXRGBA32i& pixel) const; ///< Adjusts one pixel.
    /// out[i] = in[i] adjusted, i < count (out may be in): the same bits
    /// many pixels at a time.
    void ApplyRun(KXRGBA32i* out, const KXRGBA32i* in, unsigned int count) const;

    /// The colour of `kelvin` (1000 … 40000; 6500 is exactly white), alpha 255.
    static KXRGBA32i GetTemperatureColor(int kelvin);

private:
    void InitializeRGBfromKelvin(int kelvin, int tint);
    void Update();

    int m_weight; // strength × 2550 / 2
    int m_tint;
    int m_red, m_green, m_blue; // the temperature colour
    // Steps before the lightness is restored, per channel: the blend
    // (and the tint for green).
    KXRGBTables m_blended;
};

// Burn (darkening) and dodge (brightening) tone curves for the shadows,
// midtones or highlights, one table used for R, G and B: one class under
// two names.

/// Which way a tone curve goes.
enum class VQToneDirection : int {
    Burn = 0, ///< Darkening.
    Dodge = 1 ///< Brightening.
};

/// The table of a direction, an exposure (0 … 1) and a range (0 shadows,
/// 1 midtones, anything else highlights).
KXCORE_EXPORT KXRGBTables VQToneCurve(VQToneDirection direction, double exposure, int range);

/// Burn (darkening) and dodge (brightening) tone curves for the shadows,
/// midtones or highlights, one table used for R, G and B: one class under
/// two names (VQBurnCorrection, VQDodgeCorrection).
template <VQToneDirection Direction>
class VQToneCorrection : public KXTableAdjustment {
public:
    /// The tones a curve works on.
    enum RangeType : int {
        Shadows = 0,   ///< The dark tones.
        Midtones = 1,  ///< The middle tones.
        Highlights = 2 ///< The light tones.
    };

    VQToneCorrection() { SetData(0.0, Highlights); } ///< Exposure 0 on the highlights.
    VQToneCorrection(double exposure, RangeType range) { SetData(exposure, range); } ///< The given settings.
    /// New settings: exposure 0 … 1 and the tones it works on.
    void SetData(double exposure, RangeType range) { m_tables = VQToneCurve(Direction, exposure, range); }
};

using VQBurnCorrection = VQToneCorrection<VQToneDirection::Burn>;   ///< The darkening curve.
using VQDodgeCorrection = VQToneCorrection<VQToneDirection::Dodge>; ///< The brightening curve.

/// The whole pixel, alpha included, becomes the stored colour.
class VQFillTransformation {
public:
    VQFillTransformation() = default; ///< Fills with transparent black.
    void SetData(const KXRGBA32i& color) { m_color = color; } ///< The colour to fill with.
    void operator()(KXRGBA32i& pixel) const { pixel = m_color; } ///< Fills one pixel.

private:
    KXRGBA32i m_color = KXRGBA32i(0u);
};

#endif // KXCOLORADJUSTMENTS_H
