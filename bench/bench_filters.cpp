// The blur operators on a 6000 x 4000 image, next to a memcpy of the same
// bytes in the same run: KXGaussianBlur (three box blurs) and KXBoxBlur of
// radius 5, with Qt's global pool limited to one thread and with the
// default pool.
//
// With KX_WITH_OPENCV (bench/CMakeLists.txt defines it when OpenCV is
// found) the same binary times OpenCV on the same pixels, one thread:
// cv::blur with an 11 x 11 box and cv::GaussianBlur with the sigma of the
// three boxes (sqrt(3 (11² - 1) / 12) = sqrt(30)), edges replicated as ours
// are; each operator case then reports its time over OpenCV's as the
// counter "vs_OpenCV".
//
// Time is the wall clock of the blur alone; the counter cpu_ms is the CPU
// time the process spent on it (all threads), steadier on a busy machine.
//
// Every iteration blurs the same pixels: between iterations, untimed, the
// photo's pixels are copied back into the image's private tiles.

#include "KXBenchSupport.h"
#include "KXBlurOperators.h"
#include "KXImageConversion.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <QThreadPool>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <cstring>
#include <random>
#include <vector>

#if defined(KX_WITH_OPENCV)
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using namespace KXBench;

constexpr int kRadius = 5;

// Smooth gradients with noise, partly transparent, as in a photo layer.
const QImage& Photo()
{
    static const QImage photo = [] {
        QImage image(kWidth, kHeight, QImage::Format_ARGB32);
        std::mt19937 random(3);
        for (int y = 0; y < kHeight; ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < kWidth; ++x) {
                const int noise = static_cast<int>(random() & 15);
                row[x] = qRgba((x * 255 / kWidth + noise) & 255, (y * 255 / kHeight + noise) & 255,
                               ((x + y) / 40 + noise) & 255, x < kWidth / 2 ? 255 : 128 + noise);
            }
        }
        return image;
    }();
    return photo;
}

// Qt's global pool for one case: `threads` 1 keeps every task on the
// calling thread (the pool may start no thread of its own), 0 leaves the
// default pool.
class Pool {
public:
    explicit Pool(int threads) : m_saved(QThreadPool::globalInstance()->maxThreadCount()), m_one(threads == 1)
    {
        if (m_one) {
            QThreadPool::globalInstance()->setMaxThreadCount(1);
            QThreadPool::globalInstance()->reserveThread();
        }
    }
    ~Pool()
    {
        if (m_one) {
            QThreadPool::globalInstance()->releaseThread();
            QThreadPool::globalInstance()->setMaxThreadCount(m_saved);
        }
    }
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

private:
    int m_saved;
    bool m_one;
};

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

enum Operator { kGaussianBlur = 0, kBoxBlur = 1, kRows = 2, kColumns = 3 };

#if defined(KX_WITH_OPENCV)
// The photo as an 8-bit BGRA matrix: the bytes of Format_ARGB32 in memory.
const cv::Mat& PhotoMat()
{
    static const cv::Mat mat = cv::Mat(kHeight, kWidth, CV_8UC4, const_cast<uchar*>(Photo().constBits()),
                                       size_t(Photo().bytesPerLine()))
                                   .clone();
    return mat;
}

const double kSigma = std::sqrt(3.0 * ((2 * kRadius + 1) * (2 * kRadius + 1) - 1) / 12.0);

void OpenCV(Operator op, const cv::Mat& source, cv::Mat& destination)
{
    if (op == kBoxBlur)
        cv::blur(source, destination, cv::Size(2 * kRadius + 1, 2 * kRadius + 1), cv::Point(-1, -1),
                 cv::BORDER_REPLICATE);
    else
        cv::GaussianBlur(source, destination, cv::Size(0, 0), kSigma, kSigma, cv::BORDER_REPLICATE);
}

