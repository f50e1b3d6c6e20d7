#pragma once

#include "publish/PasswordStore.h"

#include <chrono>

namespace vellumet
{

// The system's keyring through QtKeychain. Its jobs answer asynchronously; each call
// waits for its answer in a local event loop, at most a bounded time, so a keyring that
// hangs or asks for an unlock nobody gives cannot hold a Save. Used on one thread only.
class KeychainPasswordStore final : public PasswordStore
{
public:
    explicit KeychainPasswordStore(std::chrono::milliseconds limit = std::chrono::seconds(30));

    bool isAvailable() const override { return available_; }
    Result<QString> read(const QString &server, const QString &login) override;
    Result<> write(const QString &server, const QString &login, const QString &password) override;
    void forget(const QString &server, const QString &login) override;

    // The keyring entry's name: the login percent-encoded, so that no other login and
    // server can make the same one.
    static QString entryKey(const QString &server, const QString &login);

private:
    std::chrono::milliseconds limit_;
    bool available_ = true;
};

} // namespace vellumet
