#include "service/log.h"

#include <QElapsedTimer>
#include <QHash>

#include <cstdio>
#include <mutex>
#include <sys/stat.h>

namespace kv::service {
namespace {

struct Limit {
    std::int64_t windowStartMs = 0;
    int inWindow = 0;
    int suppressed = 0;
};

struct LogState {
    std::mutex mutex;
    std::function<void(const QString &)> writer;
    std::function<std::int64_t()> clock;
    QHash<QString, Limit> limits;
    int journal = -1; // unknown yet
};

LogState &State()
{
    static LogState state;
    return state;
}

std::int64_t MonotonicMs()
{
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}

void WriteLocked(LogState &s, LogPriority priority, const QString &text)
{
    if (s.journal < 0)
        s.journal = StderrIsJournal() ? 1 : 0;
    const QString line = s.journal ? QStringLiteral("<%1>%2").arg(int(priority)).arg(text)
                                   : QStringLiteral("kv3917d: ") + text;
    if (s.writer) {
        s.writer(line);
        return;
    }
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace

bool StderrIsJournal()
{
    // JOURNAL_STREAM is "device:inode" of the stream systemd connected; a
    // child whose stderr was redirected elsewhere must not use the prefixes.
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    if (stream.isEmpty())
        return false;
    struct stat st {};
    if (::fstat(2, &st) != 0)
        return false;
    const QList<QByteArray> parts = stream.split(':');
    if (parts.size() != 2)
        return false;
    bool okDev = false, okIno = false;
    const qulonglong dev = parts[0].toULongLong(&okDev);
    const qulonglong ino = parts[1].toULongLong(&okIno);
    return okDev && okIno && dev == qulonglong(st.st_dev) && ino == qulonglong(st.st_ino);
}

void Log(LogPriority priority, const QString &text)
{
    LogState &s = State();
    const std::lock_guard<std::mutex> lock(s.mutex);
    WriteLocked(s, priority, text);
}

void LogFault(const QString &kind, LogPriority priority, const QString &text)
{
    LogState &s = State();
    const std::lock_guard<std::mutex> lock(s.mutex);
    const std::int64_t now = s.clock ? s.clock() : MonotonicMs();
    Limit &limit = s.limits[kind];
    if (limit.inWindow == 0 || now - limit.windowStartMs >= LogIntervalMs) {
        limit.windowStartMs = now;
        limit.inWindow = 0;
    }
    if (limit.inWindow >= LogBurst) {
        ++limit.suppressed;
        return;
    }
    ++limit.inWindow;
    QString line = text;
    if (limit.suppressed > 0)
        line += QStringLiteral(" (%1 similar messages left out)").arg(limit.suppressed);
    limit.suppressed = 0;
    WriteLocked(s, priority, line);
}

void SetLogWriter(std::function<void(const QString &)> writer)
{
    LogState &s = State();
    const std::lock_guard<std::mutex> lock(s.mutex);
    s.writer = std::move(writer);
}

void SetLogClock(std::function<std::int64_t()> clock)
{
    LogState &s = State();
    const std::lock_guard<std::mutex> lock(s.mutex);
    s.clock = std::move(clock);
}

void ResetLogLimits()
{
    LogState &s = State();
    const std::lock_guard<std::mutex> lock(s.mutex);
    s.limits.clear();
}

void InstallQtMessageHandler()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        LogPriority p = LogPriority::Info;
        switch (type) {
        case QtDebugMsg:
            p = LogPriority::Debug;
            break;
        case QtInfoMsg:
            p = LogPriority::Info;
            break;
        case QtWarningMsg:
            p = LogPriority::Warning;
            break;
        case QtCriticalMsg:
        case QtFatalMsg:
            p = LogPriority::Error;
            break;
        }
        LogFault(QStringLiteral("qt ") + message.left(40), p, message);
    });
}

} // namespace kv::service
