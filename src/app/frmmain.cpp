#include "app/frmmain.h"

#include "app/programicon.h"
#include "platform/appfolders.h"
#include "platform/settings.h"

#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// Design of the window, in twips.
constexpr int ClientWidth = 10020;
constexpr int ClientHeight = 8490;
constexpr int ScrollBarWidth = 255;
constexpr int ScrollBarHeight = 5265;
constexpr int ScrollBarLeft = 9750;
constexpr int ScrollDepth = 3000;  // how far the page rises with the thumb at the bottom
constexpr int ScrollSmallStep = 75;
constexpr int ScrollLargeStep = 1000;
constexpr double ResizeHeightMargin = 400;
constexpr double ResizeRightMargin = 100;

struct FrameDesign {
    int left, top, width, height;
};
constexpr FrameDesign PageDesign{60, 60, 9645, 11430};
constexpr FrameDesign FrameDesigns[5] = {
    {30, 60, 9585, 1125},    // title band
    {30, 1170, 9615, 1905},  // Step 1
    {30, 3090, 9615, 3465},  // Step 2
    {30, 6570, 9615, 3135},  // Step 3
    {30, 9750, 9615, 1680},  // Step 4
};

QFont designFont(double pointSize, bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

void setBackground(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    // Buttons fill with the Button role by default.
    widget->setBackgroundRole(QPalette::Window);
    widget->setAutoFillBackground(true);
}

}  // namespace

frmMain::frmMain(UiServices* ui, const QString& applicationFolder, QWidget* parent) : QWidget(parent, Qt::Window)
{
    if (ui) {
        ui_ = ui;
    } else {
        ownUi_ = std::make_unique<QtUiServices>(this);
        ui_ = ownUi_.get();
    }
    folders.ApplicationFolder =
        applicationFolder.isEmpty() ? QCoreApplication::applicationDirPath() : applicationFolder;
    while (folders.ApplicationFolder.endsWith(QLatin1Char('/')) ||
           folders.ApplicationFolder.endsWith(QLatin1Char('\\')))
        folders.ApplicationFolder.chop(1);
    const platform::ApplicationFolders where = platform::applicationFolders(folders.ApplicationFolder);
    folders.FilesFolder = where.files;
    folders.SamplesFolder = where.samples;
    folders.OutputsFolder = where.outputs;

    setObjectName(QStringLiteral("frmMain"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(programIcon());
    setFont(designFont(8, false));
    setBackground(this, Qt::white);

    createControls();
    placeControls();
    // The wheel moves the page wherever the pointer is over it.
    pctDocument->installEventFilter(this);
    for (QWidget* child : pctDocument->findChildren<QWidget*>()) child->installEventFilter(this);
    setupTemplateStep();
    setupDrawingStep();
    setupProcessStep();

    resize(twipsToPixelsX(ClientWidth), twipsToPixelsY(ClientHeight));
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    Form_Load();
}

frmMain::~frmMain() = default;

ProgramVersion frmMain::programVersion()
{
    return {QUORVANE_VERSION_MAJOR, QUORVANE_VERSION_MINOR, QUORVANE_VERSION_PATCH};
}

QString frmMain::captionFor(const ProgramVersion& version)
{
    return applicationTitle() + QStringLiteral(", v%1.%2").arg(version.major).arg(version.revision);
}

int frmMain::twipsToPixelsX(double twips) const { return int(std::lround(twips * logicalDpiX() / 1440.0)); }

int frmMain::twipsToPixelsY(double twips) const { return int(std::lround(twips * logicalDpiY() / 1440.0)); }

double frmMain::pixelsToTwipsX(int pixels) const { return pixels * 1440.0 / logicalDpiX(); }

double frmMain::pixelsToTwipsY(int pixels) const { return pixels * 1440.0 / logicalDpiY(); }

QColor frmMain::red() { return {255, 0, 0}; }
QColor frmMain::black() { return {0, 0, 0}; }
QColor frmMain::lightGrey() { return {192, 192, 192}; }
QColor frmMain::navy() { return {0, 0, 128}; }
QColor frmMain::blue() { return {0, 0, 255}; }

void frmMain::setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    // Disabled labels keep the colour the step gives them.
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::WindowText, colour);
    widget->setPalette(palette);
}

