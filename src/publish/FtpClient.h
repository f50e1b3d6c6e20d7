#pragma once

#include "site/Result.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>

namespace vellumet
{

// The connection the publish run talks through. Every call blocks; a failure carries why,
// as a sentence a client can act on, never the password.
class FtpClient
{
public:
    virtual ~FtpClient() = default;

    // Opens the connection and logs in.
    virtual Result<> connect(const QString &server, const QString &login,
                             const QString &password) = 0;
    virtual QString currentDirectory() = 0;
    virtual Result<> changeDir(const QString &path) = 0;
    // Stores remoteName of the current remote directory as localFolder/remoteName.
    virtual Result<> getFile(const QString &remoteName, const QString &localFolder) = 0;
    // Stores localPath in the current remote directory, under remoteName or, when that
    // is empty, under the local file's own name.
    virtual Result<> putFile(const QString &localPath, const QString &remoteName) = 0;
    virtual void disconnect() = 0;
    // Once *flag is true the run is stopping: a step in progress should fail soon rather
    // than wait for a slow server. The flag outlives the client.
    virtual void setCancelFlag(const std::atomic_bool *flag) { (void)flag; }
    // What the client has learnt about the server that the user should know (a way of
    // working it had to fall back to), once; empty when there is nothing new.
    virtual QString takeNotice() { return {}; }
    // True once the connection has broken: every later step on it would fail.
    virtual bool isLost() const { return false; }
    // True when the last connect failed because the server refused the login and
    // password, rather than for want of a server or a connection.
    virtual bool loginRefused() const { return false; }
    // Lets another, not yet connected client of the same run resume this one's TLS
    // sessions, so that it is spared a full handshake. Called from the other's thread
    // while this client may be busy.
    virtual void shareSessionsWith(FtpClient &other) const { (void)other; }
    enum class LoginStep {
        Greeted,  // before the login goes out; false ends the connection without one
        Accepted, // the server took the login; the client is not connected yet
    };
    // Told of the login's steps while connecting. A transport that logs in before any
    // greeting is Greeted before it connects, and may never tell Accepted. Lets a run's
    // extra connections connect while the first logs in, yet send no password before
    // the server has accepted the first's.
    virtual void watchLogin(std::function<bool(LoginStep)> watch) { (void)watch; }
    // Takes reported as the current directory, as another connection of the run found it
    // after the same change, sparing the round trips; false when it must change itself.
    virtual bool adoptDirectory(const QString &reported)
    {
        (void)reported;
        return false;
    }
};

// Makes a fresh, unconnected client; called from any thread.
using FtpClientFactory = std::function<std::unique_ptr<FtpClient>()>;

} // namespace vellumet
