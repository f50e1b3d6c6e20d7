#include "publish/NetworkModule.h"

#include "publish/NetworkModuleEntry.h"

#include <QFileInfo>
#include <QLibrary>

#include <mutex>
#include <stdexcept>

namespace vellumet
{

namespace
{

class LazyModule
{
public:
    explicit LazyModule(QString folder) : folder_(std::move(folder)) {}

    std::unique_ptr<FtpClient> makeClient(const QString &trustFolder)
    {
        return std::unique_ptr<FtpClient>(entries().newClient(trustFolder));
    }

    std::unique_ptr<PasswordStore> makePasswordStore()
    {
        return std::unique_ptr<PasswordStore>(entries().newPasswordStore());
    }

private:
    struct Entries {
        NewFtpClient newClient = nullptr;
        NewPasswordStore newPasswordStore = nullptr;
    };

    // Under the lock, so that two first runs (a preview and a save) load and start
    // libcurl once between them.
    Entries entries()
    {
        const std::lock_guard lock(mutex_);
        if (!entries_.newClient)
            entries_ = loadFrom(findModule());
        return entries_;
    }

    QString findModule() const
    {
        const QString name = QString::fromLatin1(NetworkModuleFileName);
        for (const QString &path :
             {folder_ + u'/' + name, folder_ + QStringLiteral("/lib/") + name})
            if (QFileInfo::exists(path))
                return path;
        throw std::runtime_error(QStringLiteral("%1 is in neither %2 nor its lib folder")
                                     .arg(name, folder_)
                                     .toStdString());
    }

    static Entries loadFrom(const QString &path)
    {
        QLibrary library(path);
        // What the module makes outlives any one factory; it stays for the process.
        library.setLoadHints(QLibrary::PreventUnloadHint);
        const auto start = reinterpret_cast<StartNetwork>(library.resolve(StartNetworkSymbol));
        const Entries found{
            reinterpret_cast<NewFtpClient>(library.resolve(NewFtpClientSymbol)),
            reinterpret_cast<NewPasswordStore>(library.resolve(NewPasswordStoreSymbol))};
        if (!start || !found.newClient || !found.newPasswordStore)
            throw std::runtime_error(library.errorString().toStdString());
        if (const char *failed = start())
            throw std::runtime_error(failed);
        return found;
    }

    const QString folder_;
    std::mutex mutex_;
    Entries entries_;
};

// The keyring lives in the module too (QtDBus and its libraries), and is loaded with the
// first question for a password; a module that cannot be loaded counts as no keyring.
class ModulePasswordStore final : public PasswordStore
{
public:
    explicit ModulePasswordStore(QString folder) : module_(std::move(folder)) {}

    bool isAvailable() const override { return store() && store()->isAvailable(); }
    Result<QString> read(const QString &server, const QString &login) override
    {
        if (!store())
            return failure(reason_);
        return store()->read(server, login);
    }
    Result<> write(const QString &server, const QString &login, const QString &password) override
    {
        if (!store())
            return failure(reason_);
        return store()->write(server, login, password);
    }
    void forget(const QString &server, const QString &login) override
    {
        if (store())
            store()->forget(server, login);
    }

private:
    PasswordStore *store() const
    {
        if (!tried_) {
            tried_ = true;
            try {
                store_ = module_.makePasswordStore();
            } catch (const std::exception &e) {
                reason_ = QStringLiteral("No keyring could be reached (%1)")
                              .arg(QString::fromLocal8Bit(e.what()));
            }
        }
        return store_.get();
    }

    mutable LazyModule module_;
    mutable std::unique_ptr<PasswordStore> store_;
    mutable bool tried_ = false;
    mutable QString reason_;
};

} // namespace

FtpClientFactory networkModuleClients(const QString &moduleFolder, const QString &trustFolder)
{
    auto module = std::make_shared<LazyModule>(moduleFolder);
    return [module, trustFolder] { return module->makeClient(trustFolder); };
}

std::unique_ptr<PasswordStore> networkModulePasswords(const QString &moduleFolder)
{
    return std::make_unique<ModulePasswordStore>(moduleFolder);
}

} // namespace vellumet