QColor frmMain::textColour(const QWidget* widget)
{
    return widget->palette().color(QPalette::Active, QPalette::WindowText);
}

void frmMain::createControls()
{
    const QColor pageColour = palette().color(QPalette::Base);

    pctDocument = new QWidget(this);
    pctDocument->setObjectName(QStringLiteral("pctDocument"));
    setBackground(pctDocument, pageColour);

    vscDocumentScroll = new QScrollBar(Qt::Vertical, this);
    vscDocumentScroll->setObjectName(QStringLiteral("vscDocumentScroll"));
    // The design's bar runs from 0 at the top down to -3000 at the bottom, the
    // page's top in twips. A Qt bar's minimum sits at its top and its arrows
    // only step towards the ends they show, so it runs 0..3000 and the page's
    // top is the value negated.
    vscDocumentScroll->setRange(0, ScrollDepth);
    vscDocumentScroll->setSingleStep(ScrollSmallStep);
    vscDocumentScroll->setPageStep(ScrollLargeStep);
    vscDocumentScroll->setValue(0);
    connect(vscDocumentScroll, &QScrollBar::valueChanged, this, [this] { vscDocumentScroll_Change(); });
    connect(vscDocumentScroll, &QScrollBar::sliderMoved, this, [this] { vscDocumentScroll_Scroll(); });

    for (int i = 0; i < 5; ++i) {
        auto* frame = new QFrame(pctDocument);
        frame->setObjectName(QStringLiteral("pctSectionFrame"));
        frame->setProperty("index", i);
        setBackground(frame, pageColour);
        frame->setMouseTracking(true);
        frame->installEventFilter(this);
        pctSectionFrame[i] = frame;
    }

    auto label = [this](QWidget* parent, const char* name, const QString& text) {
        auto* l = new QLabel(text, parent);
        l->setObjectName(QString::fromLatin1(name));
        setBackground(l, Qt::white);
        return l;
    };
    auto instructions = [&](QWidget* parent, const char* name, const QString& text) {
        QLabel* l = label(parent, name, text);
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return l;
    };
    auto stepCaption = [&](QWidget* parent, const char* name, const QString& text, const QColor& colour) {
        QLabel* l = label(parent, name, text);
        l->setFont(designFont(12, true));
        setTextColour(l, colour);
        return l;
    };
    auto option = [this](QWidget* parent, const QString& text) {
        auto* o = new QRadioButton(text, parent);
        setBackground(o, Qt::white);
        return o;
    };
    auto checkBox = [this](QWidget* parent, const char* name, const QString& text) {
        auto* c = new QCheckBox(text, parent);
        c->setObjectName(QString::fromLatin1(name));
        setBackground(c, Qt::white);
        c->setChecked(true);
        c->setEnabled(false);
        return c;
    };
    auto button = [](QWidget* parent, const char* name, const QString& text) {
        auto* b = new QPushButton(text, parent);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    auto link = [&](QWidget* parent, int index, const QString& text, const QString& tip) {
        QLabel* l = label(parent, "lblURL", text);
        l->setProperty("index", index);
        l->setToolTip(tip);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        setTextColour(l, navy());
        l->setCursor(Qt::PointingHandCursor);
        l->setMouseTracking(true);
        l->installEventFilter(this);
        l->hide();
        lblURL[index] = l;
    };

    // Title band
    QFrame* band = pctSectionFrame[0];
    Picture1 = label(band, "Picture1", QString());
    Picture1->setPixmap(programPixmap(32));
    Picture1->setFixedSize(Picture1->sizeHint());
    Label5 = label(band, "Label5", applicationTitle());
    Label5->setFont(designFont(18, true));
    setTextColour(Label5, blue());

    // Step 1
    QFrame* one = pctSectionFrame[1];
    lblStepOne = stepCaption(one, "lblStepOne", tr("Step 1"), red());
    lblInstructionsStepOne = instructions(
        one, "lblInstructionsStepOne",
        tr("Select an existing drawing to read attributes from. The sample drawing should contain attributes that "
           "are typical of the drawings to be processed later. Click the browse button below to select a drawing. "
           "If you have already created an Attribute Template then select the option 'Use an existing template'."));
    optTemplateMode[0] = option(one, tr("Get a sample drawing"));
    optTemplateMode[1] = option(one, tr("Use an existing template"));
    optTemplateMode[0]->setChecked(true);
    cmbTemplates = new QComboBox(one);
    cmbTemplates->setObjectName(QStringLiteral("cmbTemplates"));
    txtTemplateDwg = new QLineEdit(one);
    txtTemplateDwg->setObjectName(QStringLiteral("txtTemplateDwg"));
    cmdOpenTemplateFile = button(one, "cmdOpenTemplateFile", QString());
    cmdOpenTemplateFile->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    cmdOpenTemplateFile->setToolTip(tr("Browse"));
    cmdOpenTemplateFile->setAccessibleName(tr("Browse"));

    // Step 2
    QFrame* two = pctSectionFrame[2];
    lblStepTwo = stepCaption(two, "lblStepTwo", tr("Step 2"), lightGrey());
    lblInstructionsStepTwo = instructions(
        two, "lblInstructionsStepTwo",
        tr("Choose to search for attribute tags in Model Space or Paper Space. Then click 'Import' to search in "
           "the drawing selected above. In the list that will be generated below, check the attribute tags that "
           "you want included in the output file. By default, the Tag values will become the Field Names in the "
           "output file."));
    setTextColour(lblInstructionsStepTwo, lightGrey());
    optSpace[0] = option(two, tr("Model Space"));
    optSpace[1] = option(two, tr("Paper Space"));
    optSpace[0]->setChecked(true);
    optSpace[0]->setEnabled(false);
    optSpace[1]->setEnabled(false);
    cmdImport = button(two, "cmdImport", tr("Import"));
    cmdImport->setEnabled(false);
    lsvTemplateItems = new CheckList(two);
    lsvTemplateItems->setObjectName(QStringLiteral("lsvTemplateItems"));
    lsvTemplateItems->setHeaderLabels({tr("Field Name"), tr("Tag"), tr("Sample Value"), tr("Space")});
    lsvTemplateItems->headerItem()->setTextAlignment(3, Qt::AlignCenter);
    chkSelectAllTags = checkBox(two, "chkSelectAllTags", tr("Check All"));
    link(two, 2, tr("Save template?"), tr("Save the attribute list to a file."));

    // Step 3
    QFrame* three = pctSectionFrame[3];
    lblStepThree = stepCaption(three, "lblStepThree", tr("Step 3"), lightGrey());
    lblInstructionsStepThree = instructions(
        three, "lblInstructionsStepThree",
        tr("Click the 'Browse' button to select the directory that contains the drawings that you want to "
           "process. Then check each drawing that you want to extract attribute values from. If you have already "
           "created a File List, choose the option 'Load file list'."));
    setTextColour(lblInstructionsStepThree, lightGrey());
    cmdOpenDirectory = button(three, "cmdOpenDirectory", tr("Browse"));
    cmdOpenDirectory->setToolTip(tr("Browse"));
    cmdOpenDirectory->setEnabled(false);
    lblFileList = label(three, "lblFileList", tr("Load file list"));
    lblFileList->setEnabled(false);
    cmbFileList = new QComboBox(three);
    cmbFileList->setObjectName(QStringLiteral("cmbFileList"));
    lblFileList->setBuddy(cmbFileList);
    lsvDrawingsToProcess = new CheckList(three);
    lsvDrawingsToProcess->setObjectName(QStringLiteral("lsvDrawingsToProcess"));
    lsvDrawingsToProcess->setHeaderLabels({tr("File Name")});
    lsvDrawingsToProcess->setEditTriggers(QAbstractItemView::NoEditTriggers);
    chkSelectAllDrawings = checkBox(three, "chkSelectAllDrawings", tr("Check All"));
    link(three, 3, tr("Save file list?"), tr("Save the drawing list to a file."));

    // Step 4
    QFrame* four = pctSectionFrame[4];
    lblStepFour = stepCaption(four, "lblStepFour", tr("Step 4"), lightGrey());
    lblInstructionsStepFour = instructions(
        four, "lblInstructionsStepFour",
        tr("We are ready to begin extracting the data from each drawing into an output file. Click the 'Process' "
           "button and choose the type of output file you need. The file types that can be created include "
           "Access 97 or Access 2000 database files and a comma delimited file suitable for opening with Excel or "
           "Notepad."));
    setTextColour(lblInstructionsStepFour, lightGrey());
    cmdProcess = button(four, "cmdProcess", tr("Process"));
    cmdProcess->setEnabled(false);
    cmdCancel = button(four, "cmdCancel", tr("Cancel"));
    cmdCancel->setEnabled(false);
    chkOpenDataBase = checkBox(four, "chkOpenDataBase", tr("Open file after it's created"));
    pbrProgress = new QProgressBar(four);
    pbrProgress->setObjectName(QStringLiteral("pbrProgress"));
    pbrProgress->setRange(0, 0);
    pbrProgress->setValue(0);
    pbrProgress->setTextVisible(false);
    pbrProgress->hide();
    lblProcessStatus = label(four, "lblProcessStatus", QString());

    // Arrays share their design name; the index tells the members apart.
    for (int i = 0; i < 2; ++i) {
        optTemplateMode[i]->setObjectName(QStringLiteral("optTemplateMode"));
        optTemplateMode[i]->setProperty("index", i);
        optSpace[i]->setObjectName(QStringLiteral("optSpace"));
        optSpace[i]->setProperty("index", i);
    }
}

void frmMain::place(QWidget* widget, int left, int top, int width, int height)
{
    widget->setGeometry(twipsToPixelsX(left), twipsToPixelsY(top), twipsToPixelsX(width), twipsToPixelsY(height));
}

void frmMain::placeControls()
{
    place(pctDocument, PageDesign.left, PageDesign.top, PageDesign.width, PageDesign.height);
    place(vscDocumentScroll, ScrollBarLeft, 0, ScrollBarWidth, ScrollBarHeight);
    for (int i = 0; i < 5; ++i) {
        const FrameDesign& f = FrameDesigns[i];
        place(pctSectionFrame[i], f.left, f.top, f.width, f.height);
    }

    Picture1->move(twipsToPixelsX(240), twipsToPixelsY(322));
    place(Label5, 1080, 285, 4000, 555);

    const int captionLeft = 240, textLeft = 1320, textWidth = 8040, right = 9360;
    place(lblStepOne, captionLeft, 150, 1000, 330);
    place(lblInstructionsStepOne, textLeft, 150, textWidth, 900);
    place(optTemplateMode[0], textLeft, 1140, 2520, 285);
    place(optTemplateMode[1], textLeft, 1500, 2520, 285);
    place(txtTemplateDwg, 3960, 1110, 4860, 315);
    place(cmdOpenTemplateFile, 8880, 1080, 480, 375);
    place(cmbTemplates, 3960, 1470, 4860, 315);

    place(lblStepTwo, captionLeft, 150, 1000, 330);
    place(lblInstructionsStepTwo, textLeft, 150, textWidth, 900);
    place(optSpace[0], textLeft, 1125, 1800, 285);
    place(optSpace[1], 3240, 1125, 1800, 285);
    place(cmdImport, right - 1215, 1080, 1215, 375);
    place(lsvTemplateItems, textLeft, 1560, textWidth, 1440);
    place(chkSelectAllTags, textLeft, 3090, 1800, 285);
    place(lblURL[2], right - 2400, 3090, 2400, 285);

    place(lblStepThree, captionLeft, 150, 1000, 330);
    place(lblInstructionsStepThree, textLeft, 150, textWidth, 780);
    place(cmdOpenDirectory, textLeft, 945, 1215, 375);
    place(lblFileList, 4320, 990, 1320, 285);
    place(cmbFileList, 5640, 975, right - 5640, 315);
    place(lsvDrawingsToProcess, textLeft, 1410, textWidth, 1290);
    place(chkSelectAllDrawings, textLeft, 2760, 1800, 285);
    place(lblURL[3], right - 2400, 2760, 2400, 285);

    place(lblStepFour, captionLeft, 150, 1000, 330);
    // The frame is low and the text long: four lines, the buttons, then the run's line and bar.
    place(lblInstructionsStepFour, textLeft, 120, textWidth, 795);
    place(cmdProcess, textLeft, 915, 1215, 330);
    place(cmdCancel, 2640, 915, 1215, 330);
    place(chkOpenDataBase, 3960, 937, 3000, 285);
    place(lblProcessStatus, textLeft, 1320, 5880 - 120 - textLeft, 285);
    place(pbrProgress, 5880, 1335, right - 5880, 255);

    const int templateColumns[4] = {1750, 1750, 1750, 1000};
    for (int c = 0; c < 4; ++c) lsvTemplateItems->setColumnWidth(c, twipsToPixelsX(templateColumns[c]));
    lsvDrawingsToProcess->setColumnWidth(0, twipsToPixelsX(6300));
}

// ---- Start-up -----------------------------------------------------------------

void frmMain::Form_Load()
{
    setWindowTitle(captionFor(programVersion()));
    for (int i = 0; i < 5; ++i) setFrameBorder(i, false);
    setFrameBorder(1, true);
    LoadSettings();
}

void frmMain::LoadSettings()
{
    const QString application = QStringLiteral("Pellowen");
    const QString section = applicationTitle();
    folders.SampleDrawingsFolder =
        platform::readSetting(application, section, QStringLiteral("Sample Drawings"), folders.samplesFolder());
    folders.ImportDrawingsFolder =
        platform::readSetting(application, section, QStringLiteral("Import Drawings"), folders.samplesFolder());
    folders.ProcessFileFolder =
        platform::readSetting(application, section, QStringLiteral("Process File"), folders.OutputsFolder);
}

// A save dialog for one file type: the name as the user means it, empty
// when none was chosen.
QString frmMain::askSaveName(const QString& title, const QString& folder, const QString& filter)
{
    FileDialogRequest request;
    request.title = title;
    request.folder = folder;
    request.filters = {filter};
    request.filterIndex = 1;
    request.confirmOverwrite = true;
    const FileDialogResult chosen = ui().saveFile(request);
    return chosen.accepted ? completeSaveName(chosen.path, request, chosen.filterIndex) : QString();
}

// ---- Frames and steps --------------------------------------------------------

void frmMain::setFrameBorder(int index, bool on)
{
    QFrame* frame = pctSectionFrame[index];
    frame->setFrameStyle(on ? (QFrame::Box | QFrame::Plain) : QFrame::NoFrame);
    frame->setLineWidth(1);
}

bool frmMain::hasFrameBorder(int index) const { return pctSectionFrame[index]->frameShape() != QFrame::NoFrame; }

// What every step shares: its frame, heading and instructions lit or
// greyed, its controls on or off; a step made available scrolls into view.
void frmMain::showStep(int index, bool available, QLabel* heading, QLabel* instructions,
                       std::initializer_list<QWidget*> controls)
{
    setFrameBorder(index, available);
    if (available)
        ScrollStepIntoView(index);
    setTextColour(heading, available ? red() : lightGrey());
    setTextColour(instructions, available ? black() : lightGrey());
    for (QWidget* control : controls) control->setEnabled(available);
}

void frmMain::EnableStepOne(bool available)
{
    showStep(1, available, lblStepOne, lblInstructionsStepOne, {cmdOpenTemplateFile});
}

void frmMain::EnableStepTwo(bool available)
{
    if (available)
        setFrameBorder(1, false);
    else
        chkSelectAllTags->setEnabled(false);
    showStep(2, available, lblStepTwo, lblInstructionsStepTwo, {lsvTemplateItems, cmdImport, optSpace[0], optSpace[1]});
    EnableStepFour(false);
    lsvTemplateItems->clear();
}

void frmMain::EnableStepThree(bool available)
{
    setFrameBorder(2, false);
    if (!available)
        chkSelectAllDrawings->setEnabled(false);
    showStep(3, available, lblStepThree, lblInstructionsStepThree,
             {lsvDrawingsToProcess, cmdOpenDirectory, lblFileList});
    if (available)
        LoadFileListNames();
}

void frmMain::EnableStepFour(bool available)
{
    setFrameBorder(3, false);
    showStep(4, available, lblStepFour, lblInstructionsStepFour, {cmdProcess, chkOpenDataBase});
}

// ---- Links ---------------------------------------------------------------------

void frmMain::lblURL_Click(int index)
{
    if (index == 2)
        SaveTemplate();
    else if (index == 3)
        SaveFileList();
}

void frmMain::lblURL_MouseMove(int index)
{
    QLabel* link = lblURL[index];
    if (!link)
        return;
    setTextColour(link, navy());
    QFont font = link->font();
    font.setUnderline(true);
    link->setFont(font);
}

void frmMain::pctSectionFrame_MouseMove(int)
{
    for (QLabel* link : {lblURL[2], lblURL[3]}) {
        setTextColour(link, navy());
        QFont font = link->font();
        font.setUnderline(false);
        link->setFont(font);
    }
}

bool frmMain::wheelScrollsPage(const QWidget* widget) const
{
    if (!widget->isEnabled())
        return true;
    // An enabled list scrolls itself; a combo box turns its choice only when
    // it has the focus (a turn would otherwise load a file list unasked).
    for (const QWidget* w = widget; w && w != pctDocument; w = w->parentWidget()) {
        if (qobject_cast<const QAbstractScrollArea*>(w))
            return false;
        if (const auto* box = qobject_cast<const QComboBox*>(w))
            return !box->hasFocus();
    }
    return true;
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    const auto type = event->type();
    if (type == QEvent::Wheel) {
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || !wheelScrollsPage(widget))
            return QWidget::eventFilter(watched, event);
        QCoreApplication::sendEvent(vscDocumentScroll, event);
        return true;
    }
    if (type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
        return QWidget::eventFilter(watched, event);
    auto* mouse = static_cast<QMouseEvent*>(event);
    for (int i : {2, 3}) {
        if (watched != lblURL[i])
            continue;
        if (type == QEvent::MouseMove)
            lblURL_MouseMove(i);
        // A filter sees clicks on disabled labels too: during a run they must do nothing.
        else if (mouse->button() == Qt::LeftButton && lblURL[i]->isEnabled() &&
                 lblURL[i]->rect().contains(mouse->position().toPoint()))
            lblURL_Click(i);
        return false;
    }
    for (int i = 0; i < 5; ++i) {
        if (watched != pctSectionFrame[i] || type != QEvent::MouseMove)
            continue;
        // Moves over a control on the frame reach the frame too; only bare frame area counts.
        if (!pctSectionFrame[i]->childAt(mouse->position().toPoint()))
            pctSectionFrame_MouseMove(i);
        return false;
    }
    return QWidget::eventFilter(watched, event);
}

// ---- Scrolling and resizing --------------------------------------------------

void frmMain::vscDocumentScroll_Change()
{
    pctDocument->move(pctDocument->x(), twipsToPixelsY(-vscDocumentScroll->value()));
}

void frmMain::vscDocumentScroll_Scroll()
{
    pctDocument->move(pctDocument->x(), twipsToPixelsY(-vscDocumentScroll->value()));
}

void frmMain::ScrollStepIntoView(int index)
{
    const FrameDesign& frame = FrameDesigns[index];
    // The page's top sits at minus the bar's value; a margin below the frame.
    const int top = frame.top;
    const int bottom = top + frame.height + PageDesign.top;
    const int shown = int(pixelsToTwipsY(height()));
    // The least movement that shows the whole frame; its top wins when the
    // window is lower than the frame.
    int value = std::max(vscDocumentScroll->value(), bottom - shown);
    value = std::min(value, top);
    vscDocumentScroll->setValue(std::clamp(value, vscDocumentScroll->minimum(), vscDocumentScroll->maximum()));
}

void frmMain::wheelEvent(QWheelEvent* event)
{
    // Wheel turns over the page that no control takes for itself move the page.
    QCoreApplication::sendEvent(vscDocumentScroll, event);
}

void frmMain::Form_Resize()
{
    if (windowState() & Qt::WindowMinimized)
        return;
    const QRect outer = frameGeometry();
    const double barWidth = pixelsToTwipsX(vscDocumentScroll->width());
    const double height = pixelsToTwipsY(outer.height()) - ResizeHeightMargin;
    const double left = pixelsToTwipsX(outer.width()) - (barWidth + ResizeRightMargin);
    // A very low window would give a negative height; the bar then shrinks to nothing.
    vscDocumentScroll->setGeometry(twipsToPixelsX(left), vscDocumentScroll->y(), vscDocumentScroll->width(),
                                   std::max(0, twipsToPixelsY(height)));
}

void frmMain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmMain::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void frmMain::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    // Some window managers add the frame after the window is shown, so the
    // outer size is only right from the first move on. Placing the bar again
    // for the same size changes nothing.
    Form_Resize();
}

