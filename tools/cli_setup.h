#pragma once
// The setup commands of kv3917-cli: info, set-clock, set-interval, erase.

#include <QString>
#include <QStringList>

bool IsSetupCommand(const QString &command);
// Runs `kv3917-cli <command> ...`; returns the exit status.
int RunSetupCommand(const QStringList &args);

extern const char *const SetupHelpText;
