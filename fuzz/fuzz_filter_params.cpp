// Fuzz target: a filter's parameter record read from arbitrary bytes. When
// the record reads, it is written and read back (the second record must
// write the same bytes), and the filter runs on a layer of up to 96 x 96,
// sometimes with a fuzzed selection whose rectangle and offset may lie
// anywhere in the int range, sometimes cancelled from the start or with one
// of its tile requests failing as an exhausted manager fails it. Every value
// of every parameter runs: the filters bound their own work by the picture.
// The first byte picks the filter; its bit 4 puts the record's own header in
// front of the bytes, so that the fields are reached without the fuzzer
// having to find the header text.

#include "KXFuzzSupport.h"

#include "KXBlurFilters.h"
#include "KXDetailFilters.h"
#include "KXEffectFilters.h"
#include "KXFilterParams.h"
#include "KXFilterPasses.h"
#include "KXRefineSelection.h"
#include "KXShadowFilters.h"

#include <QBuffer>
#include <QDataStream>
#include <QReadWriteLock>

#include <cmath>
#include <limits>
#include <type_traits>

namespace {

// The feather's edge shift is not bounded by the picture (the canvas grows
// by it, as far as the bound size allows): it runs only up to this.
constexpr int kShiftCap = 300;

template <class P>
QByteArray Written(const P& params)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    KXFUZZ_CHECK(params.Write(stream));
    return bytes;
}

// A coordinate: mostly near the layer, sometimes any int.
int Coordinate(KXFuzz::Bytes& in, int lo, int hi)
{
    return in.Flag() ? in.Take<int32_t>() : in.Range(lo, hi);
}

// The layer, a selection over a fuzzed rectangle and offset when asked for.
KXFilterData Input(KXFuzz::Bytes& in)
{
    KXFilterData data;
    const uint32_t seed = in.Take<uint32_t>();
    data.image = KXFuzz::Pattern(in.Range(1, 96), in.Range(1, 96), seed);
    if (in.Flag()) {
        data.selection = KXFuzz::Pattern(in.Range(0, 130), in.Range(0, 130), ~seed);
        // From its corners: QRect(x, y, w, h) would sum them in int.
        const int x = Coordinate(in, -100, 200), y = Coordinate(in, -100, 200);
        const int right = Coordinate(in, KXFuzz::Moved(x, -10), KXFuzz::Moved(x, 200));
        const int bottom = Coordinate(in, KXFuzz::Moved(y, -10), KXFuzz::Moved(y, 200));
        data.selectionRect = QRect(QPoint(x, y), QPoint(right, bottom));
        data.offset = QPoint(Coordinate(in, -100, 100), Coordinate(in, -100, 100));
    }
    if (in.Flag()) {
        data.layerMask = KXFuzz::Pattern(in.Range(0, 130), in.Range(0, 130), seed + 1);
        data.maskPosition = QPoint(Coordinate(in, -100, 100), Coordinate(in, -100, 100));
    }
    data.maskFlag = in.Range(-1, 2);
    return data;
}

// Whether the filter runs cancelled from the start.
bool gCancelled = false;

template <class Processing, class Data, class... Extra>
void Run(const Data& data, Extra&... extra)
{
    QReadWriteLock cancelLock;
    bool cancelled = gCancelled;
    Processing filter(cancelLock, cancelled, extra...);
    (void)filter.run(data);
}

template <class Data>
Data With(const KXFilterData& common)
{
    Data data;
    static_cast<KXFilterData&>(data) = common;
    return data;
}

