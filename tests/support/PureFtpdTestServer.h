#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// pure-ftpd on 127.0.0.1 and a free port: a second real server with ways of its own, not
// least that an upload broken off leaves what arrived, even nothing, under the name it
// was sent to. One virtual user is shut in a temporary folder and works there as nobody,
// so the folder's permissions bind it as they bind a hosting account. Needs root, and the
// copy of pure-ftpd that scripts/setup unpacks. Keeps no command log: put a CuttingProxy
// in front to see the commands.
class PureFtpdTestServer final
{
public:
    PureFtpdTestServer() = default;
    ~PureFtpdTestServer() { stop(); }
    Q_DISABLE_COPY_MOVE(PureFtpdTestServer)

    // Why the server cannot run here; empty when it can.
    static QString unavailableReason();

    // pureFtpdOptions go to pure-ftpd as they are, e.g. "--norename". False with
    // errorString() when the server could not be started.
    bool start(const QStringList &pureFtpdOptions = {});
    void stop();
    QString errorString() const { return error_; }

    QString address() const; // "127.0.0.1:port"
    quint16 port() const { return port_; }
    static QString user() { return QStringLiteral("web"); }
    static QString password() { return QStringLiteral("p@ss w:rd/%"); }

    // Paths below the user's root, "/" separated. Files and folders made here belong to
    // the user, as its own uploads would.
    QString localPath(const QString &remotePath) const;
    bool writeFile(const QString &remotePath, const QByteArray &bytes) const;
    QByteArray readFile(const QString &remotePath) const;

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
    QString error_;
};
