#include "FakeFtpClient.h"

#include <QFile>

#include <stdexcept>

int FakeFtpClient::answer(const QString &call)
{
    calls.append(call);
    if (throwing.contains(call))
        throw std::runtime_error("fake failure");
    return failing.contains(call) ? 0 : 1;
}

int FakeFtpClient::GetFile(const QString &remoteName, const QString &localFolder)
{
    const QString where =
        localFolder == folder_ ? QString() : QStringLiteral(" into ") + localFolder;
    if (answer(QStringLiteral("GetFile ") + remoteName + where) != 1)
        return 0;
    if (fetchedEmpty.contains(remoteName))
        return 1;
    QFile file(localFolder + u'/' + remoteName);
    if (!file.open(QIODevice::WriteOnly))
        return 0;
    file.write(serverFiles.value(remoteName, DefaultPage));
    return 1;
}

int FakeFtpClient::PutFile(const QString &localPath, const QString &remoteName)
{
    const QString prefix = folder_ + u'/';
    QString call = QStringLiteral("PutFile ") +
                   (localPath.startsWith(prefix) ? localPath.mid(prefix.size()) : localPath);
    if (!remoteName.isEmpty())
        call += QStringLiteral(" as ") + remoteName;
    const int result = answer(call);
    QFile file(localPath);
    if (result == 1 && file.open(QIODevice::ReadOnly))
        uploads.append(localPath.mid(prefix.size()) + QStringLiteral(": ") +
                       QString::fromLatin1(file.readAll()));
    return result;
}
