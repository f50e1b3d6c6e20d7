#pragma once

#include <QString>

// The account that vsftpd and sshd log the tests in as, since they log in only users of
// the system: no shell, no home of its own, a password the tests know. Made by the first
// test that needs it; that takes root, as the servers themselves do.
class TestSystemUser final
{
public:
    static QString name() { return QStringLiteral("vellumet-test"); }
    // Holds characters that must survive escaping, like FtpTestServer's.
    static QString password() { return QStringLiteral("p@ss w:rd/%"); }

    // Whether this process may make the account: tests of vsftpd and sshd are skipped
    // where it may not.
    static bool canBeMade();
    // False with a reason when the account cannot be had here.
    static bool ensure(QString *error);
    // Gives folder and everything below it to the account, so that its sessions may write
    // there; sshd insists that the folder it shuts a session in stays root's.
    enum class Top { HandOver, Keep };
    static bool handOver(const QString &folder, Top top);
};
