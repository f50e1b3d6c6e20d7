#include "publish/CurlFtpClientImpl.h"
#include "publish/FtpReplies.h"
#include "publish/RemotePath.h"
#include "site/WholeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <new>

namespace vellumet
{

namespace
{

// A fetch written to its file, up to a cap: a server that streams without end must not
// fill the disk.
struct Download {
    QSaveFile &file;
    qint64 cap;
    qint64 received = 0;
    bool tooLarge = false;
};

size_t writeToFile(char *data, size_t size, size_t count, void *download)
{
    auto *to = static_cast<Download *>(download);
    to->received += qint64(size * count);
    to->tooLarge = to->received > to->cap;
    if (to->tooLarge)
        return 0; // libcurl aborts the transfer
    return size_t(to->file.write(data, qint64(size * count)));
}

QString sizeText(qint64 bytes)
{
    return bytes % (qint64(1) << 20) == 0 ? QStringLiteral("%1 MiB").arg(bytes >> 20)
                                          : QStringLiteral("%1 bytes").arg(bytes);
}

size_t readFromFile(char *buffer, size_t size, size_t count, void *file)
{
    const qint64 read = static_cast<QFile *>(file)->read(buffer, qint64(size * count));
    return read < 0 ? CURL_READFUNC_ABORT : size_t(read);
}

} // namespace

bool CurlFtpClient::Impl::getFile(const QString &remoteName, const QString &localFolder)
{
    if (!usable())
        return false;
    if (!isRemoteFileName(remoteName))
        return refuse(QStringLiteral("Not a valid file name: %1").arg(remoteName));
    const QString localPath = localFolder + u'/' + remoteName;
    if (const Result<> writable = checkWritable(localPath); !writable)
        return refuse(QStringLiteral("Could not write %1 (%2)").arg(localPath, writable.error()));
    // Written beside the old file and renamed over it only when complete.
    QSaveFile file(localPath);
    if (!file.open(QIODevice::WriteOnly))
        return refuse(
            QStringLiteral("Could not write %1 (%2)").arg(file.fileName(), file.errorString()));
    if (!prepare(remotePathOf(remoteName)))
        return false;
    Download download{file, bounds.maxFetchBytes};
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, writeToFile);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &download);
    // For servers that announce the size: refused before a byte comes.
    curl_easy_setopt(curl.get(), CURLOPT_MAXFILESIZE_LARGE, curl_off_t(bounds.maxFetchBytes));
    if (!perform()) {
        if (download.tooLarge || lastCode == CURLE_FILESIZE_EXCEEDED)
            lastError = QStringLiteral("The file %1 on the server is larger than %2")
                            .arg(remoteName, sizeText(bounds.maxFetchBytes));
        else if (file.error() != QFileDevice::NoError)
            lastError =
                QStringLiteral("Could not write %1 (%2)").arg(file.fileName(), file.errorString());
        file.cancelWriting(); // the file in the folder stays as it was
        return false;
    }
    // A page cut short by a full disk must not pass for the whole page.
    if (const Result<> committed = commitWhole(file); !committed)
        return refuse(
            QStringLiteral("Could not write %1 (%2)").arg(file.fileName(), committed.error()));
    return true;
}

bool CurlFtpClient::Impl::putFile(const QString &localPath, const QString &remoteName)
{
    if (!usable())
        return false;
    const QString name = remoteName.isEmpty() ? QFileInfo(localPath).fileName() : remoteName;
    if (!isRemoteFileName(name))
        return refuse(QStringLiteral("Not a valid file name: %1").arg(name));
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(QStringLiteral("Could not read %1 (%2)").arg(localPath, file.errorString()));
    const QString target = remotePathOf(name);
    if (replacing == Replacing::Overwrite)
        return store(file, target, {});
    // The whole file goes to a temporary name beside the page and is renamed over it
    // only once the server has all of it, so a connection that breaks off mid-way
    // leaves the old page up, never part of the new one. The rename goes out behind
    // the transfer, which libcurl sends only after a complete one.
    const QString temporary = remotePathOf(temporaryPrefix + name);
    QList<QByteArray> replace = renameCommands(temporary, target);
    if (replacing == Replacing::DeleteThenRename)
        replace.prepend(deleteCommand(target));
    if (store(file, temporary, replace))
        return true;
    return recoverUpload(file, temporary, target);
}

// Sends the whole file to remotePath, then the commands.
bool CurlFtpClient::Impl::store(QFile &file, const QString &remotePath,
                                const QList<QByteArray> &after)
{
    if (!file.seek(0))
        return refuse(
            QStringLiteral("Could not read %1 (%2)").arg(file.fileName(), file.errorString()));
    if (!prepare(remotePath))
        return false;
    curl_easy_setopt(curl.get(), CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_READFUNCTION, readFromFile);
    curl_easy_setopt(curl.get(), CURLOPT_READDATA, &file);
    curl_easy_setopt(curl.get(), CURLOPT_INFILESIZE_LARGE, curl_off_t(file.size()));
    const CommandList commands = commandList(after);
    curl_easy_setopt(curl.get(), CURLOPT_POSTQUOTE, commands.get());
    if (perform())
        return true;
    if (file.error() != QFileDevice::NoError)
        lastError =
            QStringLiteral("Could not read %1 (%2)").arg(file.fileName(), file.errorString());
    return false;
}

