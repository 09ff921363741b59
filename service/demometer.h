#pragma once
// A simulated meter of --demo: the meter and its in-process USB transport in
// one transfer, each with its own serial number, set points and noise.

#include "link/usbtransfer.h"

#include <QString>

#include <memory>

namespace kv::service {

// "KV3917-DEMO-0001" for the first.
QString DemoSerial(int index);

// Demo meter `index` (1-based); created and used on its session's thread.
std::unique_ptr<UsbTransfer> CreateDemoTransfer(int index);

} // namespace kv::service
