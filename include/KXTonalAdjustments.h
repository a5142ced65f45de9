#ifndef KXTONALADJUSTMENTS_H
#define KXTONALADJUSTMENTS_H

/// \file
/// Tonal adjustments of the red, green and blue channels of KXRGBA32i pixels;
/// alpha is never touched. Each is a small value class: the constructor takes
/// the user's settings and builds 256-entry lookup tables, operator() adjusts
/// one pixel. Run one over an image with TransformPixels
/// (KXTransformImageColors.h) or in parallel through its iterative form
/// (KXIterativeAdjustments.h).

#include "KXPixel.h"
#include "kxcore_export.h"

#include <QPoint>
#include <QPointF>
#include <QVector>

#include <array>
#include <cstdint>
#include <vector>

using KXByteTable = std::array<uint8_t, 256>; ///< One byte for each channel value.

/// Three lookup tables, R := red[R], G := green[G], B := blue[B]; alpha is
/// kept. Held twice: as bytes, and shifted into place as 32-bit words for
/// the per-pixel operator.
class KXCORE_EXPORT KXRGBTables {
public:
    KXRGBTables(); ///< identity
    explicit KXRGBTables(const KXByteTable& all); ///< The same table for all three channels.
    KXRGBTables(const KXByteTable& red, const KXByteTable& green, const KXByteTable& blue); ///< One table a channel.

    static KXByteTable IdentityTable(); ///< T[i] = i.
    /// The table of a channel: 0 red, 1 green, 2 blue.
    const KXByteTable& operator[](int channel) const { return m_bytes[2 - channel]; }

    /// Looks up the three colour channels of `pixel`; alpha is kept.
    void operator()(KXRGBA32i& pixel) const
    {
        const uint32_t v = pixel.value;
        pixel.value = (v & 0xFF000000u) | m_words[2][(v >> 16) & 0xFF] | m_words[1][(v >> 8) & 0xFF] |
                      m_words[0][v & 0xFF];
    }
    /// out[i] = the tables applied to in[i], i < count (out may be in): the
    /// same bytes as the operator, several pixels at a time where the
    /// processor has byte permutes.
    void ApplyRun(KXRGBA32i* out, const KXRGBA32i* in, unsigned int count) const;
    /// The same, one pixel at a time.
    void ApplyRunPlain(KXRGBA32i* out, const KXRGBA32i* in, unsigned int count) const;

private:
    void Shift();

    KXByteTable m_bytes[3];                 // blue, green, red: the pixel's byte order
    std::array<uint32_t, 256> m_words[3];   // the same values moved to their byte
};

/// The adjustments that act on each colour channel alone through a table.
/// Walkers (TransformPixels) use ApplyRun for whole runs of pixels.
class KXTableAdjustment {
public:
    const KXRGBTables& GetTables() const { return m_tables; } ///< The three tables.
    void operator()(KXRGBA32i& pixel) const { m_tables(pixel); } ///< Adjusts one pixel.
    /// out[i] = in[i] adjusted, i < count (out may be in).
    void ApplyRun(KXRGBA32i* out, const KXRGBA32i* in, unsigned int count) const
    {
        m_tables.ApplyRun(out, in, count);
    }

protected:
    KXTableAdjustment() = default; ///< Identity tables.
    explicit KXTableAdjustment(const KXRGBTables& tables) : m_tables(tables) {} ///< The given tables.

    KXRGBTables m_tables; ///< The tables the derived class builds.
};

/// Brightness and contrast, each −127 … 127 (stored as value × 100 / 127; a
/// value outside counts as the nearest end).
/// Per channel in double precision, f = (c' + 255) × 259 / ((259 − c') × 255)
/// with c' = contrast × 255 / 100: v := clamp(trunc((v + b − 128) × f + 128 + b)).
/// The brightness enters twice, so with contrast 0 a channel moves by 2b.
/// The formula is evaluated once for every channel value.
class KXCORE_EXPORT KXBrightnessContrastTransformation : public KXTableAdjustment {
public:
    KXBrightnessContrastTransformation(int brightness, int contrast); ///< Both −127 … 127.

    int GetBrightness() const { return m_brightness; } ///< The stored brightness (× 100 / 127).
    int GetContrast() const { return m_contrast; }     ///< The stored contrast (× 100 / 127).

private:
    int m_brightness;
    int m_contrast;
};

