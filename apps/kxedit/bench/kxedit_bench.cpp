// Latency and memory of the editor driven through its widgets: opening a
// 24 MP JPEG to the first frame, a slider change to the first preview frame
// at fit-to-window, an undo to its frame, and the tile blocks that undo
// steps hold. Run with QT_QPA_PLATFORM=offscreen.

#include "AdjustDialog.h"
#include "Canvas.h"
#include "Document.h"
#include "FilterDialog.h"
#include "Filters.h"
#include "MainWindow.h"
#include "ParamForm.h"
#include "SamplePhoto.h"
#include "TextTool.h"
#include "Tools.h"

#include <KXImageFile.h>
#include <VQTileManager64.h>

#include <QApplication>
#include <QPainterPath>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sys/resource.h>

using namespace kxedit;

namespace {

QString g_photo;

struct CpuClock {
    double user = 0, system = 0;
    static CpuClock Now()
    {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return {usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6, usage.ru_stime.tv_sec + usage.ru_stime.tv_usec * 1e-6};
    }
};

// Runs the event loop until `spy` has `count` signals (or ten seconds pass)
// and `done` holds. The loop sleeps between events, as the editor's does:
// spinning here would take a core from the workers.
template <class Done>
bool WaitUntil(QSignalSpy& spy, const Done& done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 10000)
        spy.wait(int(10000 - clock.elapsed()));
    return done();
}

bool WaitFor(QSignalSpy& spy, int count = 1)
{
    return WaitUntil(spy, [&] { return spy.count() >= count; });
}

long long BlocksInUse()
{
    return VQTileManager64::kMaxBlocks - VQTileManager64::Instance()->GetAvailableCount();
}

// Wall time per iteration from the manual clock; user and system seconds
// per iteration as counters, both of `step` alone: `settle` runs before
// each step, off both clocks.
template <class Step, class Settle>
void Timed(benchmark::State& state, Step&& step, Settle&& settle)
{
    double user = 0, system = 0;
    for (auto _ : state) {
        if (!settle()) {
            state.SkipWithError("never settled");
            return;
        }
        const CpuClock start = CpuClock::Now();
        QElapsedTimer clock;
        clock.start();
        if (!step()) {
            state.SkipWithError("no frame");
            return;
        }
        state.SetIterationTime(clock.nsecsElapsed() * 1e-9);
        const CpuClock end = CpuClock::Now();
        user += end.user - start.user;
        system += end.system - start.system;
    }
    state.counters["user_s"] = benchmark::Counter(user / state.iterations());
    state.counters["sys_s"] = benchmark::Counter(system / state.iterations());
}

template <class Step>
void Timed(benchmark::State& state, Step&& step)
{
    Timed(state, std::forward<Step>(step), [] { return true; });
}

std::unique_ptr<MainWindow> OpenWindow()
{
    auto window = std::make_unique<MainWindow>();
    window->askToSave = [] { return QMessageBox::Discard; };
    window->resize(1280, 800);
    window->show();
    window->OpenFile(g_photo);
    QCoreApplication::processEvents();
    return window;
}

