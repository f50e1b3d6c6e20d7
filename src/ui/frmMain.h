#pragma once

#include "publish/PublishTask.h"
#include "site/Catalogue.h"
#include "site/SiteSettings.h"
#include "ui/Twips.h"
#include "ui/WindowPlacement.h"

#include <QWidget>

#include <optional>

class PlainTextEditor;
class QLabel;
class QListWidget;
class QPushButton;
class UserQuestions;

// The program's one window: the paragraph list, the editor and the three buttons, and
// everything the program knows for the whole run. The handlers live in files by
// concern: design, start-up and layout here, editing and publishing in
// frmMainEditing.cpp, closing in frmMainClosing.cpp.
class frmMain final : public QWidget
{
    Q_OBJECT
public:
    // programFolder holds vellumet.ini, the local copies and the page files. ftpClients
    // makes the connection for each publish run, on the run's own thread.
    frmMain(QString programFolder, PublishTask::ClientFactory ftpClients, UserQuestions &questions,
            QWidget *parent = nullptr);
    ~frmMain() override;

    // The load handler: placement, site definition, information page. False when the
    // site definition could not be opened: the user has been told, and the window must
    // not be shown.
    bool Load();
    // A close that the system asks for: unsaved edits go to the local copies, nothing
    // is asked and nothing is uploaded.
    void CloseForSystem();

    int CurrentPara() const { return catalogue_.CurrentPara; }
    const QList<Paragraph> &Paragraphs() const { return catalogue_.Paragraphs; }
    bool IsPublishing() const { return publisher_->isRunning(); }

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // design and start-up (frmMain.cpp)
    void CreateControls();
    void ApplyDesignGeometry();
    void SetTabOrder();
    void ConnectHandlers();
    void RestoreWindowPlacement();
    void StoreWindowPlacement();
    bool LoadSiteDefinition();
    void RegisterParagraph(int paraNumber);
    void FitParagraphList();
    void ApplyLayout();

    // editing and publishing (frmMainEditing.cpp)
    void lstParaSelectionChanged();
    void rtbEditFocusLost();
    void rtbEditChanged();
    void cmdInfoClicked();
    void cmdSaveClicked();
    void StoreEditorText();
    void ClearForOtherText();
    void ShowInfoPage();
    void PublishSite();
    void WriteProgressLine(const QString &line);
    void PublishFinished();

    // closing (frmMainClosing.cpp)
    void cmdExitClicked();
    void ConnectSessionEnd();
    bool AskToSaveBeforeClosing();
    void SaveLocalCopiesForSystem();

    const QString folder_;
    UserQuestions &questions_;
    PublishTask *publisher_ = nullptr;
    Twips twips_;

    SiteSettings settings_;
    Catalogue catalogue_;
    int progressLines_ = 0;
    bool closeAfterPublish_ = false;
    bool closingForSystem_ = false;
    std::optional<Placement> placementToSettle_;

    QPushButton *cmdInfo = nullptr;
    QPushButton *cmdSave = nullptr;
    QPushButton *cmdExit = nullptr;
    QListWidget *lstPara = nullptr;
    PlainTextEditor *rtbEdit = nullptr;
    QLabel *lblSize = nullptr;
};