// Until the rename the page under its real name is as it was; how to go on depends on
// how far the upload got.
bool CurlFtpClient::Impl::recoverUpload(QFile &file, const QString &temporary,
                                        const QString &target)
{
    long reply = 0;
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &reply);
    if (lastCode != CURLE_QUOTE_ERROR) {
        // A server that will not make the temporary file (no dot files, say) may still
        // let the page itself be written over.
        if (lastCode == CURLE_UPLOAD_FAILED && (reply == 550 || reply == 553))
            return store(file, target, {});
        discard(temporary);
        return false;
    }
    // The whole file is on the server under the temporary name, and the rename was
    // refused. An accepted RNFR means it was the target's existence that RNTO minded.
    const QList<int> codes = replyCodes(replies);
    if (!sftp() && !codes.contains(350) && isUnknownCommand(codes.value(codes.size() - 1)))
        return storeWithoutRenaming(file, temporary, target);
    if ((sftp() || codes.contains(350)) && replacing == Replacing::Rename) {
        // So delete the old page first: the site is without it for two round trips,
        // and never shows part of the new one under its name.
        QList<QByteArray> commands = renameCommands(temporary, target);
        commands.prepend(deleteCommand(target));
        if (run(commands)) {
            replacing = Replacing::DeleteThenRename;
            return true;
        }
    }
    if (lost)
        return false;
    // Storing straight over the page now could show a reader half of it, and another
    // run may be renaming at this moment: the page fails, and the live one stays whole.
    const QString reason = lastError;
    discard(temporary);
    lastError = QStringLiteral("The server refused to put the new %1 in place of the old "
                               "one: %2")
                    .arg(QFileInfo(target).fileName(), reason);
    return false;
}

// A server without RNFR never renames, for anyone: the one way left is the old one,
// straight over the page, for the rest of the run, and the user is told once.
bool CurlFtpClient::Impl::storeWithoutRenaming(QFile &file, const QString &temporary,
                                               const QString &target)
{
    notice = QStringLiteral("The server %1 cannot rename files, so pages are stored straight "
                            "over the old ones (RNFR: %2)")
                 .arg(address.host, lastError);
    replacing = Replacing::Overwrite;
    discard(temporary);
    return store(file, target, {});
}

// commandList on their own, with no transfer; they stop at the first one refused.
bool CurlFtpClient::Impl::run(const QList<QByteArray> &commands)
{
    if (!prepare(QString()))
        return false;
    curl_easy_setopt(curl.get(), CURLOPT_NOBODY, 1L);
    // After the (empty) transfer, where a refused command leaves the connection open.
    const CommandList list = commandList(commands);
    curl_easy_setopt(curl.get(), CURLOPT_POSTQUOTE, list.get());
    return perform();
}

// Clears away an upload's temporary file if the connection still allows it, keeping
// the report of what went wrong before.
void CurlFtpClient::Impl::discard(const QString &temporary)
{
    const QString reason = lastError;
    if (usable())
        run({deleteCommand(temporary)});
    lastError = reason;
}

QString CurlFtpClient::Impl::remotePathOf(const QString &name) const
{
    return remoteFilePath(currentDir, name);
}

bool CurlFtpClient::Impl::sftp() const
{
    return address.transport == ServerAddress::Transport::Sftp;
}

// libcurl's SFTP commands take paths in quotes; FTP ones take the rest of the line.
QByteArray CurlFtpClient::Impl::commandPath(const QString &path) const
{
    if (!sftp())
        return path.toUtf8();
    QByteArray quoted = path.toUtf8();
    quoted.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + quoted + '"';
}

QList<QByteArray> CurlFtpClient::Impl::renameCommands(const QString &from, const QString &to) const
{
    if (sftp())
        return {"rename " + commandPath(from) + ' ' + commandPath(to)};
    return {"RNFR " + commandPath(from), "RNTO " + commandPath(to)};
}

// "*": the file may well not be there, and that is no failure.
QByteArray CurlFtpClient::Impl::deleteCommand(const QString &path) const
{
    return (sftp() ? QByteArray("*rm ") : QByteArray("*DELE ")) + commandPath(path);
}

// A name of its own for this client's temporary uploads, so that two runs against one
// server, from two programs or two machines, never write into each other's file.
QString CurlFtpClient::Impl::uploadPrefix()
{
    quint32 random[2];
    QRandomGenerator::system()->fillRange(random);
    return QStringLiteral(".vellumet-upload-%1%2-")
        .arg(random[0], 8, 16, QChar(u'0'))
        .arg(random[1], 8, 16, QChar(u'0'));
}

// An empty list is a null one, which libcurl takes for none.
auto CurlFtpClient::Impl::commandList(const QList<QByteArray> &commands) -> CommandList
{
    CommandList list;
    for (const QByteArray &command : commands) {
        // A command quietly left out could report a rename that never happened.
        curl_slist *longer = curl_slist_append(list.get(), command.constData());
        if (!longer)
            throw std::bad_alloc();
        list.release();
        list.reset(longer);
    }
    return list;
}

} // namespace vellumet
