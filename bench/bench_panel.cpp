// The meter panel's work twice a second: redrawing from a reading whose
// digits did not change, and the blink tick with what it repaints.
#include "ui/mainwindow.h"
#include "tests/support/children.h"
#include "link/commandframe.h"
#include "live/decoder.h"
#include "link/meterlink.h"
#include "ui/panelwindow.h"

#include <QApplication>
#include <QStandardPaths>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <array>
#include <memory>

namespace {

constexpr int RepaintSettleMs = 40;
constexpr int CountedTicks = 10;

// 54.0 %RH, 23.4 C, 80.0 F on the display with units, types and battery lit.
kv::LiveReading TypicalReading(bool blinking)
{
    std::array<std::uint8_t, 64> r{};
    r[0] = kv::FrameStart;
    r[63] = kv::FrameEnd;
    r[2] = 0x10;
    if (blinking) {
        r[3] = 0x58; // logging, REC blinking, MAX/MIN/AVG mode
        r[4] = 0x08; // MAX/MIN/AVG blinking
    }
    r[9] = 0x02; r[10] = 0x1C;
    r[11] = 0x00; r[12] = 0xEA;
    r[13] = 0x03; r[14] = 0x20;
    r[38] = 0x24; r[39] = 0xEE;
    r[41] = 0x07;
    r[42] = 0x00; r[43] = 0x6B; r[44] = 0x2E; r[45] = 0xF7;
    r[46] = 0x01;
    r[47] = 0xFF; r[48] = 0x74; r[49] = 0xBA; r[50] = 0x00;
    r[51] = 0x40;
    r[52] = 0x46;
    r[53] = 0x00; r[54] = 0x7F; r[55] = 0x77; r[56] = 0xF7;
    r[57] = 0x08;
    kv::LiveReading reading;
    kv::DecodeLiveReply(r.data(), reading);
    return reading;
}

// The main window with its panel shown, timers stopped.
struct PanelFixture {
    kv::NoDeviceTransfer usb;
    std::unique_ptr<MainWindow> main;

    PanelFixture()
    {
        QStandardPaths::setTestModeEnabled(true); // keep the user's settings untouched
        main = std::make_unique<MainWindow>(usb);
        main->show();
        QApplication::processEvents();
        main->connection().stopPolling();
        child<QTimer>(*main, "MaxMinTimer")->stop();
    }
};

void BM_UpdatePanelUnchanged(benchmark::State &state)
{
    PanelFixture f;
    PanelWindow *panel = f.main->panel();
    const kv::LiveReading reading = TypicalReading(false);
    panel->updateDisplay(reading);
    QApplication::processEvents();
    for (auto _ : state)
        panel->updateDisplay(reading);
}
BENCHMARK(BM_UpdatePanelUnchanged)->Unit(benchmark::kMicrosecond);

// Counts the paint events of the panel's elements.
class PaintCounter : public QObject {
public:
    int painted = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            ++painted;
            if (qEnvironmentVariableIsSet("KV3917_BENCH_TRACE"))
                qInfo("painted %s", qPrintable(watched->objectName()));
        }
        return false;
    }
};

// One blink tick with MAX/MIN/AVG, REC and the link picture blinking.  The
// counter "elements painted" is the number of widgets repainted per tick
// (measured after the timed loop, letting each repaint happen): the toggled
// symbols when they come on, the picture beneath them when they go out.
void BM_BlinkTick(benchmark::State &state)
{
    PanelFixture f;
    PanelWindow *panel = f.main->panel();
    f.main->connection().link().Kind = kv::LinkKind::Serial;
    f.main->connection().poll().Reading = TypicalReading(true);
    panel->updateDisplay(f.main->connection().poll().Reading);
    kv::WaitPumping(RepaintSettleMs);
    for (auto _ : state)
        f.main->runBlinkTick();

    PaintCounter counter;
    for (QWidget *w : panel->findChildren<QWidget *>())
        w->installEventFilter(&counter);
    kv::WaitPumping(RepaintSettleMs);
    counter.painted = 0;
    for (int i = 0; i < CountedTicks; ++i) {
        f.main->runBlinkTick();
        kv::WaitPumping(RepaintSettleMs);
    }
    state.counters["elements painted"] = double(counter.painted) / CountedTicks;
}
BENCHMARK(BM_BlinkTick)->Unit(benchmark::kMicrosecond);

} // namespace
