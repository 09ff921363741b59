#pragma once
// The main window on the simulated USB meter with a manual clock, its
// questions answered by scripted prompts.

#include "app/prompt.h"
#include "sim/simclock.h"
#include "sim/simmeter.h"
#include "sim/simusbtransfer.h"
#include "ui/mainwindow.h"

namespace kvtest {

struct MainWindowRig {
    kv::ManualSimClock clock;
    kv::SimMeter meter{&clock, kv::SimOptions{1, false, false, {}}};
    kv::SimUsbTransfer usb{meter};
    kv::ScriptedPrompts prompts;
    kv::PromptScope scope{prompts};
    MainWindow main{usb};
};

} // namespace kvtest
