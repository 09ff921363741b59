#pragma once
// Serves the simulated meter's serial side on a pseudo-terminal: a program
// that opens the slave end sees the meter as on its serial port or its
// Bluetooth link.  A pseudo-terminal delivers at any speed; with
// SimSerialPacing::Baud9600 the replies leave at the line rate (960 bytes a
// second) as they would over a real port.
//
// Threads: the thread that runs serve() owns the link and the meter.  Set the
// meter up (readings, faults) before start() and look at it after stop().
// requestStop() may be called from any thread or a signal handler.

#include "sim/simserial.h"

#include <QString>

#include <atomic>
#include <thread>

namespace kv {

// While nobody holds the slave end open, the server looks again this often.
constexpr int SimPtyIdlePollMs = 20;

class SimPtyServer {
public:
    explicit SimPtyServer(SimMeter &meter, SimSerialPacing pacing = SimSerialPacing::Burst);
    ~SimPtyServer();
    SimPtyServer(const SimPtyServer &) = delete;
    SimPtyServer &operator=(const SimPtyServer &) = delete;

    // False when no pseudo-terminal could be created (errorString() says why).
    bool isOpen() const { return m_master >= 0; }
    QString errorString() const { return m_error; }
    // The path a program opens, e.g. /dev/pts/4.
    QString slavePath() const { return m_slavePath; }

    // Answers frames until requestStop().
    void serve();
    // serve() on a thread of its own; stop() ends and joins it.
    void start();
    void stop();
    void requestStop();

    SimSerialLink &link() { return m_link; }

private:
    void receive();
    void sendArrived();
    void idleWhileClosed();

    SimSerialLink m_link;
    int m_master = -1;
    int m_wake[2] = {-1, -1};
    QString m_slavePath;
    QString m_error;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace kv
