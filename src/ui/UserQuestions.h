#pragma once

#include <QStringList>

#include <optional>

class QUrl;
class QWidget;

namespace vellumet
{

// What the window asks or tells the user in a box, and the browser it opens. Behind an
// interface so that tests can answer instead of a modal box or a browser.
class UserQuestions
{
public:
    enum class SaveAnswer { Yes, No, Cancel };
    struct PasswordAnswer {
        QString password;
        bool remember = true;
    };

    virtual ~UserQuestions() = default;
    // The site definition could not be read, for reason; the program ends after this.
    virtual void reportMissingSiteDefinition(const QString &reason) = 0;
    // Another running program holds the folder (holder says which); the program ends
    // after this without touching anything.
    virtual void reportFolderInUse(const QString &holder) = 0;
    // Closing the box without choosing is Cancel.
    virtual SaveAnswer askSaveChanges(QWidget *parent) = 0;
    // Pages a preview could not show, each as "page - reason".
    virtual void reportPreviewFailures(QWidget *parent, const QStringList &failures) = 0;
    // False when no browser could be started.
    virtual bool openInBrowser(const QUrl &url) = 0;
    // The FTP password for login on server; none after Cancel. Without a keyring there is
    // nothing to remember it in, and the box says so.
    virtual std::optional<PasswordAnswer> askPassword(QWidget *parent, const QString &server,
                                                      const QString &login,
                                                      bool keyringAvailable) = 0;
};

// The real boxes.
class MessageBoxQuestions final : public UserQuestions
{
public:
    void reportMissingSiteDefinition(const QString &reason) override;
    void reportFolderInUse(const QString &holder) override;
    SaveAnswer askSaveChanges(QWidget *parent) override;
    void reportPreviewFailures(QWidget *parent, const QStringList &failures) override;
    bool openInBrowser(const QUrl &url) override;
    std::optional<PasswordAnswer> askPassword(QWidget *parent, const QString &server,
                                              const QString &login, bool keyringAvailable) override;
};

} // namespace vellumet
