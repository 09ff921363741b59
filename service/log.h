#pragma once
// The service's log: one line per message on standard error.  Under journald
// (JOURNAL_STREAM names our stderr) each line starts with the syslog priority
// "<N>" so the journal files it under that priority; otherwise it starts with
// the program name.  Faults that repeat (a silent meter, a refused port) are
// rate-limited per kind.  Thread-safe.

#include <QString>

#include <cstdint>
#include <functional>

namespace kv::service {

enum class LogPriority { Error = 3, Warning = 4, Notice = 5, Info = 6, Debug = 7 };

// At most this many lines of one kind per interval; the first line of the
// next interval says how many were left out.
constexpr int LogBurst = 5;
constexpr int LogIntervalMs = 60000;

// True when standard error is the journal's stream.
bool StderrIsJournal();

void Log(LogPriority priority, const QString &text);
// Rate-limited by `kind` (e.g. "poll-failed ttyUSB0").
void LogFault(const QString &kind, LogPriority priority, const QString &text);

// Where the lines go: standard error unless replaced (tests).  The formatted
// line comes without its newline.
void SetLogWriter(std::function<void(const QString &line)> writer);
// The monotonic clock of the rate limiter in ms (tests move it).
void SetLogClock(std::function<std::int64_t()> clock);
// Forgets the rate limiter's history.
void ResetLogLimits();

// Routes Qt's own messages (qWarning from the link, ...) through Log.
void InstallQtMessageHandler();

} // namespace kv::service
