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

} // namespace kvtest
