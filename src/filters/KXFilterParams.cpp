#include "KXFilterParams.h"

#include "core/KXLogMacros.h"

#include <QByteArray>

#include <cstring>

namespace {

// The module's name in the log.
constexpr const char* kLogFile = "src/KXFilterProcessing";

// One field in the stream's own representation.
void ReadField(QDataStream& stream, int& value)
{
    qint32 v = 0;
    stream >> v;
    value = v;
}
void ReadField(QDataStream& stream, double& value)
{
    stream >> value;
}
void ReadField(QDataStream& stream, bool& value)
{
    qint32 v = 0;
    stream >> v;
    value = v != 0;
}
// Qt stores the colour's model byte as it comes, so a byte
// that names no colour model would leave an out-of-range enum in the colour:
// such a colour is corrupt data, and the colour is left alone. Streams older
// than Qt 4 hold a packed RGB value without a model byte.
void ReadField(QDataStream& stream, QColor& value)
{
    if (stream.version() < QDataStream::Qt_4_0) {
        stream >> value;
        return;
    }
    constexpr int kColourBytes = 11; // the model, then alpha, red, green, blue and padding as 16-bit words
    char bytes[kColourBytes];
    if (stream.readRawData(bytes, kColourBytes) != kColourBytes) {
        stream.setStatus(QDataStream::ReadPastEnd);
        return;
    }
    const qint8 model = static_cast<qint8>(bytes[0]);
    if (model < QColor::Invalid || model > QColor::ExtendedRgb) {
        stream.setStatus(QDataStream::ReadCorruptData);
        return;
    }
    QDataStream field(QByteArray::fromRawData(bytes, kColourBytes));
    field.setVersion(stream.version());
    field.setByteOrder(stream.byteOrder());
    field >> value;
}
void WriteField(QDataStream& stream, int value)
{
    stream << qint32(value);
}
void WriteField(QDataStream& stream, double value)
{
    stream << value;
}
void WriteField(QDataStream& stream, bool value)
{
    stream << qint32(value ? 1 : 0);
}
void WriteField(QDataStream& stream, const QColor& value)
{
    stream << value;
}

// True when the next bytes are exactly `header`; on false the bytes read are
// gone from the stream but nothing else has changed.
bool ReadHeader(QDataStream& stream, const char* header)
{
    const int length = static_cast<int>(std::strlen(header));
    QByteArray bytes(length, '\0');
    return stream.readRawData(bytes.data(), length) == length && std::memcmp(bytes.constData(), header, length) == 0;
}

bool WriteHeader(QDataStream& stream, const char* header)
{
    const int length = static_cast<int>(std::strlen(header));
    return stream.writeRawData(header, length) >= length;
}

// Header, then the fields in stream order.
template <class... Fields>
bool ReadRecord(QDataStream& stream, const char* header, Fields&... fields)
{
    if (!ReadHeader(stream, header))
        return false;
    (ReadField(stream, fields), ...);
    return stream.status() == QDataStream::Ok;
}

template <class... Fields>
bool WriteRecord(QDataStream& stream, const char* header, const Fields&... fields)
{
    if (!WriteHeader(stream, header))
        return false;
    (WriteField(stream, fields), ...);
    return stream.status() == QDataStream::Ok;
}

// The stream operators: a failure is logged, and a failed read leaves the
// defaults.
template <class Params>
QDataStream& ReadLogged(QDataStream& stream, Params& params, const char* message)
{
    if (!params.Read(stream)) {
        KX_LOG_REPORT(kLogFile, QLatin1String(message));
        params = Params();
    }
    return stream;
}

template <class Params>
QDataStream& WriteLogged(QDataStream& stream, const Params& params, const char* message)
{
    if (!params.Write(stream))
        KX_LOG_REPORT(kLogFile, QLatin1String(message));
    return stream;
}

constexpr const char* kVignetteWithoutColour = "VQVignette 1.00000";
constexpr const char* kVignette = "VQVignette 1.00001";
static_assert(sizeof("VQVignette 1.00000") == sizeof("VQVignette 1.00001"), "one header length");

} // namespace