template <class P>
void RunFilter(const P& params, KXFuzz::Bytes& in)
{
    const KXFilterData common = Input(in);
    if constexpr (std::is_same_v<P, KXBoxBlurParams>) {
        auto data = With<KXBoxBlurProcessing::BlurData>(common);
        data.radius = params.radius;
        Run<KXBoxBlurProcessing>(data);
    } else if constexpr (std::is_same_v<P, KXGaussianBlurParams>) {
        auto data = With<KXGaussianBlurProcessing::BlurData>(common);
        data.sigma = params.sigma;
        Run<KXGaussianBlurProcessing>(data);
    } else if constexpr (std::is_same_v<P, KXSharpenParams>) {
        auto data = With<KXSharpenProcessing::SharpenData>(common);
        data.strength = params.strength;
        Run<KXSharpenProcessing>(data);
    } else if constexpr (std::is_same_v<P, KXSmoothenParams>) {
        auto data = With<KXSmoothenProcessing::SmoothenData>(common);
        data.strength = params.strength;
        Run<KXSmoothenProcessing>(data);
    } else if constexpr (std::is_same_v<P, KXHighPassParams>) {
        auto data = With<KXHighPassProcessing::HighPassData>(common);
        static_cast<KXHighPassParams&>(data) = params;
        QReadWriteLock cacheLock;
        double cachedSigma = std::numeric_limits<double>::quiet_NaN();
        KXImageRGBA32i cached;
        Run<KXHighPassProcessing>(data, cacheLock, cachedSigma, cached);
    } else if constexpr (std::is_same_v<P, KXAddNoiseParams>) {
        auto data = With<KXAddNoiseProcessing::AddNoiseData>(common);
        static_cast<KXAddNoiseParams&>(data) = params;
        QReadWriteLock cacheLock;
        KXImageRGBA32i uniform, gaussian;
        Run<KXAddNoiseProcessing>(data, cacheLock, uniform, gaussian);
    } else if constexpr (std::is_same_v<P, KXDiffuseGlowParams>) {
        auto data = With<KXDiffuseGlowProcessing::DiffuseGlowData>(common);
        static_cast<KXDiffuseGlowParams&>(data) = params;
        Run<KXDiffuseGlowProcessing>(data);
    } else if constexpr (std::is_same_v<P, KXVignetteParams>) {
        auto data = With<KXVignetteProcessing::VignetteData>(common);
        static_cast<KXVignetteParams&>(data) = params;
        Run<KXVignetteProcessing>(data);
    } else if constexpr (std::is_same_v<P, KXDropShadowParams>) {
        auto data = With<KXDropShadowProcessing::DropShadowData>(common);
        static_cast<KXShadowParamsFields&>(data) = params;
        Run<KXDropShadowProcessing>(data);
    } else if constexpr (std::is_same_v<P, KXInnerShadowParams>) {
        auto data = With<KXInnerShadowProcessing::InnerShadowData>(common);
        static_cast<KXShadowParamsFields&>(data) = params;
        Run<KXInnerShadowProcessing>(data);
    } else {
        static_assert(std::is_same_v<P, KXRefineSelectionParams>);
        auto data = With<VQRefineSelectionProcessing::RefineSelectionData>(common);
        data.radius = params.radius;
        data.shift = params.shift;
        if (in.Flag())
            data.boundSize = QSize(in.Range(-2, 400), in.Range(-2, 400));
        if (std::abs(static_cast<long long>(params.shift)) <= kShiftCap)
            Run<VQRefineSelectionProcessing>(data);
    }
}

template <class Params>
void Case(const char* header, const QByteArray& input, bool withHeader)
{
    QByteArray bytes = withHeader ? QByteArray(header) + input : input;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QDataStream stream(&buffer);
    Params params;
    const QByteArray defaults = Written(params);
    if (!params.Read(stream)) {
        // Without the header the record is left alone (a short field list
        // may leave some fields read).
        if (!bytes.startsWith(QByteArray(header).chopped(1)))
            KXFUZZ_CHECK(Written(params) == defaults);
        return;
    }
    const QByteArray once = Written(params);
    const int headerLength = qstrlen(header);
    KXFUZZ_CHECK(once.left(headerLength) == defaults.left(headerLength));
    Params again;
    QDataStream back(once);
    KXFUZZ_CHECK(again.Read(back));
    KXFUZZ_CHECK(Written(again) == once);

    const QByteArray rest = bytes.mid(static_cast<int>(buffer.pos()));
    KXFuzz::Bytes in(reinterpret_cast<const uint8_t*>(rest.constData()), static_cast<size_t>(rest.size()));
    const KXFuzz::Faults faults(in);
    gCancelled = faults.Cancelled();
    faults.Run([&] { RunFilter(params, in); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    KXFuzz::Setup();
    if (size < 1)
        return 0;
    const long long before = KXFuzz::FreeBlocks();
    const QByteArray input(reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1));
    const bool withHeader = data[0] & 0x10;
    switch (data[0] % 11) {
    case 0: Case<KXBoxBlurParams>("VQBoxBlur 1.00000", input, withHeader); break;
    case 1: Case<KXGaussianBlurParams>("VQGaussianBlur 1.00000", input, withHeader); break;
    case 2: Case<KXSharpenParams>("VQSharpen 1.00000", input, withHeader); break;
    case 3: Case<KXSmoothenParams>("VQSmoothen 1.00000", input, withHeader); break;
    case 4: Case<KXHighPassParams>("VQHighPass 1.00000", input, withHeader); break;
    case 5: Case<KXAddNoiseParams>("VQAddNoise 1.00000", input, withHeader); break;
    case 6: Case<KXDiffuseGlowParams>("VQDiffuseGlow 1.00000", input, withHeader); break;
    case 7: Case<KXVignetteParams>((data[0] & 0x20) ? "VQVignette 1.00000" : "VQVignette 1.00001", input, withHeader); break;
    case 8: Case<KXDropShadowParams>("VQDropShadow 1.00000", input, withHeader); break;
    case 9: Case<KXInnerShadowParams>("VQInnerShadow 1.00000", input, withHeader); break;
    default: Case<KXRefineSelectionParams>("VQRefineSelection 1.00000", input, withHeader); break;
    }
    KXFUZZ_CHECK(KXFuzz::FreeBlocks() == before);
    return 0;
}
