#include "service/signals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace kv::service {
namespace {

int SignalPipe[2] = {-1, -1};
constexpr std::array<int, 3> HandledSignals{SIGHUP, SIGTERM, SIGINT};

void OnSignal(int signal)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    if (::write(SignalPipe[1], &byte, 1) < 0) {
        // Pipe full: a burst of signals; those already queued will do.
    }
    errno = saved;
}

} // namespace

UnixSignals::UnixSignals(QObject *parent) : QObject(parent)
{
    if (::pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &UnixSignals::readPipe);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : HandledSignals)
        ::sigaction(s, &action, nullptr);
}

UnixSignals::~UnixSignals()
{
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int s : HandledSignals)
        ::sigaction(s, &action, nullptr);
    delete m_notifier;
    for (int &fd : SignalPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void UnixSignals::readPipe()
{
    unsigned char byte = 0;
    while (::read(SignalPipe[0], &byte, 1) == 1) {
        if (byte == SIGHUP)
            emit hangup();
        else
            emit terminate(byte);
    }
}

} // namespace kv::service
