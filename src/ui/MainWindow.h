#pragma once

#include "publish/PagePreview.h"
#include "publish/PublishTask.h"
#include "site/Catalogue.h"
#include "site/FolderLock.h"
#include "site/SiteSettings.h"
#include "ui/Twips.h"
#include "ui/WindowPlacement.h"

#include <QWidget>

#include <chrono>
#include <memory>
#include <optional>

class QAction;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class QTemporaryDir;

namespace vellumet
{

class PasswordStore;
class PlainTextEditor;
class UserQuestions;

// The program's one window: the paragraph list, the editor and the three buttons, and
// everything the program knows for the whole run. The handlers live in files by
// concern: design, start-up and layout here, editing and publishing in
// MainWindowEditing.cpp, closing in MainWindowClosing.cpp, the list's menu of earlier
// texts and preview in MainWindowParagraphMenu.cpp.
class MainWindow final : public QWidget
{
    Q_OBJECT
public:
    // programFolder holds vellumet.ini, the local copies and the page files. ftpClients
    // makes the connection for each publish run, on the run's own thread. passwords keeps
    // the FTP password when vellumet.ini gives none.
    MainWindow(QString programFolder, PublishTask::ClientFactory ftpClients,
               UserQuestions &questions, PasswordStore &passwords, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The load handler: folder lock, placement, site definition, information page. False
    // when another program holds the folder or the site definition could not be opened:
    // the user has been told, and the window must not be shown.
    bool load();
    // A close that the system asks for: unsaved edits go to the local copies, nothing
    // is asked and nothing is uploaded.
    void closeForSystem();

    int currentPara() const { return catalogue_.currentPara; }
    const QList<Paragraph> &paragraphs() const { return catalogue_.paragraphs; }
    bool isPublishing() const { return publisher_->isRunning(); }
    // Asks a running publish run to stop and waits for it at most limit; true when no
    // run is left running.
    bool stopPublishing(std::chrono::milliseconds limit);

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // design and start-up (MainWindow.cpp)
    void createControls();
    void applyDesignGeometry();
    void applyTabOrder();
    void connectHandlers();
    void restoreWindowPlacement();
    void storeWindowPlacement();
    bool loadSiteDefinition();
    QString registerParagraph(int paraNumber); // the caption the list shows
    void fitParagraphList();
    void applyLayout();

    // editing and publishing (MainWindowEditing.cpp)
    void onParagraphSelected();
    void onEditorFocusLost();
    void onEditorChanged();
    void onInfoClicked();
    void onSaveClicked();
    void storeEditorText();
    void clearForOtherText();
    void showInfoPage();
    void startPublishing();
    void writeProgressLine(const QString &line);
    void onPublishFinished();

    // the password vellumet.ini leaves out (MainWindowPassword.cpp)
    void supplyPassword();
    std::optional<QString> knownPassword();
    std::optional<QString> askForPassword();
    void forgetPassword();

    // closing (MainWindowClosing.cpp)
    void onExitClicked();
    void connectSessionEnd();
    bool askToSaveBeforeClosing();
    void saveLocalCopiesForSystem();

    // the paragraph list's menu (MainWindowParagraphMenu.cpp)
    void createParagraphMenu();
    void onParagraphMenuRequested(const QPoint &pos);
    void showEarlierTexts();
    void restoreEarlierText(int paraNumber, const QString &text);
    void previewParagraph();
    void onPreviewFinished();

    const QString folder_;
    FolderLock folderLock_;
    UserQuestions &questions_;
    PasswordStore &passwords_;
    std::optional<QString> sessionPassword_; // never shown, never written to a file
    PublishTask *publisher_ = nullptr;
    PreviewTask *previewer_ = nullptr;
    std::unique_ptr<QTemporaryDir> previewFolder_; // removed, with its pages, at exit
    Twips twips_;

    SiteSettings settings_;
    Catalogue catalogue_;
    int progressLines_ = 0;
    bool closeAfterPublish_ = false;
    bool closingForSystem_ = false;
    std::optional<Placement> placementToSettle_;
    bool iconSet_ = false;

    QPushButton *infoButton_ = nullptr;
    QPushButton *saveButton_ = nullptr;
    QPushButton *exitButton_ = nullptr;
    QListWidget *paragraphList_ = nullptr;
    PlainTextEditor *editor_ = nullptr;
    QLabel *sizeLabel_ = nullptr;
    QMenu *paragraphMenu_ = nullptr;
    QAction *earlierTextsAction_ = nullptr;
    QAction *previewAction_ = nullptr;
};

} // namespace vellumet
