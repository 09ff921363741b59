#pragma once
// The setup operations of the command-line tool, without its argument
// parsing: identifies the meter on USB, runs one operation and turns the
// outcome into output lines, an error text and an exit status.

#include "setup/meterservice.h"

#include <QString>
#include <QStringList>

namespace kv {

enum class ServiceCommand { Info, SetClock, SetInterval, Erase };

// Exit statuses of the setup commands (64, usage, is the tool's own).
constexpr int ServiceExitOk = 0;
constexpr int ServiceExitNoMeter = 2;
constexpr int ServiceExitFailed = 4;

struct ServiceCommandOutput {
    int exitStatus = ServiceExitOk;
    QStringList lines; // standard output
    QString error;     // standard error, empty on success
};

// `interval` is used by SetInterval only.  Info writes one "name,value" line
// per information field (numbers with a decimal point).
ServiceCommandOutput RunServiceCommand(ServiceCommand command, IntervalBytes interval, UsbTransfer &usb,
                                       ServiceHost &host);

} // namespace kv
