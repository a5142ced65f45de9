// Fuzz target: EXIF elements of any type number holding fuzzed values
// (bytes, text, numbers, lists), and the histogram counters and threshold
// over fuzzed counts and pixels.

#include "KXFuzzSupport.h"

#include "VQEXIFElement.h"
#include "VQHistogram.h"

#include <QVariant>

#include <array>
#include <cstdlib>

namespace {

QVariant Value(KXFuzz::Bytes& in)
{
    switch (in.Range(0, 5)) {
    case 0: return in.Chunk(in.Range(0, 64));
    case 1: return QString::fromUtf8(in.Chunk(in.Range(0, 64)));
    case 2: return in.Take<int32_t>();
    case 3: return in.Take<double>();
    case 4: {
        QVariantList list;
        for (int i = in.Range(0, 8); i > 0; --i)
            list << QVariant(in.Take<uint16_t>());
        return list;
    }
    default: return QVariant();
    }
}

void Exif(KXFuzz::Bytes& in)
{
    const auto type = static_cast<VQEXIFElement::Type>(in.Take<uint32_t>() % (VQEXIFElement::TypeCount + 20));
    VQEXIFElement element(type, Value(in));
    (void)element.ToRawDataValue();
    (void)VQEXIFElement::GetTag(type);
    (void)VQEXIFElement::GetTypeName(type);
    (void)VQEXIFElement::GetDescription(type);
    VQEXIFElement copy = element;
    copy.SetValue(Value(in));
    KXFUZZ_CHECK(element.GetType() == type && copy.GetType() == type);
    (void)copy.ToRawDataValue();
}

void Histogram(KXFuzz::Bytes& in)
{
    std::array<int, 256> counts{};
    const bool raw = in.Flag();
    for (int& count : counts)
        count = raw ? in.Take<int32_t>() : in.Take<uint16_t>();
    const std::vector<int> range = KXHistogrammCalculator::Threshold(counts.data());
    KXFUZZ_CHECK(range.size() == 2);
    KXFUZZ_CHECK(range[0] >= 0 && range[0] <= 255 && range[1] >= 0 && range[1] <= 255);
    KXFUZZ_CHECK(std::abs(range[1] - range[0]) >= 16);

    std::array<int, 256> red{}, green{}, blue{}, all{};
    std::array<unsigned int, 256> r2{}, g2{}, b2{};
    KXHistogrammCalculator calculator;
    calculator.SetOutput(red.data(), green.data(), blue.data(), all.data());
    const VQRGBHistogram plain(r2.data(), g2.data(), b2.data());
    int pixels = 0;
    while (in.Remaining() >= 4) {
        const KXRGBA32i pixel(in.Take<uint32_t>());
        calculator(pixel);
        plain(pixel);
        ++pixels;
    }
    long long sums[4] = {0, 0, 0, 0};
    for (int i = 0; i < 256; ++i) {
        sums[0] += red[i];
        sums[1] += green[i];
        sums[2] += blue[i];
        sums[3] += all[i];
        KXFUZZ_CHECK(red[i] == int(r2[i]) && green[i] == int(g2[i]) && blue[i] == int(b2[i]));
        KXFUZZ_CHECK(all[i] == red[i] + green[i] + blue[i]);
    }
    KXFUZZ_CHECK(sums[0] == pixels && sums[1] == pixels && sums[2] == pixels && sums[3] == 3LL * pixels);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    KXFuzz::Setup();
    if (size < 1)
        return 0;
    KXFuzz::Bytes in(data + 1, size - 1);
    if (data[0] & 1)
        Histogram(in);
    else
        while (in.Remaining() > 0)
            Exif(in);
    return 0;
}
