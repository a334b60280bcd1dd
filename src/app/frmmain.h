#pragma once
// The main window: a title band and four steps on a page taller than the
// window, slid by the scroll bar at its right edge. Lengths in the design are
// twips (1/1440 inch), turned into pixels through the screen's logical DPI.
//
// The controls are public and keep their design names (also as objectName),
// so the step handlers, spread over frmmain_*.cpp, and the tests reach them
// directly.

#include "app/checklist.h"
#include "app/uiservices.h"
#include "drawings/search.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <initializer_list>
#include <memory>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QTreeWidgetItem;
namespace templates {
struct TemplateItem;
}

// The folders the program works with, living as long as the program.
struct ProgramFolders {
    QString ApplicationFolder;  // holds the program file; no trailing separator
    QString SampleDrawingsFolder;
    QString ImportDrawingsFolder;
    QString ProcessFileFolder;
    // Beside the program in a build tree, elsewhere when installed (platform/appfolders.h).
    QString FilesFolder;
    QString SamplesFolder;
    QString OutputsFolder;  // the default of ProcessFileFolder

    QString filesFolder() const { return FilesFolder; }
    QString samplesFolder() const { return SamplesFolder; }
};

struct ProgramVersion {
    int major = 0;
    int minor = 0;
    int revision = 0;
};

class frmMain : public QWidget {
    Q_OBJECT
public:
    // ui: dialogs and messages (null: the real Qt ones, owned by the window).
    // applicationFolder: empty means the folder of the running program.
    explicit frmMain(UiServices* ui = nullptr, const QString& applicationFolder = QString(), QWidget* parent = nullptr);
    ~frmMain() override;

    static QString applicationTitle() { return QStringLiteral("Quorvane"); }
    static ProgramVersion programVersion();
    // "Quorvane, v2.2" for 2.0.2: the minor number is not shown.
    static QString captionFor(const ProgramVersion& version);

    UiServices& ui() { return *ui_; }
    ProgramFolders folders;

    // Design lengths.
    int twipsToPixelsX(double twips) const;
    int twipsToPixelsY(double twips) const;
    double pixelsToTwipsX(int pixels) const;
    double pixelsToTwipsY(int pixels) const;

    // ---- Controls, by frame -------------------------------------------------
    QWidget* pctDocument = nullptr;
    QScrollBar* vscDocumentScroll = nullptr;
    QFrame* pctSectionFrame[5] = {};  // 0 title band, 1..4 the steps
    QLabel* lblURL[4] = {};           // 2 "Save template?", 3 "Save file list?"; 0 and 1 unused

    // title band
    QLabel* Picture1 = nullptr;
    QLabel* Label5 = nullptr;

    // Step 1
    QLabel* lblStepOne = nullptr;
    QLabel* lblInstructionsStepOne = nullptr;
    QRadioButton* optTemplateMode[2] = {};
    QComboBox* cmbTemplates = nullptr;
    QLineEdit* txtTemplateDwg = nullptr;
    QPushButton* cmdOpenTemplateFile = nullptr;

    // Step 2
    QLabel* lblStepTwo = nullptr;
    QLabel* lblInstructionsStepTwo = nullptr;
    QRadioButton* optSpace[2] = {};
    QPushButton* cmdImport = nullptr;
    CheckList* lsvTemplateItems = nullptr;  // Field Name, Tag, Sample Value, Space
    QCheckBox* chkSelectAllTags = nullptr;

    // Step 3
    QLabel* lblStepThree = nullptr;
    QLabel* lblInstructionsStepThree = nullptr;
    QPushButton* cmdOpenDirectory = nullptr;
    QLabel* lblFileList = nullptr;
    QComboBox* cmbFileList = nullptr;
    CheckList* lsvDrawingsToProcess = nullptr;  // File Name
    QCheckBox* chkSelectAllDrawings = nullptr;

    // Step 4
    QLabel* lblStepFour = nullptr;
    QLabel* lblInstructionsStepFour = nullptr;
    QPushButton* cmdProcess = nullptr;
    QPushButton* cmdCancel = nullptr;  // beside Process, enabled while a run goes on
    QCheckBox* chkOpenDataBase = nullptr;
    QProgressBar* pbrProgress = nullptr;
    QLabel* lblProcessStatus = nullptr;  // under Process: the run's progress, then its outcome

