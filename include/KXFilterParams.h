#ifndef KXFILTERPARAMS_H
#define KXFILTERPARAMS_H

/// \file
/// The user-settable parameters of every filter, and their stream format.
/// Each filter class names its record `Params` (for example
/// KXBoxBlurProcessing::Params is KXBoxBlurParams).
///
/// Stream format: a header text as raw Latin-1 bytes (no length, no
/// terminator), such as "VQBoxBlur 1.00000", then the fields in stream order
/// with QDataStream's own operators: int as a 32-bit integer, double as the
/// stream's double, QColor with Qt's QColor operator, bool as an int 0 or 1.
///
/// Write returns false when the header could not be written whole or the
/// stream's status is not Ok afterwards. Read returns false, leaving the
/// record unchanged, when the header bytes do not arrive or differ, and
/// false when the stream's status is not Ok after the fields. operator<<
/// logs a failed Write; operator>> logs a failed Read and resets the record
/// to its defaults. Neither throws.

#include "kxcore_export.h"

#include <QColor>
#include <QDataStream>

/// The box blur filter's parameters. Header "VQBoxBlur 1.00000".
struct KXCORE_EXPORT KXBoxBlurParams {
    int radius = 5; ///< The box radius in pixels.

    bool Read(QDataStream& stream);        ///< Reads the record; see the file's notes.
    bool Write(QDataStream& stream) const; ///< Writes the record; see the file's notes.
};

/// The Gaussian blur filter's parameters. Header "VQGaussianBlur 1.00000".
struct KXCORE_EXPORT KXGaussianBlurParams {
    double sigma = 5.0; ///< The Gaussian's standard deviation in pixels.

    bool Read(QDataStream& stream);        ///< Reads the record; see the file's notes.
    bool Write(QDataStream& stream) const; ///< Writes the record; see the file's notes.
};

/// The sharpen filter's parameters. Header "VQSharpen 1.00000".
struct KXCORE_EXPORT KXSharpenParams {
    int strength = 10; ///< The sharpen kernel's strength.

    bool Read(QDataStream& stream);        ///< Reads the record; see the file's notes.
    bool Write(QDataStream& stream) const; ///< Writes the record; see the file's notes.
};

/// The smoothen filter's parameters. Header "VQSmoothen 1.00000".
struct KXCORE_EXPORT KXSmoothenParams {
    int strength = 10; ///< The smoothing kernel's strength.

    bool Read(QDataStream& stream);        ///< Reads the record; see the file's notes.
    bool Write(QDataStream& stream) const; ///< Writes the record; see the file's notes.
};

/// The high pass filter's parameters. Header "VQHighPass 1.00000".
struct KXCORE_EXPORT KXHighPassParams {
    double sigma = 10.0; ///< The Gaussian's standard deviation.
    int modeIndex = 1;   ///< The blend mode's index (KXHighPassProcessing::IndexToMode).
    int amount = 100;    ///< The opacity in percent.

    bool Read(QDataStream& stream);        ///< Reads the record; see the file's notes.
    bool Write(QDataStream& stream) const; ///< Writes the record; see the file's notes.
};

/// The add noise filter's parameters. Header "VQAddNoise 1.00000".
struct KXCORE_EXPORT KXAddNoiseParams {
    int amount = 50;      ///< The opacity in percent.
    int distribution = 0; ///< 0 uniform, anything else Gaussian.
    bool flag = true;     ///< Selects the over-operator variant (streamed as an int).

    bool Read(QDataStream& stream);        ///< Reads the record; see the file's notes.
    bool Write(QDataStream& stream) const; ///< Writes the record; see the file's notes.
};

/// The diffuse glow filter's parameters. Header "VQDiffuseGlow 1.00000".
struct KXCORE_EXPORT KXDiffuseGlowParams {
    int opacity = 100;               ///< The opacity in percent.
    int sigma = 5;                   ///< The Gaussian's standard deviation.
    int threshold = 128;             ///< The brightness threshold.
    QColor colour = QColor(Qt::white); ///< The glow colour.
    int placement = 0;               ///< 0 over the layer, anything else behind it.

    bool Read(QDataStream& stream);        ///< Reads the record; see the file's notes.
    bool Write(QDataStream& stream) const; ///< Writes the record; see the file's notes.
    bool operator==(const KXDiffuseGlowParams& other) const; ///< All five fields equal.
    bool operator!=(const KXDiffuseGlowParams& other) const; ///< Some field differs.
};

/// The vignette filter's parameters. Written with the header
/// "VQVignette 1.00001" (reach, amount, curve, colour); Read also takes
/// "VQVignette 1.00000", which has no colour, and sets the colour to black.
struct KXCORE_EXPORT KXVignetteParams {
    int reach = 1;                     ///< The falloff distance in pixels.
    int amount = 100;                  ///< The strength in percent.
    QColor colour = QColor(Qt::black); ///< The vignette colour (streamed last).
    int curve = 1;                     ///< 0 linear, anything else parabolic.

    bool Read(QDataStream& stream);        ///< Reads the record; see the file's notes.
    bool Write(QDataStream& stream) const; ///< Writes the record; see the file's notes.
};

