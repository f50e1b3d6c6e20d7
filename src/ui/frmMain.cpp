#include "ui/frmMain.h"

#include "site/LocalCopies.h"
#include "site/SiteDefinition.h"
#include "ui/LayoutRule.h"
#include "ui/PlainTextEditor.h"
#include "ui/UserQuestions.h"
#include "ui/WindowPlacement.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include <utility>

namespace
{

// The design's font is a fixed-pitch screen font with an 8 x 15 pixel cell; DejaVu
// Sans Mono at 10 points has the same cell at 96 dpi.
QFont FixedPitchFont()
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

QPushButton *MakeButton(QWidget *window, const char *name, const char *caption, const char *tooltip)
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

frmMain::frmMain(QString programFolder, PublishTask::ClientFactory ftpClients,
                 UserQuestions &questions, QWidget *parent)
    : QWidget(parent), folder_(std::move(programFolder)), questions_(questions),
      publisher_(new PublishTask(std::move(ftpClients), this)), twips_(Twips::ForWidget(this))
{
    CreateControls();
    ApplyDesignGeometry();
    SetTabOrder();
    ConnectHandlers();
}

frmMain::~frmMain()
{
    // The controls go before this object does, and the editor reports losing the focus
    // on its way out: nothing may reach the handlers by then.
    disconnect(rtbEdit, nullptr, this, nullptr);
    disconnect(lstPara, nullptr, this, nullptr);
    disconnect(publisher_, nullptr, this, nullptr);
}

bool frmMain::Load()
{
    RestoreWindowPlacement();
    if (!LoadSiteDefinition())
        return false;
    ShowInfoPage();
    return true;
}

void frmMain::CreateControls()
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Vellumet"));
    setWindowIcon(QIcon(QStringLiteral(":/icon/vellumet.png")));

    cmdInfo = MakeButton(this, "cmdInfo", "Info",
                         "Press this button to view information about this program.");
    cmdSave =
        MakeButton(this, "cmdSave", "Save",
                   "Press this button to save your paragaphs and upload them to your website.");
    cmdSave->setEnabled(false);
    cmdExit = MakeButton(this, "cmdExit", "Exit", "Press this button to exit from this program.");

    const QFont fixedPitch = FixedPitchFont();
    lstPara = new ParagraphList(this);
    lstPara->setObjectName(QStringLiteral("lstPara"));
    lstPara->setToolTip(QStringLiteral(
        "Select the paragraph that you want to edit by clicking an entry in this box."));
    lstPara->setSelectionMode(QAbstractItemView::SingleSelection);
    lstPara->setFont(fixedPitch);

    rtbEdit = new PlainTextEditor(this);
    rtbEdit->setObjectName(QStringLiteral("rtbEdit"));
    rtbEdit->setFont(fixedPitch);

    lblSize = new QLabel(QStringLiteral("Sizer"), this);
    lblSize->setObjectName(QStringLiteral("lblSize"));
    lblSize->setFont(fixedPitch);
    lblSize->setWordWrap(false);
    // Descriptions are shown literally in the list: "<b>" or "&amp;" must not be rendered.
    lblSize->setTextFormat(Qt::PlainText);
    lblSize->hide();
}

void frmMain::ApplyDesignGeometry()
{
    resize(twips_.toPixels(5190), twips_.toPixels(2595));
    const struct {
        QWidget *control;
        double left, top, width, height;
    } design[] = {
        {cmdInfo, 120, 120, 735, 375},    {cmdSave, 960, 120, 735, 375},
        {cmdExit, 1800, 120, 735, 375},   {lstPara, 120, 600, 2415, 1020},
        {rtbEdit, 2655, 120, 2415, 1095}, {lblSize, 840, 1800, 600, 225},
    };
    for (const auto &d : design)
        d.control->setGeometry(twips_.toPixels(d.left, d.top, d.width, d.height));
}

void frmMain::SetTabOrder()
{
    setTabOrder(cmdInfo, cmdSave);
    setTabOrder(cmdSave, cmdExit);
    setTabOrder(cmdExit, lstPara);
    setTabOrder(lstPara, rtbEdit);
    cmdInfo->setFocus();
}

