#pragma once

class QString;
class QWidget;

namespace vellumet
{

// The two things the window asks or tells the user in a box. Behind an interface so
// that tests can answer instead of a modal box.
class UserQuestions
{
public:
    enum class SaveAnswer { Yes, No, Cancel };

    virtual ~UserQuestions() = default;
    // The site definition could not be read, for reason; the program ends after this.
    virtual void reportMissingSiteDefinition(const QString &reason) = 0;
    // Another running program holds the folder (holder says which); the program ends
    // after this without touching anything.
    virtual void reportFolderInUse(const QString &holder) = 0;
    // Closing the box without choosing is Cancel.
    virtual SaveAnswer askSaveChanges(QWidget *parent) = 0;
};

// The real boxes.
class MessageBoxQuestions final : public UserQuestions
{
public:
    void reportMissingSiteDefinition(const QString &reason) override;
    void reportFolderInUse(const QString &holder) override;
    SaveAnswer askSaveChanges(QWidget *parent) override;
};

} // namespace vellumet
