#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// A real FTP server for tests: pyftpdlib on 127.0.0.1 and a free port, serving a
// temporary folder of its own to one user, and noting every command it receives so a
// test can count what reached the server. Stopped, with no process left, on destruction.
class FtpTestServer final
{
public:
    struct Options {
        QString startDir;    // where a login lands, e.g. "/site"; the served root if empty
        QStringList stallOn; // commands after which the server never answers again
        QStringList refuse;  // commands answered with 502, as by an older server
        bool silent = false; // accepts connections and never says a word
        // RNTO only to a free name, as some servers have it.
        bool noRenameOver = false;
        // Folders the user may not write in, e.g. "/site"; they must exist at start().
        QStringList readOnly;
        // With both, TLS is required: set up by AUTH TLS or, when implicitTls, at once.
        QString tlsCertificate;
        QString tlsKey;
        bool implicitTls = false;

        static Options startingIn(const QString &directory)
        {
            Options options;
            options.startDir = directory;
            return options;
        }
        static Options stallingOn(const QString &command)
        {
            Options options;
            options.stallOn = {command};
            return options;
        }
        static Options silentServer()
        {
            Options options;
            options.silent = true;
            return options;
        }
    };

    FtpTestServer() = default;
    ~FtpTestServer();
    Q_DISABLE_COPY_MOVE(FtpTestServer)

    // False with errorString() when the server could not be started.
    bool start(const Options &options);
    bool start();
    void stop();
    QString errorString() const { return error_; }

    QString address() const; // "127.0.0.1:port", as a site definition's SERVER
    quint16 port() const { return port_; }
    // Both hold characters that must survive escaping.
    static QString user() { return QStringLiteral("web site@client"); }
    static QString password() { return QStringLiteral("p@ss w:rd/%"); }

    // Paths below the served root, "/" separated, e.g. "/site/index.html".
    QString localPath(const QString &remotePath) const;
    bool writeFile(const QString &remotePath, const QByteArray &bytes) const;
    QByteArray readFile(const QString &remotePath) const;

    // Every command received so far, in order, passwords masked ("PASS ******").
    QStringList commands() const;
    // How many control connections the server has seen.
    int connections() const;

private:
    QStringList logLines() const;

    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
    QString error_;
};
