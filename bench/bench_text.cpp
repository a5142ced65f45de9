// Text drawn tile by tile: a paragraph of 16 lines at 200 pixels filling a
// 6000 x 4000 layer, next to QPainter drawing the same outlines on one
// whole 6000 x 4000 QImage (the peer, timed in the same run). The helper's
// time includes building the outlines (SetText each round); text runs on
// the calling thread, so there is no pool variant. Then the caret with an
// under line over the whole text and a hit test, on texts of 2,000 and
// 20,000 characters (their boundaries come from one layout).

#include "KXTextHelper.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <chrono>
#include <memory>
#include <vector>

namespace {

constexpr int kWidth = 6000, kHeight = 4000, kLines = 16, kLineHeight = 240;

void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "bench_text";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static QGuiApplication app(argc, argv);
    }
}

QString Line(int i)
{
    static const QString words = QStringLiteral(
        "Tiles of a hundred and twenty-eight pixels square hold every layer; the quick brown fox jumps over the "
        "lazy dog while sphinx of black quartz judges my vow and pack my box with five dozen liquor jugs again.");
    return words.mid((i * 13) % 60, 44);
}

void Setup(KXTextHelper& helper, int line, double bend)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(200);
    helper.SetFont(font);
    helper.SetColor(QColor(20, 30, 60));
    helper.SetRenderMode(2);
    helper.SetStyle(bend != 0 ? 1 : 0);
    helper.SetBend(bend);
    helper.SetText(Line(line));
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Seconds per round of the QPainter benchmark, for the ratio.
double& PeerSeconds(int bend)
{
    static double seconds[2] = {0, 0};
    return seconds[bend != 0];
}

// QPainter on one whole layer: the same outlines, pen and brush.
void BM_QPainterParagraph(benchmark::State& state)
{
    EnsureApplication();
    const double bend = double(state.range(0));
    std::vector<QPainterPath> paths;
    for (int i = 0; i < kLines; ++i) {
        KXTextHelper helper;
        Setup(helper, i, bend);
        QPainterPath path;
        QRectF rect, mapped;
        QPointF offset;
        helper.CreatePathByTextWithDeformationWithRect(path, rect, mapped, offset);
        paths.push_back(path.translated(0, i * kLineHeight));
    }
    QImage layer(kWidth, kHeight, QImage::Format_ARGB32);
    layer.fill(0);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        QPainter painter(&layer);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.setPen(QPen(QColor(20, 30, 60), 1.0));
        painter.setBrush(QColor(20, 30, 60));
        for (const QPainterPath& path : paths)
            painter.drawPath(path);
    }
    PeerSeconds(int(bend)) = Seconds(start) / double(state.iterations());
    benchmark::DoNotOptimize(layer.constBits());
}

void BM_TextParagraph(benchmark::State& state)
{
    EnsureApplication();
    const double bend = double(state.range(0));
    std::vector<std::unique_ptr<KXTextHelper>> helpers;
    for (int i = 0; i < kLines; ++i) {
        helpers.push_back(std::make_unique<KXTextHelper>());
        Setup(*helpers.back(), i, bend);
    }
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (int i = 0; i < kLines; ++i) {
            helpers[size_t(i)]->SetText(Line(i));
            QPointF offset;
            KXImageRGBA32i image = helpers[size_t(i)]->CreateImageByTextWithDeformation(offset);
            benchmark::DoNotOptimize(image.Width());
        }
    }
    // Time per round against QPainter's on the whole layer (run first).
    if (PeerSeconds(int(bend)) > 0)
        state.counters["xQPainter"] = Seconds(start) / double(state.iterations()) / PeerSeconds(int(bend));
}

// GetVerticalAndUnderLine over every character, then FindSelectedChar.
void BM_CaretAndHitTest(benchmark::State& state)
{
    EnsureApplication();
    const int length = int(state.range(0));
    QString text;
    while (text.size() < length)
        text += Line(text.size() % 7);
    text.truncate(length);
    KXTextHelper helper;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(40);
    helper.SetFont(font);
    helper.SetText(text);
    QRectF rect, mapped;
    QPointF offset;
    helper.CreatePathByTextWithRect(rect, mapped, offset); // the outlines, once, outside the loop
    for (auto _ : state) {
        const QPainterPath caret = helper.GetVerticalAndUnderLine(QPoint(0, 0), 0, length);
        benchmark::DoNotOptimize(caret.elementCount());
        benchmark::DoNotOptimize(helper.FindSelectedChar(QPoint(0, 0), QPoint(1000, 20)));
    }
    state.counters["characters"] = length;
}

} // namespace

BENCHMARK(BM_CaretAndHitTest)
    ->ArgName("characters")
    ->Arg(2000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_QPainterParagraph)->ArgName("bend")->Arg(0)->Arg(40)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TextParagraph)->ArgName("bend")->Arg(0)->Arg(40)->Unit(benchmark::kMillisecond)->UseRealTime();