/// The fields of the drop and inner shadow parameters. The library reads
/// only the colour and the size; extra1 … extra5 are carried for the
/// application, which places and composites the shadow.
struct KXCORE_EXPORT KXShadowParamsFields {
    int extra1 = 135;                         ///< Carried for the application.
    QColor colour = QColor(0, 0, 0, 255);     ///< The shadow colour.
    int extra2 = 75;                          ///< Carried for the application.
    int extra3 = 25;                          ///< Carried for the application.
    int extra4 = 0;                           ///< Carried for the application.
    int size = 20;                            ///< The blur radius in pixels.
    int extra5 = 0;                           ///< Carried for the application.
};

/// The drop shadow filter's parameters. Header "VQDropShadow 1.00000".
struct KXCORE_EXPORT KXDropShadowParams : KXShadowParamsFields {
    bool Read(QDataStream& stream);        ///< Reads the record; see the file's notes.
    bool Write(QDataStream& stream) const; ///< Writes the record; see the file's notes.
};

/// The inner shadow filter's parameters. Header "VQInnerShadow 1.00000".
struct KXCORE_EXPORT KXInnerShadowParams : KXShadowParamsFields {
    bool Read(QDataStream& stream);        ///< Reads the record; see the file's notes.
    bool Write(QDataStream& stream) const; ///< Writes the record; see the file's notes.
};

/// The refine selection filter's parameters. Header
/// "VQRefineSelection 1.00000".
struct KXCORE_EXPORT KXRefineSelectionParams {
    double radius = 0.0; ///< The feather's box radius (truncated to an int).
    int shift = 0;       ///< Edge movement in pixels: positive grows, negative shrinks.

    bool Read(QDataStream& stream);        ///< Reads the record; see the file's notes.
    bool Write(QDataStream& stream) const; ///< Writes the record; see the file's notes.
};

// The stream operators: operator>> reads a record (logging a failure and
// resetting the record to its defaults); operator<< writes one (logging a
// failure).
KXCORE_EXPORT QDataStream& operator>>(QDataStream& stream, KXBoxBlurParams& params); ///< Reads with Read; a failure is logged and leaves the defaults.
KXCORE_EXPORT QDataStream& operator<<(QDataStream& stream, const KXBoxBlurParams& params); ///< Writes with Write; a failure is logged.
KXCORE_EXPORT QDataStream& operator>>(QDataStream& stream, KXGaussianBlurParams& params); ///< Reads with Read; a failure is logged and leaves the defaults.
KXCORE_EXPORT QDataStream& operator<<(QDataStream& stream, const KXGaussianBlurParams& params); ///< Writes with Write; a failure is logged.
KXCORE_EXPORT QDataStream& operator>>(QDataStream& stream, KXSharpenParams& params); ///< Reads with Read; a failure is logged and leaves the defaults.
KXCORE_EXPORT QDataStream& operator<<(QDataStream& stream, const KXSharpenParams& params); ///< Writes with Write; a failure is logged.
KXCORE_EXPORT QDataStream& operator>>(QDataStream& stream, KXSmoothenParams& params); ///< Reads with Read; a failure is logged and leaves the defaults.
KXCORE_EXPORT QDataStream& operator<<(QDataStream& stream, const KXSmoothenParams& params); ///< Writes with Write; a failure is logged.
KXCORE_EXPORT QDataStream& operator>>(QDataStream& stream, KXHighPassParams& params); ///< Reads with Read; a failure is logged and leaves the defaults.
KXCORE_EXPORT QDataStream& operator<<(QDataStream& stream, const KXHighPassParams& params); ///< Writes with Write; a failure is logged.
KXCORE_EXPORT QDataStream& operator>>(QDataStream& stream, KXAddNoiseParams& params); ///< Reads with Read; a failure is logged and leaves the defaults.
KXCORE_EXPORT QDataStream& operator<<(QDataStream& stream, const KXAddNoiseParams& params); ///< Writes with Write; a failure is logged.
KXCORE_EXPORT QDataStream& operator>>(QDataStream& stream, KXDiffuseGlowParams& params); ///< Reads with Read; a failure is logged and leaves the defaults.
KXCORE_EXPORT QDataStream& operator<<(QDataStream& stream, const KXDiffuseGlowParams& params); ///< Writes with Write; a failure is logged.
KXCORE_EXPORT QDataStream& operator>>(QDataStream& stream, KXVignetteParams& params); ///< Reads with Read; a failure is logged and leaves the defaults.
KXCORE_EXPORT QDataStream& operator<<(QDataStream& stream, const KXVignetteParams& params); ///< Writes with Write; a failure is logged.
KXCORE_EXPORT QDataStream& operator>>(QDataStream& stream, KXDropShadowParams& params); ///< Reads with Read; a failure is logged and leaves the defaults.
KXCORE_EXPORT QDataStream& operator<<(QDataStream& stream, const KXDropShadowParams& params); ///< Writes with Write; a failure is logged.
KXCORE_EXPORT QDataStream& operator>>(QDataStream& stream, KXInnerShadowParams& params); ///< Reads with Read; a failure is logged and leaves the defaults.
KXCORE_EXPORT QDataStream& operator<<(QDataStream& stream, const KXInnerShadowParams& params); ///< Writes with Write; a failure is logged.
KXCORE_EXPORT QDataStream& operator>>(QDataStream& stream, KXRefineSelectionParams& params); ///< Reads with Read; a failure is logged and leaves the defaults.
KXCORE_EXPORT QDataStream& operator<<(QDataStream& stream, const KXRefineSelectionParams& params); ///< Writes with Write; a failure is logged.

#endif // KXFILTERPARAMS_H
