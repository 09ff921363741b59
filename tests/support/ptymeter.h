#pragma once
// The simulated meter on a pseudo-terminal of its own, paced at 9600 baud,
// for tests of the serial link and the command-line tool.  Set the meter up
// before start(); read its log after stop().

#include "sim/simmeter.h"
#include "sim/simpty.h"

#include <QString>

namespace kvtest {

// A meter without drift and with an empty logger.
inline kv::SimOptions QuietMeter()
{
    kv::SimOptions options;
    options.drift = false;
    options.prefillLogger = false;
    return options;
}

struct PtyMeter {
    kv::SimMeter meter{nullptr, QuietMeter()};
    kv::SimPtyServer server;

    explicit PtyMeter(kv::SimSerialPacing pacing = kv::SimSerialPacing::Baud9600) : server(meter, pacing) {}
    ~PtyMeter() { server.stop(); }
    void start() { server.start(); }
    void stop() { server.stop(); }
    QString path() const { return server.slavePath(); }
};

} // namespace kvtest
