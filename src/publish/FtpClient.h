#pragma once

#include <QString>

// The connection the publish run talks through. Every call blocks; for the calls with a
// result, 1 alone means success.
class FtpClient
{
public:
    virtual ~FtpClient() = default;

    // Opens the connection and logs in.
    virtual int Connect(const QString &server, const QString &login, const QString &password) = 0;
    // Why the last call failed, as a sentence a client can act on; never the password.
    virtual QString LastError() const = 0;
    virtual QString CurrentDirectory() = 0;
    virtual int ChangeDir(const QString &path) = 0;
    // Stores remoteName of the current remote directory as localFolder/remoteName.
    virtual int GetFile(const QString &remoteName, const QString &localFolder) = 0;
    // Stores localPath in the current remote directory, under remoteName or, when that
    // is empty, under the local file's own name.
    virtual int PutFile(const QString &localPath, const QString &remoteName) = 0;
    virtual void Disconnect() = 0;
};
