// The serial link against the simulated meter on a pseudo-terminal, paced at
// 9600 baud: how long a port selection takes to show "On Connection", and
// how much of one core the program uses while it polls over the port.
#include "ui/mainwindow.h"
#include "tests/support/children.h"
#include "sim/simmeter.h"
#include "sim/simpty.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <ctime>

namespace {

constexpr int PollingRunMs = 10000;

double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

void BM_SerialConnectSelectedPort(benchmark::State &state)
{
    kv::SimMeter meter;
    kv::SimPtyServer server(meter, kv::SimSerialPacing::Baud9600);
    server.start();
    kv::NoDeviceTransfer usb;
    MainWindow main(usb);
    for (auto _ : state) {
        child<QComboBox>(main, "ComboBoxDeviceName")->setEditText(server.slavePath());
        if (!main.connection().link().isSerial())
            state.SkipWithError("no connection");
        state.PauseTiming();
        main.connection().serialPort().close();
        child<QComboBox>(main, "ComboBoxDeviceName")->blockSignals(true);
        child<QComboBox>(main, "ComboBoxDeviceName")->setEditText(QString());
        child<QComboBox>(main, "ComboBoxDeviceName")->blockSignals(false);
        state.ResumeTiming();
    }
    server.stop();
}
BENCHMARK(BM_SerialConnectSelectedPort)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// The shown main window polls over the port for PollingRunMs; the window
// thread's CPU time over the wall time is the share of one core it used
// (the simulated meter runs on a thread of its own and is not counted).
void BM_SerialPollingCpu(benchmark::State &state)
{
    kv::SimMeter meter;
    kv::SimPtyServer server(meter, kv::SimSerialPacing::Baud9600);
    server.start();
    kv::NoDeviceTransfer usb;
    MainWindow main(usb);
    main.show();
    child<QComboBox>(main, "ComboBoxDeviceName")->setEditText(server.slavePath());
    double share = 0;
    for (auto _ : state) {
        const double cpu0 = ThreadCpuSeconds();
        const int failures0 = main.connection().poll().PollFailures;
        QElapsedTimer wall;
        wall.start();
        QEventLoop loop;
        QTimer::singleShot(PollingRunMs, &loop, &QEventLoop::quit);
        loop.exec();
        share = (ThreadCpuSeconds() - cpu0) / (double(wall.elapsed()) / 1000.0);
        if (!main.connection().link().isSerial() || main.connection().poll().PollFailures > failures0)
            state.SkipWithError("the connection failed while polling");
    }
    state.counters["cpu_percent_of_core"] = share * 100.0;
    main.close();
    server.stop();
}
BENCHMARK(BM_SerialPollingCpu)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace
