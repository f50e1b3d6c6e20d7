#include "ui/MainWindow.h"

#include "site/LocalCopies.h"
#include "site/SiteDefinition.h"
#include "ui/LayoutRule.h"
#include "ui/PlainTextEditor.h"
#include "ui/ProgramIcon.h"
#include "ui/UserQuestions.h"
#include "ui/WidestText.h"
#include "ui/WindowPlacement.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

#include <utility>

namespace vellumet
{

namespace
{

// The design's font is a fixed-pitch screen font with an 8 x 15 pixel cell; DejaVu
// Sans Mono at 10 points has the same cell at 96 dpi.
QFont fixedPitchFont()
{
    QFont font(QStringLiteral("DejaVu Sans Mono"), 10);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    if (QFontInfo(font).fixedPitch())
        return font;
    QFont fallback = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fallback.setPointSize(10);
    return fallback;
}

QPushButton *makeButton(QWidget *window, const char *name, const char *caption, const char *tooltip)
{
    auto *button = new QPushButton(QString::fromLatin1(caption), window);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(QString::fromLatin1(tooltip));
    button->setAutoDefault(false);
    return button;
}

// A user cannot empty this list (Ctrl+click or Ctrl+Space on the selected entry), as
// one cannot empty a single-selection list box on Windows: the editor would be left
// editable with text that belongs to no paragraph.
class ParagraphList final : public QListWidget
{
public:
    using QListWidget::QListWidget;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event) const override
    {
        const QItemSelectionModel::SelectionFlags command =
            QListWidget::selectionCommand(index, event);
        return command.testFlag(QItemSelectionModel::Deselect) ? QItemSelectionModel::NoUpdate
                                                               : command;
    }
};

} // namespace

MainWindow::MainWindow(QString programFolder, PublishTask::ClientFactory ftpClients,
                       UserQuestions &questions, PasswordStore &passwords, QWidget *parent)
    : QWidget(parent), folder_(std::move(programFolder)), folderLock_(folder_),
      questions_(questions), passwords_(passwords), publisher_(new PublishTask(ftpClients, this)),
      previewer_(new PreviewTask(std::move(ftpClients), this)), twips_(Twips::forWidget(this))
{
    createControls();
    createParagraphMenu();
    applyDesignGeometry();
    applyTabOrder();
    connectHandlers();
}

MainWindow::~MainWindow()
{
    // The controls go before this object does, and the editor reports losing the focus
    // on its way out: nothing may reach the handlers by then.
    disconnect(editor_, nullptr, this, nullptr);
    disconnect(paragraphList_, nullptr, this, nullptr);
    disconnect(publisher_, nullptr, this, nullptr);
    // A preview still being built must end before its folder goes.
    delete previewer_;
}

bool MainWindow::load()
{
    if (const Result<> taken = folderLock_.take(); !taken) {
        questions_.reportFolderInUse(taken.error());
        return false;
    }
    restoreWindowPlacement();
    if (!loadSiteDefinition())
        return false;
    showInfoPage();
    return true;
}

void MainWindow::createControls()
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Vellumet"));

    infoButton_ = makeButton(this, "cmdInfo", "Info",
                             "Press this button to view information about this program.");
    saveButton_ =
        makeButton(this, "cmdSave", "Save",
                   "Press this button to save your paragaphs and upload them to your website.");
    saveButton_->setEnabled(false);
    exitButton_ =
        makeButton(this, "cmdExit", "Exit", "Press this button to exit from this program.");

    const QFont fixedPitch = fixedPitchFont();
    paragraphList_ = new ParagraphList(this);
    paragraphList_->setObjectName(QStringLiteral("lstPara"));
    paragraphList_->setToolTip(QStringLiteral(
        "Select the paragraph that you want to edit by clicking an entry in this box."));
    paragraphList_->setSelectionMode(QAbstractItemView::SingleSelection);
    paragraphList_->setFont(fixedPitch);
    // One line each in one font: the list need not ask every entry for its size.
    paragraphList_->setUniformItemSizes(true);

    editor_ = new PlainTextEditor(this);
    editor_->setObjectName(QStringLiteral("rtbEdit"));
    editor_->setFont(fixedPitch);

    sizeLabel_ = new QLabel(QStringLiteral("Sizer"), this);
    sizeLabel_->setObjectName(QStringLiteral("lblSize"));
    sizeLabel_->setFont(fixedPitch);
    sizeLabel_->setWordWrap(false);
    // Descriptions are shown literally in the list: "<b>" or "&amp;" must not be rendered.
    sizeLabel_->setTextFormat(Qt::PlainText);
    sizeLabel_->hide();
}

void MainWindow::applyDesignGeometry()
{
    resize(twips_.toPixels(5190), twips_.toPixels(2595));
    const struct {
        QWidget *control;
        double left, top, width, height;
    } design[] = {
        {infoButton_, 120, 120, 735, 375},  {saveButton_, 960, 120, 735, 375},
        {exitButton_, 1800, 120, 735, 375}, {paragraphList_, 120, 600, 2415, 1020},
        {editor_, 2655, 120, 2415, 1095},   {sizeLabel_, 840, 1800, 600, 225},
    };
    for (const auto &d : design)
        d.control->setGeometry(twips_.toPixels(d.left, d.top, d.width, d.height));
}

