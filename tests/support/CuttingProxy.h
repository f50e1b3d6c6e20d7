#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// An FTP relay between the client under test and a server on 127.0.0.1 that breaks the
// session on cue, as a failing network would: in the middle of a transfer, after a given
// number of its bytes, or as a command goes out. Data connections pass through it too.
// Notes every command the client sends, so it also shows what reached a server that keeps
// no log of its own.
class CuttingProxy final
{
public:
    struct Cut {
        QString command;        // "RETR", "STOR", "RNFR" ...; empty: never cut
        int occurrence = 1;     // 1 for the first such command of the whole run, 2 for the next
        qint64 afterBytes = -1; // transfers: the bytes let through; -1: as the command arrives
        bool silent = false;    // the link goes quiet instead of resetting the connections
    };

    CuttingProxy() = default;
    ~CuttingProxy() { stop(); }
    Q_DISABLE_COPY_MOVE(CuttingProxy)

    bool start(quint16 serverPort, const Cut &cut);
    void stop();
    QString errorString() const { return error_; }

    QString address() const; // "127.0.0.1:port", as a site definition's SERVER

    // Every command the client sent, in order, passwords masked ("PASS ******").
    QStringList commands() const;
    // The cuts made, e.g. "STOR #2 after 1000 bytes", "on RNFR #1".
    QStringList cuts() const;

private:
    QStringList logLines() const;

    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
    QString error_;
};
