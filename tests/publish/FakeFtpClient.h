#pragma once

#include "publish/FtpClient.h"

#include <QHash>
#include <QStringList>

// Plays the server for the publish run: notes every call, answers from a script, and
// passes page files between a map and the program folder.
class FakeFtpClient final : public FtpClient
{
public:
    explicit FakeFtpClient(QString folder) : folder_(std::move(folder)) {}

    // Script: calls as they are noted ("ChangeDir /x", "GetFile a.html") that give 0,
    // that throw, and fetches that succeed without writing anything.
    QString home = QStringLiteral("/home/site");
    QStringList failing;
    QStringList throwing;
    QStringList fetchedEmpty;
    QHash<QString, QByteArray> serverFiles; // by name; any other name gets DefaultPage
    static inline const QByteArray DefaultPage = "<p>@{Intro}@</p>\r\n";

    QStringList calls;
    QStringList uploads; // "name: bytes" of each PutFile, read when it was called

    int Connect(const QString &server, const QString &login, const QString &password) override
    {
        current_ = home;
        return answer(QStringList{QStringLiteral("Connect"), server, login, password}.join(u' '));
    }
    QString LastError() const override { return QStringLiteral("Login incorrect (530)"); }
    QString CurrentDirectory() override { return current_; }
    int ChangeDir(const QString &path) override
    {
        if (answer(QStringLiteral("ChangeDir ") + path) != 1)
            return 0;
        current_ = path.startsWith(u'/') ? path : current_ + u'/' + path;
        return 1;
    }
    int GetFile(const QString &remoteName, const QString &localFolder) override;
    int PutFile(const QString &localPath, const QString &remoteName) override;
    void Disconnect() override { answer(QStringLiteral("Disconnect")); }

private:
    int answer(const QString &call);

    QString folder_;
    QString current_;
};