// OpenCV's median time for `op` on one thread, measured once per operator.
double OpenCVSeconds(Operator op)
{
    static double seconds[2] = {0.0, 0.0};
    if (seconds[op] == 0.0) {
        cv::setNumThreads(1);
        cv::Mat destination;
        OpenCV(op, PhotoMat(), destination); // warm up
        std::vector<double> runs;
        for (int i = 0; i < 5; ++i) {
            const auto start = std::chrono::steady_clock::now();
            OpenCV(op, PhotoMat(), destination);
            runs.push_back(Seconds(std::chrono::steady_clock::now() - start));
        }
        std::nth_element(runs.begin(), runs.begin() + 2, runs.end());
        seconds[op] = runs[2];
    }
    return seconds[op];
}

// Args: operator.
void BM_OpenCVOperator(benchmark::State& state)
{
    const Operator op = static_cast<Operator>(state.range(0));
    cv::setNumThreads(1);
    cv::Mat destination;
    for (auto _ : state) {
        OpenCV(op, PhotoMat(), destination);
        benchmark::DoNotOptimize(destination.data);
    }
    SetPixels(state);
    state.SetLabel(op == kBoxBlur ? "cv::blur 11x11, 1 thread" : "cv::GaussianBlur sigma sqrt(30), 1 thread");
}
BENCHMARK(BM_OpenCVOperator)->ArgNames({"op"})->Arg(kGaussianBlur)->Arg(kBoxBlur)->Unit(benchmark::kMillisecond);
#endif

// The memory floor: one copy of the image's bytes.
void BM_MemcpyBaseline(benchmark::State& state)
{
    std::vector<uint32_t> from(size_t(kWidth) * kHeight, 1u), to(from.size(), 2u);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size() * 4);
        benchmark::ClobberMemory();
    }
    SetPixels(state);
}
BENCHMARK(BM_MemcpyBaseline)->Unit(benchmark::kMillisecond);

// Args: operator, pool threads (1, or 0 for the default pool).
void BM_BlurOperator(benchmark::State& state)
{
    const Operator op = static_cast<Operator>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    KXParkedBlocks parked(3 * kTiles + 64);
    const KXImageRGBA32i photo = ConvertImage<QImage, KXImageRGBA32i>(Photo());
    KXImageRGBA32i image = ConvertImage<QImage, KXImageRGBA32i>(Photo());
    Pool pool(threads);
    double total = 0.0, cpu = 0.0;
    for (auto _ : state) {
        const std::clock_t cpuStart = std::clock();
        const auto start = std::chrono::steady_clock::now();
        if (op == kBoxBlur)
            KXBoxBlur{kRadius}(image, QRect());
        else if (op == kRows)
            KXBoxBlurH{kRadius}(image, QRect());
        else if (op == kColumns)
            KXBoxBlurV{kRadius}(image, QRect());
        else
            KXGaussianBlur{kRadius}(image, QRect());
        const double seconds = Seconds(std::chrono::steady_clock::now() - start);
        cpu += double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        state.SetIterationTime(seconds);
        total += seconds;
        Restore(image, photo);
    }
    SetPixels(state);
    // The process's CPU time per blur, all threads together: on a busy
    // machine a steadier figure than the wall clock.
    if (state.iterations() > 0)
        state.counters["cpu_ms"] = 1000.0 * cpu / double(state.iterations());
    const char* names[] = {"KXGaussianBlur r 5", "KXBoxBlur r 5", "KXBoxBlurH r 5", "KXBoxBlurV r 5"};
    state.SetLabel(std::string(names[op]) +
                   (threads == 1 ? ", 1 thread" : ", default pool"));
#if defined(KX_WITH_OPENCV)
    if (state.iterations() > 0 && op <= kBoxBlur)
        state.counters["vs_OpenCV"] = total / double(state.iterations()) / OpenCVSeconds(op);
#else
    (void)total;
#endif
}
BENCHMARK(BM_BlurOperator)
    ->ArgNames({"op", "threads"})
    ->ArgsProduct({{kGaussianBlur, kBoxBlur, kRows, kColumns}, {1, 0}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