void frmMain::ConnectHandlers()
{
    connect(lstPara, &QListWidget::itemSelectionChanged, this, &frmMain::lstParaSelectionChanged);
    connect(rtbEdit, &PlainTextEditor::focusLost, this, &frmMain::rtbEditFocusLost);
    connect(rtbEdit, &PlainTextEditor::textChanged, this, &frmMain::rtbEditChanged);
    connect(cmdInfo, &QPushButton::clicked, this, &frmMain::cmdInfoClicked);
    connect(cmdSave, &QPushButton::clicked, this, &frmMain::cmdSaveClicked);
    connect(cmdExit, &QPushButton::clicked, this, &frmMain::cmdExitClicked);
    connect(publisher_, &PublishTask::lineWritten, this, &frmMain::WriteProgressLine);
    connect(publisher_, &PublishTask::finished, this, &frmMain::PublishFinished);
    ConnectSessionEnd();
}

void frmMain::RestoreWindowPlacement()
{
    const QSizeF screen = ScreenSizeInTwips(*this, twips_);
    ApplyPlacement(*this, PlacementToApply(ReadStoredPlacement(), screen), twips_);
    // Checked as the window took it: the toolkit may have adjusted what was applied.
    const Placement applied = WindowPlacementOf(*this, twips_);
    const Placement kept = KeepOnScreen(applied, screen);
    if (kept != applied)
        ApplyPlacement(*this, kept, twips_);
    placementToSettle_ = kept;
}

// Some window managers tell the frame's size only once the window is on the screen.
// The restored outer placement is applied again then, or the window would grow by its
// frame on every start.
void frmMain::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || !isActiveWindow() || !placementToSettle_)
        return;
    const Placement wanted = *std::exchange(placementToSettle_, std::nullopt);
    const QRect frame = twips_.toPixels(wanted.Left, wanted.Top, wanted.Width, wanted.Height);
    const Qt::WindowStates notNormal =
        Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;
    if (!(windowState() & notNormal) && frameGeometry() != frame)
        ApplyPlacement(*this, wanted, twips_);
}

void frmMain::StoreWindowPlacement()
{
    if (const auto placement = PlacementToStore(WindowPlacementOf(*this, twips_), windowState()))
        WriteStoredPlacement(*placement);
}

bool frmMain::LoadSiteDefinition()
{
    const Result<QByteArray> bytes = ReadSiteDefinitionFile(folder_);
    if (!bytes) {
        questions_.ReportMissingSiteDefinition(bytes.error());
        return false;
    }
    SiteDefinition site = ParseSiteDefinition(*bytes);
    settings_ = std::move(site.Settings);
    catalogue_ = Catalogue{std::move(site.Pages), std::move(site.Paragraphs)};
    for (int n = 1; n <= catalogue_.ParaCount(); ++n)
        RegisterParagraph(n);
    LoadLocalCopies(catalogue_.Paragraphs, folder_);
    if (const QString caption = CaptionFor(settings_.Title); !caption.isEmpty())
        setWindowTitle(caption);
    FitParagraphList();
    return true;
}

void frmMain::RegisterParagraph(int paraNumber)
{
    const QString &description = catalogue_.para(paraNumber).ParaDescription;
    lblSize->setText(Shortened(description));
    lblSize->adjustSize();
    catalogue_.ListWidth =
        WidenListWidth(catalogue_.ListWidth, twips_.fromPixels(lblSize->width()));
    auto *entry = new QListWidgetItem(Shortened(description), lstPara);
    entry->setData(Qt::UserRole, paraNumber);
}

void frmMain::FitParagraphList()
{
    const ListFit fit = FitListWidth(catalogue_.ListWidth, twips_.fromPixels(lstPara->width()),
                                     twips_.fromPixels(lstPara->x()), twips_.fromPixels(width()));
    catalogue_.ListWidth = fit.ListWidth;
    if (fit.NewListWidth)
        lstPara->resize(twips_.toPixels(*fit.NewListWidth), lstPara->height());
    if (fit.NewEditorLeft)
        rtbEdit->move(twips_.toPixels(*fit.NewEditorLeft), rtbEdit->y());
}

void frmMain::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    ApplyLayout();
}

void frmMain::ApplyLayout()
{
    const LayoutSizes sizes = LayoutFor(
        {twips_.fromPixels(width()), twips_.fromPixels(height()), twips_.fromPixels(lstPara->y()),
         twips_.fromPixels(rtbEdit->x()), twips_.fromPixels(rtbEdit->y())});
    if (sizes.ListHeight)
        lstPara->resize(lstPara->width(), twips_.toPixels(*sizes.ListHeight));
    if (sizes.EditorHeight)
        rtbEdit->resize(rtbEdit->width(), twips_.toPixels(*sizes.EditorHeight));
    if (sizes.EditorWidth)
        rtbEdit->resize(twips_.toPixels(*sizes.EditorWidth), rtbEdit->height());
}
