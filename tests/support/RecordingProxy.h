#pragma once

#include <QProcess>
#include <QTemporaryDir>

// A relay between a client under test and a server on 127.0.0.1 that keeps every byte
// the client sends, to show what anyone on the network would have seen.
class RecordingProxy final
{
public:
    RecordingProxy() = default;
    ~RecordingProxy() { stop(); }
    Q_DISABLE_COPY_MOVE(RecordingProxy)

    bool start(quint16 targetPort);
    void stop();
    QString errorString() const { return error_; }

    QString address() const; // "127.0.0.1:port"
    QByteArray clientBytes() const;

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
    QString error_;
};
