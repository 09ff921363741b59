#include "sim/simpty.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace kv {
namespace {

constexpr int ReadChunk = 256;

void CloseFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

SimPtyServer::SimPtyServer(SimMeter &meter, SimSerialPacing pacing) : m_link(meter, pacing)
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0
        || ::pipe2(m_wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        CloseFd(m_master);
        CloseFd(m_wake[0]);
        CloseFd(m_wake[1]);
        return;
    }
    char name[128] = {};
    if (::ptsname_r(m_master, name, sizeof name) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        CloseFd(m_master);
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    // Raw bytes on the slave side from the start (the termios calls on the
    // master act on the slave): no echo, no line editing, no translation.
    termios tio{};
    if (::tcgetattr(m_master, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(m_master, TCSANOW, &tio);
    }
}

SimPtyServer::~SimPtyServer()
{
    stop();
    CloseFd(m_master);
    CloseFd(m_wake[0]);
    CloseFd(m_wake[1]);
}

void SimPtyServer::start()
{
    if (!isOpen() || m_thread.joinable())
        return;
    m_stop = false;
    m_thread = std::thread([this] { serve(); });
}

void SimPtyServer::stop()
{
    requestStop();
    if (m_thread.joinable())
        m_thread.join();
}

void SimPtyServer::requestStop()
{
    m_stop = true;
    if (m_wake[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &byte, 1); // async-signal-safe
    }
}

void SimPtyServer::serve()
{
    if (!isOpen())
        return;
    SimClock &clock = m_link.meter().clock();
    while (!m_stop) {
        sendArrived();
        // Sleep until the next reply byte is due, input arrives or a stop.
        const std::int64_t next = m_link.nextArrivalUs();
        timespec timeout{};
        timespec *wait = nullptr;
        if (next >= 0) {
            const std::int64_t us = std::max<std::int64_t>(0, next - clock.nowUs());
            timeout.tv_sec = static_cast<time_t>(us / 1000000);
            timeout.tv_nsec = static_cast<long>(us % 1000000) * 1000;
            wait = &timeout;
        }
        pollfd fds[2] = {{m_master, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        const int ready = ::ppoll(fds, 2, wait, nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents)
            break;
        if (fds[0].revents & POLLIN)
            receive();
        else if (fds[0].revents & (POLLHUP | POLLERR))
            idleWhileClosed();
    }
    char drain[16];
    while (::read(m_wake[0], drain, sizeof drain) > 0) {
    }
}

void SimPtyServer::receive()
{
    std::uint8_t buffer[ReadChunk];
    const ssize_t n = ::read(m_master, buffer, sizeof buffer);
    if (n > 0)
        m_link.write(buffer, static_cast<int>(n));
    else if (n < 0 && errno == EIO)
        idleWhileClosed(); // the program closed the port
}

void SimPtyServer::sendArrived()
{
    std::uint8_t buffer[ReadChunk];
    for (int n = m_link.read(buffer, ReadChunk); n > 0; n = m_link.read(buffer, ReadChunk)) {
        // A program that never reads lets the terminal's queue fill up; what
        // does not fit is lost, as on a real line without flow control.
        [[maybe_unused]] const ssize_t written = ::write(m_master, buffer, static_cast<std::size_t>(n));
    }
}

void SimPtyServer::idleWhileClosed()
{
    // Nobody has the port open: what the meter had still to send is lost.
    // The master reports the hang-up at once and again, so look only every
    // few milliseconds (or until a stop).
    m_link.reset();
    pollfd wake{m_wake[0], POLLIN, 0};
    ::poll(&wake, 1, SimPtyIdlePollMs);
}

} // namespace kv