/// Levels. Four channel settings, in the order master, red, green, blue:
/// input {low, high}, output {low, high} (each clamped to 0 … 255) and gamma
/// (clamped to 0.01 … 9.99, 1 when not a number; applied before the input
/// range). `amount` 0 … 100 (clamped) mixes the result with the identity.
/// Null pointers stand for the neutral settings.
class KXCORE_EXPORT KXLevelsTransformation : public KXTableAdjustment {
public:
    KXLevelsTransformation(); ///< identity tables
    /// `inputRange` and `outputRange` point at four {low, high} pairs and
    /// `gamma` at four values, master first; each may be null.
    KXLevelsTransformation(int (*inputRange)[2], int (*outputRange)[2], double* gamma, int amount);
};

/// Curves: four control-point lists (master, red, green, blue; x ascending,
/// x and y 0 … 255, a coordinate outside counting as the nearest end; amount
/// 0 … 100, clamped) through natural cubic splines; the colour curve is
/// applied first, then the master curve. A list of exactly two points gets
/// their midpoint added; a list with fewer than two (after dropping points
/// whose x does not increase) leaves its channel unchanged.
class KXCORE_EXPORT KXCurvesTransformation : public KXTableAdjustment {
public:
    /// `curves` points at the four lists, master first; null leaves every
    /// channel unchanged.
    KXCurvesTransformation(QVector<QPoint>* curves, int amount);

    /// Coefficients of the natural cubic spline through `points`, one entry
    /// per segment: y = ((a·d + b)·d + c)·d + y_j with d = x − x_j. Empty for
    /// fewer than two points.
    static void BuildSplineParts(const QVector<QPoint>& points, QVector<double>& a, QVector<double>& b,
                                 QVector<double>& c);
    /// The spline at x, rounded (trunc of value + 0.5); 0 when `a` is empty.
    /// Left of the first point and right of the last the end segments go on.
    static int SplineValue(int x, const QVector<QPoint>& points, const QVector<double>& a,
                           const QVector<double>& b, const QVector<double>& c);

private:
    static QVector<QPointF> ToFloatPoints(const QVector<QPoint>& points);
    // The segment that holds x.
    static int Lookup(int x, const QVector<QPoint>& points);
};

/// Exposure: T[i] = clamp(trunc(i × k + o)) with k = exposure / 20.0001 + 1
/// and o = offset × 255 (0 below −o / k, 255 from (255 − o) / k on).
class KXCORE_EXPORT KXExposureTransformation : public KXTableAdjustment {
public:
    KXExposureTransformation(double exposure, double offset); ///< Builds the table.
};

/// Gamma (clamped to 0.01 … 5): T[i] = trunc((i / 255)^(1 / gamma) × 255).
class KXCORE_EXPORT KXGammaCorrectionTransformation : public KXTableAdjustment {
public:
    explicit KXGammaCorrectionTransformation(double gamma); ///< Builds the table.
};

/// Posterize to `levels` (2 … 255; values outside are taken as the nearest
/// end) evenly spaced output values.
/// The level tables (Level[j] = j × 255 / (levels − 1), Index[i] =
/// trunc(i / (255 / levels))) are combined into one: c := Level[Index[c]].
class KXCORE_EXPORT KXPosterizeTransformation : public KXTableAdjustment {
public:
    explicit KXPosterizeTransformation(int levels); ///< Builds the table.
};

/// R, G, B := 255 − value; alpha kept.
class KXInvertTransformation {
public:
    void operator()(KXRGBA32i& pixel) const { pixel.value ^= 0x00FFFFFFu; } ///< Inverts one pixel.
};

/// The colour inversion of a pixel type; only KXRGBA32i has one.
template <class T>
class KXInvertColor;
/// KXInvertTransformation under its pixel-typed name.
template <>
class KXInvertColor<KXRGBA32i> : public KXInvertTransformation {};

/// A := 255 − A; colours kept.
class KXInvertAlphaTransformation {
public:
    void operator()(KXRGBA32i& pixel) const { pixel.value ^= 0xFF000000u; } ///< Inverts one alpha.
};

/// The alpha inversion of a pixel type; only KXRGBA32i has one.
template <class T>
class KXInvertColorAlpha;
/// KXInvertAlphaTransformation under its pixel-typed name.
template <>
class KXInvertColorAlpha<KXRGBA32i> : public KXInvertAlphaTransformation {};

#endif // KXTONALADJUSTMENTS_H
