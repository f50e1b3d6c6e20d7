#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The tests' helper scripts run by Debian's Python (the one that sees pyftpdlib): each
// prints "PORT <n>" once it listens and exits when its standard input closes, so a test
// that dies leaves none behind.

// Starts script with arguments and gives the port it announced; 0 when it did not start,
// with errorText saying why (the script's error output).
quint16 StartScript(QProcess &process, const QString &script, const QStringList &arguments,
                    const QString &errorFile, QString *errorText);

// Closes the script's input and waits for it to end; kills it when it does not.
void StopScript(QProcess &process);
