#pragma once
// Chooses the USB transfer the program talks through: the HID device, or
// the simulated meter in demo mode.

#include "link/usbtransfer.h"

#include <memory>

namespace kv {

// True when the program runs against the simulated meter (KV3917_DEMO=1).
bool DemoModeRequested();

std::unique_ptr<UsbTransfer> CreateUsbTransfer(bool demo);

} // namespace kv