void MainWindow::applyTabOrder()
{
    setTabOrder(infoButton_, saveButton_);
    setTabOrder(saveButton_, exitButton_);
    setTabOrder(exitButton_, paragraphList_);
    setTabOrder(paragraphList_, editor_);
    infoButton_->setFocus();
}

void MainWindow::connectHandlers()
{
    connect(paragraphList_, &QListWidget::itemSelectionChanged, this,
            &MainWindow::onParagraphSelected);
    connect(editor_, &PlainTextEditor::focusLost, this, &MainWindow::onEditorFocusLost);
    connect(editor_, &PlainTextEditor::textChanged, this, &MainWindow::onEditorChanged);
    connect(infoButton_, &QPushButton::clicked, this, &MainWindow::onInfoClicked);
    connect(saveButton_, &QPushButton::clicked, this, &MainWindow::onSaveClicked);
    connect(exitButton_, &QPushButton::clicked, this, &MainWindow::onExitClicked);
    connect(publisher_, &PublishTask::lineWritten, this, &MainWindow::writeProgressLine);
    connect(publisher_, &PublishTask::finished, this, &MainWindow::onPublishFinished);
    connect(publisher_, &PublishTask::passwordNeeded, this, &MainWindow::supplyPassword);
    connectSessionEnd();
}

void MainWindow::restoreWindowPlacement()
{
    const QSizeF screen = screenSizeInTwips(*this, twips_);
    applyPlacement(*this, placementToApply(readStoredPlacement(), screen), twips_);
    // Checked as the window took it: the toolkit may have adjusted what was applied.
    const Placement applied = windowPlacementOf(*this, twips_);
    const Placement kept = keepOnScreen(applied, screen);
    if (kept != applied)
        applyPlacement(*this, kept, twips_);
    placementToSettle_ = kept;
}

// Some window managers tell the frame's size only once the window is on the screen.
// The restored outer placement is applied again then, or the window would grow by its
// frame on every start.
void MainWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || !isActiveWindow() || !placementToSettle_)
        return;
    const Placement wanted = *std::exchange(placementToSettle_, std::nullopt);
    const QRect frame = twips_.toPixels(wanted.left, wanted.top, wanted.width, wanted.height);
    const Qt::WindowStates notNormal =
        Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;
    if (!(windowState() & notNormal) && frameGeometry() != frame)
        applyPlacement(*this, wanted, twips_);
}

// Queued, so that the icon is decoded only after this first frame has reached the screen.
void MainWindow::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (!std::exchange(iconSet_, true))
        QMetaObject::invokeMethod(
            this, [this] { setProgramIcon(*this); }, Qt::QueuedConnection);
}

void MainWindow::storeWindowPlacement()
{
    if (const auto placement = placementToStore(windowPlacementOf(*this, twips_), windowState()))
        writeStoredPlacement(*placement);
}

bool MainWindow::loadSiteDefinition()
{
    const Result<QByteArray> bytes = readSiteDefinitionFile(folder_);
    if (!bytes) {
        questions_.reportMissingSiteDefinition(bytes.error());
        return false;
    }
    SiteDefinition site = parseSiteDefinition(*bytes);
    settings_ = std::move(site.settings);
    catalogue_ = Catalogue{std::move(site.pages), std::move(site.paragraphs)};
    QStringList shown;
    for (int n = 1; n <= catalogue_.paraCount(); ++n)
        shown << registerParagraph(n);
    // The hidden label's font measures the captions as the label would show them, without
    // laying out a label for each of hundreds of paragraphs.
    const int widest = widestAdvance(sizeLabel_->font(), shown);
    catalogue_.listWidth = widenListWidth(catalogue_.listWidth, twips_.fromPixels(widest));
    loadLocalCopies(catalogue_.paragraphs, folder_);
    if (const QString caption = captionFor(settings_.title); !caption.isEmpty())
        setWindowTitle(caption);
    fitParagraphList();
    return true;
}

QString MainWindow::registerParagraph(int paraNumber)
{
    const QString shown = shortened(catalogue_.para(paraNumber).description);
    auto *entry = new QListWidgetItem(shown, paragraphList_);
    entry->setData(Qt::UserRole, paraNumber);
    return shown;
}

void MainWindow::fitParagraphList()
{
    const ListFit fit =
        fitListWidth(catalogue_.listWidth, twips_.fromPixels(paragraphList_->width()),
                     twips_.fromPixels(paragraphList_->x()), twips_.fromPixels(width()));
    catalogue_.listWidth = fit.listWidth;
    if (fit.newListWidth)
        paragraphList_->resize(twips_.toPixels(*fit.newListWidth), paragraphList_->height());
    if (fit.newEditorLeft)
        editor_->move(twips_.toPixels(*fit.newEditorLeft), editor_->y());
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    applyLayout();
}

void MainWindow::applyLayout()
{
    const LayoutSizes sizes =
        layoutFor({twips_.fromPixels(width()), twips_.fromPixels(height()),
                   twips_.fromPixels(paragraphList_->y()), twips_.fromPixels(editor_->x()),
                   twips_.fromPixels(editor_->y())});
    if (sizes.listHeight)
        paragraphList_->resize(paragraphList_->width(), twips_.toPixels(*sizes.listHeight));
    if (sizes.editorHeight)
        editor_->resize(editor_->width(), twips_.toPixels(*sizes.editorHeight));
    if (sizes.editorWidth)
        editor_->resize(twips_.toPixels(*sizes.editorWidth), editor_->height());
}

} // namespace vellumet
