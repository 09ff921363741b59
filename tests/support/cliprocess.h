#pragma once
// Runs a command-line program to its end, for the tests of kv3917-cli.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace kvtest {

struct ProcessRun {
    bool finished = false; // ended within the time allowed
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    QByteArray out;
    QByteArray err;
};

// A program still running after timeoutMs is killed and reads as unfinished.
inline ProcessRun RunProcess(const QString &program, const QStringList &args, int timeoutMs)
{
    QProcess process;
    process.start(program, args);
    ProcessRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.finished = true;
    run.exitCode = process.exitCode();
    run.exitStatus = process.exitStatus();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// The text's lines without the final newline; none for empty text.
inline QStringList Lines(const QByteArray &bytes)
{
    QString text = QString::fromUtf8(bytes);
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

#ifdef KV_CLI_PATH
// One run of kv3917-cli, its output as lines and its error output as text
// and as lines.  The exit code is -1 when it did not end in time and -2
// when it crashed.
struct CliRun {
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    QByteArray outBytes;
    QStringList out;
    QString err;
    QStringList errLines;
};

inline CliRun RunCli(const QStringList &args, int timeoutMs = 30000)
{
    const ProcessRun process = RunProcess(QStringLiteral(KV_CLI_PATH), args, timeoutMs);
    CliRun run;
    if (!process.finished)
        return run;
    run.exitStatus = process.exitStatus;
    run.exitCode = process.exitStatus == QProcess::NormalExit ? process.exitCode : -2;
    run.outBytes = process.out;
    run.out = Lines(process.out);
    run.err = QString::fromUtf8(process.err);
    run.errLines = Lines(process.err);
    return run;
}
#endif

} // namespace kvtest
