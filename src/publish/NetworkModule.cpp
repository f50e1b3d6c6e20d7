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
        const NewFtpClient make = load();
        return std::unique_ptr<FtpClient>(make(trustFolder));
    }

private:
    // Under the lock, so that two first runs (a preview and a save) load and start
    // libcurl once between them.
    NewFtpClient load()
    {
        const std::lock_guard lock(mutex_);
        if (!newClient_)
            newClient_ = loadFrom(findModule());
        return newClient_;
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

    static NewFtpClient loadFrom(const QString &path)
    {
        QLibrary library(path);
        // Clients made by the module outlive any one factory; it stays for the process.
        library.setLoadHints(QLibrary::PreventUnloadHint);
        const auto start = reinterpret_cast<StartNetwork>(library.resolve(StartNetworkSymbol));
        const auto make = reinterpret_cast<NewFtpClient>(library.resolve(NewFtpClientSymbol));
        if (!start || !make)
            throw std::runtime_error(library.errorString().toStdString());
        if (const char *failed = start())
            throw std::runtime_error(failed);
        return make;
    }

    const QString folder_;
    std::mutex mutex_;
    NewFtpClient newClient_ = nullptr;
};

} // namespace

FtpClientFactory networkModuleClients(const QString &moduleFolder, const QString &trustFolder)
{
    auto module = std::make_shared<LazyModule>(moduleFolder);
    return [module, trustFolder] { return module->makeClient(trustFolder); };
}

} // namespace vellumet