void frmMain::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Form_Resize();
}

// ---- Closing -------------------------------------------------------------------

void frmMain::closeEvent(QCloseEvent* event)
{
    // A running run is asked about first, then unsaved lists.
    if (!RunAllowsClosing() || !QueryUnsavedChanges()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

bool frmMain::QueryUnsavedChanges()
{
    // The save links show exactly while a list has changes not saved.
    const bool tagList = !lblURL[2]->isHidden() && lsvTemplateItems->topLevelItemCount() > 0;
    const bool drawingList = !lblURL[3]->isHidden() && lsvDrawingsToProcess->topLevelItemCount() > 0;
    if (!tagList && !drawingList)
        return true;
    const QString what = tagList && drawingList ? tr("The template and the file list have changes that were not saved.")
                         : tagList              ? tr("The template has changes that were not saved.")
                                                : tr("The file list has changes that were not saved.");
    return ui().question(what + QStringLiteral(" ") + tr("Close Quorvane anyway?"));
}

// ---- Files given on the command line ----------------------------------------

void frmMain::OpenGivenFile(const QString& path)
{
    const QFileInfo file(path);
    const QString shown = QDir::toNativeSeparators(file.absoluteFilePath());
    if (!file.isFile()) {
        ui().message(tr("The file \"%1\" was not found, so Quorvane starts without it.").arg(shown),
                     MessageIcon::Exclamation);
        return;
    }
    const QString type = file.suffix().toLower();
    if (type == QStringLiteral("xat")) {
        ChooseTemplateFile(file.absoluteFilePath());
    } else if (type == QStringLiteral("xal")) {
        // A file list is for Step 3, which comes once the tags are chosen.
        givenFileList_ = file.absoluteFilePath();
    } else if (type == QStringLiteral("dwg") || type == QStringLiteral("dxf")) {
        ChooseSampleDrawing(file.absoluteFilePath());
    } else {
        ui().message(tr("Quorvane opens templates (*.xat), file lists (*.xal) and drawings (*.dwg, *.dxf); "
                        "\"%1\" is none of them.")
                         .arg(shown),
                     MessageIcon::Exclamation);
    }
}

// ---- The desktop -------------------------------------------------------------

void frmMain::OpenWithAssociatedProgram(const QString& path)
{
    if (ui_->openWithAssociatedProgram(path) == platform::OpenResult::NoAssociatedProgram)
        ui_->message(tr("There wasn't an associated program with the file type. You will need to open the file "
                        "manually."),
                     MessageIcon::Information);
}