// Each record: its header and its fields in stream order.
#define KX_PARAMS_STREAM(Type, header, readError, writeError, ...)             \
    bool Type::Read(QDataStream& stream)                                       \
    {                                                                          \
        return ReadRecord(stream, header, __VA_ARGS__);                        \
    }                                                                          \
    bool Type::Write(QDataStream& stream) const                                \
    {                                                                          \
        return WriteRecord(stream, header, __VA_ARGS__);                       \
    }                                                                          \
    QDataStream& operator>>(QDataStream& stream, Type& params)                 \
    {                                                                          \
        return ReadLogged(stream, params, readError);                          \
    }                                                                          \
    QDataStream& operator<<(QDataStream& stream, const Type& params)           \
    {                                                                          \
        return WriteLogged(stream, params, writeError);                        \
    }

KX_PARAMS_STREAM(KXBoxBlurParams, "VQBoxBlur 1.00000", "Read box blur data error.", "Write box blur data error.",
                 radius)
KX_PARAMS_STREAM(KXGaussianBlurParams, "VQGaussianBlur 1.00000", "Read gaussian blur data error.",
                 "Write gaussian blur data error.", sigma)
KX_PARAMS_STREAM(KXSharpenParams, "VQSharpen 1.00000", "Read sharpen data error.", "Write sharpen data error.",
                 strength)
KX_PARAMS_STREAM(KXSmoothenParams, "VQSmoothen 1.00000", "Read smoothen data error.", "Write smoothen data error.",
                 strength)
KX_PARAMS_STREAM(KXHighPassParams, "VQHighPass 1.00000", "Read high pass data error.", "Write high pass data error.",
                 sigma, modeIndex, amount)
KX_PARAMS_STREAM(KXAddNoiseParams, "VQAddNoise 1.00000", "Read add noise data error.", "Write add noise data error.",
                 amount, distribution, flag)
KX_PARAMS_STREAM(KXDiffuseGlowParams, "VQDiffuseGlow 1.00000", "Read diffuse glow data error.",
                 "Write diffuse glow data error.", opacity, sigma, threshold, colour, placement)
KX_PARAMS_STREAM(KXDropShadowParams, "VQDropShadow 1.00000", "Read drop shadow data error.",
                 "Write drop shadow data error.", extra1, colour, extra2, extra3, extra4, size, extra5)
KX_PARAMS_STREAM(KXInnerShadowParams, "VQInnerShadow 1.00000", "Read inner shadow data error.",
                 "Write inner shadow data error.", extra1, colour, extra2, extra3, extra4, size, extra5)
KX_PARAMS_STREAM(KXRefineSelectionParams, "VQRefineSelection 1.00000", "Read refine selection data error.",
                 "Write refine selection data error.", radius, shift)

#undef KX_PARAMS_STREAM

// The vignette has two versions of one length: 1.00000 without the colour
// (read as black) and 1.00001 with it; writing gives 1.00001.
bool KXVignetteParams::Read(QDataStream& stream)
{
    const int length = static_cast<int>(std::strlen(kVignette));
    QByteArray bytes(length, '\0');
    if (stream.readRawData(bytes.data(), length) != length)
        return false;
    const bool withColour = bytes == kVignette;
    if (!withColour && bytes != kVignetteWithoutColour)
        return false;
    ReadField(stream, reach);
    ReadField(stream, amount);
    ReadField(stream, curve);
    if (withColour)
        ReadField(stream, colour);
    else
        colour = QColor(Qt::black);
    return stream.status() == QDataStream::Ok;
}

bool KXVignetteParams::Write(QDataStream& stream) const
{
    return WriteRecord(stream, kVignette, reach, amount, curve, colour);
}

QDataStream& operator>>(QDataStream& stream, KXVignetteParams& params)
{
    return ReadLogged(stream, params, "Read vignette data error.");
}

QDataStream& operator<<(QDataStream& stream, const KXVignetteParams& params)
{
    return WriteLogged(stream, params, "Write vignette data error.");
}

bool KXDiffuseGlowParams::operator==(const KXDiffuseGlowParams& other) const
{
    return opacity == other.opacity && sigma == other.sigma && threshold == other.threshold &&
           colour == other.colour && placement == other.placement;
}

bool KXDiffuseGlowParams::operator!=(const KXDiffuseGlowParams& other) const
{
    return !(*this == other);
}
