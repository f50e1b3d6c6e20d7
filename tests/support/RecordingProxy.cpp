#include "RecordingProxy.h"

#include <QDeadlineTimer>
#include <QFile>

bool RecordingProxy::start(quint16 targetPort)
{
    stop();
    process_.setStandardErrorFile(dir_.filePath(QStringLiteral("proxy.err")));
    process_.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(VELLUMET_RECORDING_PROXY), QStringLiteral("--target"),
                    QString::number(targetPort), QStringLiteral("--log"),
                    dir_.filePath(QStringLiteral("client.bin"))});
    QDeadlineTimer deadline(15000);
    while (!process_.canReadLine() && process_.state() != QProcess::NotRunning &&
           !deadline.hasExpired())
        process_.waitForReadyRead(int(deadline.remainingTime()));
    const QByteArray line = process_.readLine().trimmed();
    if (line.startsWith("PORT "))
        port_ = quint16(line.mid(5).toUInt());
    if (port_ == 0) {
        error_ = QStringLiteral("the recording proxy did not start");
        stop();
        return false;
    }
    return true;
}

void RecordingProxy::stop()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.closeWriteChannel(); // the proxy exits when its input ends
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }
    port_ = 0;
}

QString RecordingProxy::address() const
{
    return QStringLiteral("127.0.0.1:") + QString::number(port_);
}

QByteArray RecordingProxy::clientBytes() const
{
    QFile file(dir_.filePath(QStringLiteral("client.bin")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