// Opening to the first frame drawn (a quick look while the photo is read
// is one), timed when the frame is drawn, which may be before OpenFile
// returns; `exact_ms` is the time to the first frame from the photo's own
// tiles. User and system time cover the whole open.
void BM_OpenToFirstFrame(benchmark::State& state)
{
    MainWindow window;
    window.resize(1280, 800);
    window.show();
    QSignalSpy frames(window.GetCanvas(), &Canvas::FrameReady);
    QElapsedTimer clock;
    qint64 first = -1;
    QObject::connect(window.GetCanvas(), &Canvas::FrameReady, [&] {
        if (first < 0)
            first = clock.nsecsElapsed();
    });
    double exact = 0, user = 0, system = 0;
    for (auto _ : state) {
        const CpuClock start = CpuClock::Now();
        first = -1;
        clock.start();
        const int before = frames.count();
        if (!window.OpenFile(g_photo)) {
            state.SkipWithError("not opened");
            return;
        }
        // The exact frame is the first one after OpenFile has returned.
        const int opened = frames.count();
        if (!WaitFor(frames, std::max(before + 1, opened + 1)) || first < 0) {
            state.SkipWithError("no frame");
            return;
        }
        exact += clock.nsecsElapsed() * 1e-6;
        state.SetIterationTime(first * 1e-9);
        const CpuClock end = CpuClock::Now();
        user += end.user - start.user;
        system += end.system - start.system;
    }
    state.counters["exact_ms"] = benchmark::Counter(exact / state.iterations());
    state.counters["user_s"] = benchmark::Counter(user / state.iterations());
    state.counters["sys_s"] = benchmark::Counter(system / state.iterations());
}
BENCHMARK(BM_OpenToFirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// A slider change to the first preview frame (the screen's pixels when
// zoomed out). Settled: the change comes once the earlier preview has been
// refined, off the clock. Dragging: it comes as soon as the first frame is
// shown, while the refinement of the last change still runs and must be
// cancelled.
void BM_FilterPreview(benchmark::State& state, const char* name, bool settled)
{
    const auto window = OpenWindow();
    FilterDialog* dialog = window->OpenFilter(*FindFilter(QString::fromLatin1(name)));
    QSignalSpy ready(dialog, &FilterDialog::PreviewReady);
    const auto refined = [&ready] {
        return WaitUntil(ready, [&] { return !ready.isEmpty() && ready.last().at(1).toBool(); });
    };
    WaitFor(ready);
    int step = 0;
    Timed(
        state,
        [&] {
            QVariantList values = dialog->Values();
            values[0] = values[0].toDouble() + ((++step % 2) ? 1 : -1);
            ready.clear();
            dialog->SetValues(values);
            return WaitFor(ready);
        },
        [&] { return !settled || refined(); });
    state.counters["scale"] = window->GetCanvas()->Scale();
}
BENCHMARK_CAPTURE(BM_FilterPreview, gaussian, "Gaussian Blur", true)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK_CAPTURE(BM_FilterPreview, box, "Box Blur", true)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK_CAPTURE(BM_FilterPreview, sharpen, "Sharpen", true)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK_CAPTURE(BM_FilterPreview, gaussian_dragging, "Gaussian Blur", false)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK_CAPTURE(BM_FilterPreview, box_dragging, "Box Blur", false)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK_CAPTURE(BM_FilterPreview, sharpen_dragging, "Sharpen", false)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_AdjustmentPreview(benchmark::State& state, const char* name)
{
    const auto window = OpenWindow();
    const AdjustmentKind* kind = FindAdjustment(QString::fromUtf8(name));
    AdjustDialog* dialog = window->OpenAdjustments(*kind);
    QSignalSpy frames(window->GetCanvas(), &Canvas::FrameReady);
    const QVariant base = kind->defaults.first();
    int step = 0;
    Timed(state, [&] {
        // The first value moves to and fro: every change differs from the last.
        QVariantList values = dialog->Form()->Values();
        const bool away = ++step % 2;
        values[0] = base.type() == QVariant::Double ? QVariant(base.toDouble() + (away ? 0.2 : 0.0))
                                                    : QVariant(base.toInt() + (away ? 7 : 0));
        frames.clear();
        dialog->Form()->SetValues(values);
        return WaitFor(frames);
    });
}
BENCHMARK_CAPTURE(BM_AdjustmentPreview, tonal, "Brightness, Exposure and Gamma")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK_CAPTURE(BM_AdjustmentPreview, levels, "Levels")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK_CAPTURE(BM_AdjustmentPreview, curves, "Curves")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK_CAPTURE(BM_AdjustmentPreview, hue_saturation, "Hue and Saturation")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_UndoFullLayerFilter(benchmark::State& state)
{
    const auto window = OpenWindow();
    Document* document = window->GetDocument();
    const long long idle = BlocksInUse();
    FilterDialog* dialog = window->OpenFilter(*FindFilter(QStringLiteral("Gaussian Blur")));
    QSignalSpy finished(dialog, &FilterDialog::RunFinished);
    dialog->Apply();
    WaitFor(finished);
    const double tiles = document->ActiveLayer()->image.TileCount();
    state.counters["blocks_per_image"] = (BlocksInUse() - idle) / tiles + 1.0;
    QSignalSpy frames(window->GetCanvas(), &Canvas::FrameReady);
    int step = 0;
    Timed(state, [&] {
        frames.clear();
        const bool done = (++step % 2) ? document->UndoStep() : document->RedoStep();
        return done && WaitFor(frames);
    });
}
BENCHMARK(BM_UndoFullLayerFilter)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// Twenty brush-sized edits with their undo steps, in turn a healing
// stroke, a bucket fill and a word of text: blocks held over the image's
// tiles (1 is the image alone). A bucket click that fills nothing makes no
// step; the edits go on until there are twenty.
void BM_BrushEditsMemory(benchmark::State& state)
{
    const auto window = OpenWindow();
    Document* document = window->GetDocument();
    Tools* tools = window->GetTools();
    tools->SetTolerance(0);
    const long long before = BlocksInUse();
    const double tiles = document->ActiveLayer()->image.TileCount();
    for (auto _ : state) {
        for (int i = 0; document->Undo().Count() < 20 && i < 40; ++i) {
            const QPoint at(150 + (i % 21) * 280, 300 + (i % 5) * 600 + (i / 21) * 150);
            document->SetActiveIndex(0);
            switch (i % 3) {
            case 0: {
                QPainterPath stroke(at);
                stroke.lineTo(at + QPoint(120, 40));
                tools->HealStroke(stroke, 12);
                break;
            }
            case 1:
                tools->BucketFill(at);
                break;
            default:
                tools->GetTextTool()->AddText(at, QStringLiteral("note %1").arg(i), 30, 10, 48);
            }
        }
    }
    QCoreApplication::processEvents();
    state.counters["undo_steps"] = document->Undo().Count();
    state.counters["blocks_per_image"] = (BlocksInUse() - before) / tiles + 1.0;
}
BENCHMARK(BM_BrushEditsMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("KXEDIT_NO_DIALOGS", "1");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    VQTileManager64::InitInstance(false);
    int status = 0;
    {
        QTemporaryDir dir;
        g_photo = dir.filePath(QStringLiteral("photo24mp.jpg"));
        KXImageFile::WriteParams params;
        params.quality = 90;
        if (!KXImageFile::Write(SamplePhoto(QSize(6000, 4000)), KXImageMetadata(), g_photo, params).Ok())
            status = 1;
        else
            benchmark::RunSpecifiedBenchmarks();
    }
    benchmark::Shutdown();
    VQTileManager64::ReleaseInstance();
    return status;
}
