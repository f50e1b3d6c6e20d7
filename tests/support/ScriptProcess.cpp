#include "ScriptProcess.h"

#include <QDeadlineTimer>
#include <QFile>

quint16 StartScript(QProcess &process, const QString &script, const QStringList &arguments,
                    const QString &errorFile, QString *errorText)
{
    process.setStandardErrorFile(errorFile);
    process.start(QStringLiteral("/usr/bin/python3"), QStringList{script} + arguments);
    QDeadlineTimer deadline(15000);
    while (!process.canReadLine() && process.state() != QProcess::NotRunning &&
           !deadline.hasExpired())
        process.waitForReadyRead(int(deadline.remainingTime()));
    const QByteArray line = process.readLine().trimmed();
    const quint16 port = line.startsWith("PORT ") ? quint16(line.mid(5).toUInt()) : 0;
    if (port == 0) {
        StopScript(process);
        QFile file(errorFile);
        *errorText = script.section(u'/', -1) + QStringLiteral(" did not start: ") +
                     QString::fromUtf8(file.open(QIODevice::ReadOnly) ? file.readAll() : "");
    }
    return port;
}

void StopScript(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.closeWriteChannel();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}
