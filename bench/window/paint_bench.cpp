// Cost of one full window paint: both channels on the Min scale with 8000 rows shown at once,
// the readings panel and the texts, drawn onto a 984 x 796 image through QPainter, and the
// same paint through the recording canvas and a discarding canvas for the core's own share.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <memory>

#include "core/chart/window_painter.h"
#include "tests/support/recording_canvas.h"
#include "window/mainwindow/qpainter_canvas.h"

namespace {

constexpr int kRows = 8000;
constexpr int kClientWidth = 984;
constexpr int kClientHeight = 796;
constexpr int kMinutesPerDay = 1440;

struct PaintScene {
    std::unique_ptr<tev::MeasurementStore> store = std::make_unique<tev::MeasurementStore>();
    std::unique_ptr<tev::ViewState> view = std::make_unique<tev::ViewState>();
    tev::PaintContext ctx;

    PaintScene() {
        tev::ScaleTable& t = store->table(tev::TimeScale::Min);
        int minute = 0;
        int date = 240801;
        for (int row = 0; row <= kRows; ++row) {
            t.setValue(tev::kColV1, row, 230.0f + 3.0f * std::sin(row * 0.01f));
            t.setValue(tev::kColWatt, row, 1500.0f + 900.0f * std::sin(row * 0.003f));
            t.setTime(row, minute);
            t.setDate(row, date);
            if (++minute == kMinutesPerDay) {
                minute = 0;
                ++date;
            }
        }
        t.cnt = kRows;
        for (int number = 1; number <= 2; ++number) {
            tev::ChartChannel& ch = view->channel(number);
            ch.quantity = number == 1 ? tev::Quantity::V1 : tev::Quantity::Watt;
            ch.title = number == 1 ? "V1 電壓" : "Watt 總功率";
            ch.timeScale = tev::TimeScale::Min;
            ch.span = kRows;
            ch.cursorOn = true;
            ch.cursorX = 700;
        }
        tev::LiveReadings& l = store->live;
        l.V1 = l.V2 = l.V3 = 231.4f;
        l.A1 = 12.3f, l.A2 = 4.56f, l.A3 = 123.4f;
        l.W1 = 2447, l.W2 = 907, l.W3 = 24550;
        l.Amp = 140.26f, l.Watt = 27904;
        l.KWh = 53.2f, l.WeekKWh = 320.5f, l.MonthKWh = 1288.8f, l.TotalKWh = 45678.9f;
        ctx.meterCount = 1;
        ctx.currentIp = "192.168.1.20";
        ctx.currentId = "A1B2C3D4E5F6";
    }
};

class DiscardingCanvas final : public tev::Canvas {
  public:
    void rectangle(int, int, int, int, tev::Rgb, tev::Rgb) override {}
    void line(int, int, int, int, tev::Rgb) override {}
    void polyline(const tev::Point*, int, tev::Rgb) override {}
    void text(int, int, std::string_view, const tev::FontSpec&, tev::Rgb, tev::Rgb) override {}
};

void PaintThroughQPainter(benchmark::State& state) {
    PaintScene scene;
    QImage image(kClientWidth, kClientHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        image.fill(QColor(46, 46, 46));
        QPainter painter(&image);
        tev::QPainterCanvas canvas(painter);
        benchmark::DoNotOptimize(tev::paintWindow(canvas, *scene.store, *scene.view, scene.ctx));
    }
}

void PaintThroughRecordingCanvas(benchmark::State& state) {
    PaintScene scene;
    tev::testing::RecordingCanvas canvas;
    for (auto _ : state) {
        canvas.clear();
        benchmark::DoNotOptimize(tev::paintWindow(canvas, *scene.store, *scene.view, scene.ctx));
    }
    state.counters["calls"] = static_cast<double>(canvas.calls.size());
}

void PaintThroughDiscardingCanvas(benchmark::State& state) {
    PaintScene scene;
    DiscardingCanvas canvas;
    for (auto _ : state)
        benchmark::DoNotOptimize(tev::paintWindow(canvas, *scene.store, *scene.view, scene.ctx));
}

BENCHMARK(PaintThroughQPainter)->Unit(benchmark::kMillisecond);
BENCHMARK(PaintThroughRecordingCanvas)->Unit(benchmark::kMillisecond);
BENCHMARK(PaintThroughDiscardingCanvas)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