    // ---- The wizard shell ---------------------------------------------------
    void Form_Load();
    void LoadSettings();
    void Form_Resize();
    void EnableStepOne(bool available);
    void EnableStepTwo(bool available);
    void EnableStepThree(bool available);
    void EnableStepFour(bool available);
    void vscDocumentScroll_Change();
    void vscDocumentScroll_Scroll();
    // Scrolls the page so that the step's frame is in view (index 1..4).
    void ScrollStepIntoView(int index);
    // Starts with a template (.xat), file list (.xal) or sample drawing
    // (.dwg, .dxf) chosen, as given on the command line.
    void OpenGivenFile(const QString& path);
    // On closing: true when nothing unsaved is left or the user lets it go.
    bool QueryUnsavedChanges();
    void lblURL_Click(int index);
    void lblURL_MouseMove(int index);
    void pctSectionFrame_MouseMove(int index);
    // Shows the one message the desktop's answer calls for: no program for the type.
    void OpenWithAssociatedProgram(const QString& path);

    QString askSaveName(const QString& title, const QString& folder, const QString& filter);

    // Borders: a single line marks the current step.
    void setFrameBorder(int index, bool on);
    void showStep(int index, bool available, QLabel* heading, QLabel* instructions,
                  std::initializer_list<QWidget*> controls);
    bool hasFrameBorder(int index) const;

    // Colours of the design.
    static QColor red();
    static QColor black();
    static QColor lightGrey();
    static QColor navy();
    static QColor blue();
    static void setTextColour(QWidget* widget, const QColor& colour);
    static QColor textColour(const QWidget* widget);

    // ---- Steps 1 and 2: templates (frmmain_templates.cpp) -------------------
    void setupTemplateStep();
    void LoadTemplateNames();
    void OpenTemplate();
    void SaveTemplate();
    void optTemplateMode_Click(int index);
    void cmdOpenTemplateFile_Click();
    void cmbTemplates_Click();
    void cmbTemplates_Change();
    void cmdImport_Click();
    void chkSelectAllTags_Click();
    void lsvTemplateItems_ItemCheck(QTreeWidgetItem* item);
    void lsvTemplateItems_AfterLabelEdit(QTreeWidgetItem* item);
    void ImportSampleAttributes();
    // The rows of lsvTemplateItems, top to bottom.
    QList<templates::TemplateItem> TemplateItems() const;
    void fillTemplateItems(const QList<templates::TemplateItem>& items);
    // Start-up with a template or a sample drawing chosen (from the command line).
    void ChooseTemplateFile(const QString& path);
    void ChooseSampleDrawing(const QString& path);
    static QString sampleDrawingInstructions();
    static QString templateInstructions();
    bool templateFileBusy_ = false;   // a template is being read or saved
    QString templateDialogFileName_;  // last path chosen in "Select Drawing"
    // ---- end of Steps 1 and 2 ----------------------------------------------

    // ---- Step 3: drawings (frmmain_drawings.cpp) ----------------------------
    void setupDrawingStep();
    void LoadFileListNames();
    void OpenFileList();
    void SaveFileList();
    void cmdOpenDirectory_Click();
    void cmbFileList_Click();
    void chkSelectAllDrawings_Click();
    void lsvDrawingsToProcess_ItemCheck(QTreeWidgetItem* item);
    // A file list to choose when Step 3 is reached (from the command line).
    QString givenFileList_;
    // What the folder browser looked for last time.
    drawings::DrawingPattern drawingPattern_ = drawings::DrawingPattern::Dwg;
    // (members of the drawing step go here)
    // ---- end of Step 3 -----------------------------------------------------

    // ---- Step 4: the processing run (frmmain_process.cpp) -------------------
    void setupProcessStep();
    // Starts a run on a worker thread and returns; runFinished() tells its end.
    void cmdProcess_Click();
    void cmdCancel_Click();
    bool isRunning() const;
    // Asks before a running run is cancelled for closing; false: not yet.
    bool RunAllowsClosing();
    struct ProcessState;
    std::shared_ptr<ProcessState> process_;  // the run going on, if any
    // ---- end of Step 4 -----------------------------------------------------

signals:
    void runFinished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void createControls();
    void placeControls();
    bool wheelScrollsPage(const QWidget* widget) const;
    void place(QWidget* widget, int left, int top, int width, int height);

    std::unique_ptr<UiServices> ownUi_;
    UiServices* ui_ = nullptr;
};
