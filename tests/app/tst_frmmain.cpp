// The main window: its state at start, the step operations and the sequences
// the other steps drive them through, links, scrolling and resizing.
#include "app/frmmain.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QSpontaneKeyEvent>
#include <QWheelEvent>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using Stored = QList<std::pair<QString, QString>>;

namespace {

// Which frames have a border, as a string of 0/1 for frames 0..4.
QString borders(const frmMain& w)
{
    QString s;
    for (int i = 0; i < 5; ++i)
        s += w.hasFrameBorder(i) ? QLatin1Char('1') : QLatin1Char('0');
    return s;
}

enum class Shown { Available, Unavailable };

// The visible signals of a step: caption colour, instruction colour and the
// enabled state of the controls the step operations switch.
struct StepView {
    QColor caption;
    QColor instructions;
    bool controlsEnabled;
    bool operator==(const StepView&) const = default;
};

StepView stepView(const frmMain& w, int step)
{
    switch (step) {
    case 1:
        return {frmMain::textColour(w.lblStepOne), frmMain::textColour(w.lblInstructionsStepOne),
                w.cmdOpenTemplateFile->isEnabled()};
    case 2:
        return {frmMain::textColour(w.lblStepTwo), frmMain::textColour(w.lblInstructionsStepTwo),
                w.cmdImport->isEnabled() && w.optSpace[0]->isEnabled() && w.optSpace[1]->isEnabled()
                    && w.lsvTemplateItems->isEnabled()};
    case 3:
        return {frmMain::textColour(w.lblStepThree), frmMain::textColour(w.lblInstructionsStepThree),
                w.cmdOpenDirectory->isEnabled() && w.lblFileList->isEnabled() && w.lsvDrawingsToProcess->isEnabled()};
    default:
        return {frmMain::textColour(w.lblStepFour), frmMain::textColour(w.lblInstructionsStepFour),
                w.cmdProcess->isEnabled() && w.chkOpenDataBase->isEnabled()};
    }
}

const StepView Available{frmMain::red(), frmMain::black(), true};
const StepView Unavailable{frmMain::lightGrey(), frmMain::lightGrey(), false};

void moveMouse(QWidget* widget, QPoint at)
{
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

void click(QWidget* widget)
{
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center());
}

bool underlined(const QLabel* link)
{
    return link->font().underline();
}

} // namespace

class TestFrmMain : public QObject {
    Q_OBJECT

    QTemporaryDir store_;   // the settings store
    QTemporaryDir appDir_;  // the application folder
    ScriptedUiServices ui_;

    std::unique_ptr<frmMain> makeWindow() { return std::make_unique<frmMain>(&ui_, appDir_.path()); }

    void writeStore(const Stored& values)
    {
        QFile::remove(store_.path() + QStringLiteral("/Pellowen.conf"));
        QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Pellowen"));
        settings.clear();
        for (const auto& [key, value] : values)
            settings.setValue(QStringLiteral("Quorvane/") + key, value);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(store_.isValid());
        QVERIFY(appDir_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, store_.path());
    }

    void init() { writeStore({}); }

    void cleanup() { QVERIFY(QApplication::topLevelWidgets().isEmpty()); }

    void startState()
    {
        auto w = makeWindow();
        QCOMPARE(w->windowTitle(), QStringLiteral("Quorvane, v2.2"));
        QCOMPARE(borders(*w), QStringLiteral("01000"));

        QCOMPARE(frmMain::textColour(w->lblStepOne), frmMain::red());
        QCOMPARE(stepView(*w, 2), Unavailable);
        QCOMPARE(stepView(*w, 3), Unavailable);
        QCOMPARE(stepView(*w, 4), Unavailable);
        QCOMPARE(frmMain::textColour(w->Label5), frmMain::blue());
        QCOMPARE(w->Label5->text(), QStringLiteral("Quorvane"));
        QVERIFY(w->Label5->font().bold());
        QCOMPARE(w->Label5->font().pointSize(), 18);
        QCOMPARE(w->lblStepOne->font().pointSize(), 12);

        QVERIFY(w->optTemplateMode[0]->isChecked());
        QVERIFY(!w->optTemplateMode[1]->isChecked());
        QVERIFY(w->optTemplateMode[0]->isEnabled() && w->optTemplateMode[1]->isEnabled());
        QVERIFY(w->cmbTemplates->isEnabled());
        QCOMPARE(w->cmbTemplates->count(), 0);
        QVERIFY(w->txtTemplateDwg->text().isEmpty());
        QVERIFY(w->cmdOpenTemplateFile->isEnabled());
        QCOMPARE(w->cmdOpenTemplateFile->toolTip(), QStringLiteral("Browse"));
        QVERIFY(w->cmdOpenTemplateFile->text().isEmpty());
        QVERIFY(!w->cmdOpenTemplateFile->icon().isNull());

        QVERIFY(w->optSpace[0]->isChecked() && !w->optSpace[1]->isChecked());
        QCOMPARE(w->cmdImport->text(), QStringLiteral("Import"));
        QVERIFY(w->chkSelectAllTags->isChecked() && !w->chkSelectAllTags->isEnabled());
        QVERIFY(w->chkSelectAllDrawings->isChecked() && !w->chkSelectAllDrawings->isEnabled());
        QVERIFY(w->chkOpenDataBase->isChecked() && !w->chkOpenDataBase->isEnabled());
        QCOMPARE(w->chkOpenDataBase->text(), QStringLiteral("Open file after it's created"));
        QVERIFY(w->pbrProgress->isHidden());
        QVERIFY(w->lblURL[2]->isHidden() && w->lblURL[3]->isHidden());
        QCOMPARE(w->lblURL[2]->text(), QStringLiteral("Save template?"));
        QCOMPARE(w->lblURL[3]->text(), QStringLiteral("Save file list?"));
        QCOMPARE(w->lblURL[2]->toolTip(), QStringLiteral("Save the attribute list to a file."));
        QCOMPARE(w->lblURL[3]->toolTip(), QStringLiteral("Save the drawing list to a file."));
        QCOMPARE(w->cmdOpenDirectory->toolTip(), QStringLiteral("Browse"));
        QVERIFY(!w->lblFileList->isEnabled());
    }

    void listColumns()
    {
        auto w = makeWindow();
        QTreeWidgetItem* header = w->lsvTemplateItems->headerItem();
        QCOMPARE(w->lsvTemplateItems->columnCount(), 4);
        const QStringList names{"Field Name", "Tag", "Sample Value", "Space"};
        const int widths[4] = {1750, 1750, 1750, 1000};
        for (int c = 0; c < 4; ++c) {
            QCOMPARE(header->text(c), names[c]);
            QCOMPARE(w->lsvTemplateItems->columnWidth(c), w->twipsToPixelsX(widths[c]));
        }
        QCOMPARE(header->textAlignment(3) & Qt::AlignHCenter, int(Qt::AlignHCenter));
        QCOMPARE(w->lsvDrawingsToProcess->columnCount(), 1);
        QCOMPARE(w->lsvDrawingsToProcess->headerItem()->text(0), QStringLiteral("File Name"));
        QCOMPARE(w->lsvDrawingsToProcess->columnWidth(0), w->twipsToPixelsX(6300));
    }

    void objectNames()
    {
        auto w = makeWindow();
        const char* names[] = {"pctDocument",       "vscDocumentScroll", "Picture1",
                               "Label5",            "lblStepOne",        "lblInstructionsStepOne",
                               "cmbTemplates",      "txtTemplateDwg",    "cmdOpenTemplateFile",
                               "lblStepTwo",        "lblInstructionsStepTwo", "cmdImport",
                               "lsvTemplateItems",  "chkSelectAllTags",  "lblStepThree",
                               "lblInstructionsStepThree", "cmdOpenDirectory", "lblFileList",
                               "cmbFileList",       "lsvDrawingsToProcess", "chkSelectAllDrawings",
                               "lblStepFour",       "lblInstructionsStepFour", "cmdProcess",
                               "chkOpenDataBase",   "pbrProgress"};
        for (const char* name : names)
            QVERIFY2(w->findChild<QWidget*>(QString::fromLatin1(name)), name);
        QCOMPARE(w->findChildren<QFrame*>(QStringLiteral("pctSectionFrame")).size(), 5);
        QCOMPARE(w->findChildren<QLabel*>(QStringLiteral("lblURL")).size(), 2);
        QCOMPARE(w->findChildren<QRadioButton*>(QStringLiteral("optTemplateMode")).size(), 2);
        QCOMPARE(w->findChildren<QRadioButton*>(QStringLiteral("optSpace")).size(), 2);
        QCOMPARE(w->lblURL[3]->property("index").toInt(), 3);
    }

    void caption_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("revision");
        QTest::addColumn<QString>("caption");
        QTest::newRow("this release") << 2 << 0 << 2 << "Quorvane, v2.2";
        QTest::newRow("minor not shown") << 3 << 1 << 0 << "Quorvane, v3.0";
        QTest::newRow("two digits") << 10 << 4 << 12 << "Quorvane, v10.12";
    }

    void caption()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, revision);
        QFETCH(QString, caption);
        QCOMPARE(frmMain::captionFor({major, minor, revision}), caption);
    }

    void settings_data()
    {
        QTest::addColumn<Stored>("stored");
        QTest::addColumn<QString>("sample");
        QTest::addColumn<QString>("import");
        QTest::addColumn<QString>("process");
        QTest::newRow("empty store") << Stored{} << "@/Samples" << "@/Samples" << "@";
        QTest::newRow("import only")
            << Stored{{"Import Drawings", "/data/dwg"}} << "@/Samples" << "/data/dwg" << "@";
        QTest::newRow("all three") << Stored{{"Sample Drawings", "/s"},
                                                                          {"Import Drawings", "/i"},
                                                                          {"Process File", "/p"}}
                                   << "/s" << "/i" << "/p";
        QTest::newRow("kept as stored, missing folder")
            << Stored{{"Process File", "/no/such folder/"}} << "@/Samples" << "@/Samples"
            << "/no/such folder/";
    }

    void settings()
    {
        QFETCH(Stored, stored);
        QFETCH(QString, sample);
        QFETCH(QString, import);
        QFETCH(QString, process);
        writeStore(stored);
        const QByteArray before = [this] {
            QFile f(store_.path() + QStringLiteral("/Pellowen.conf"));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        auto w = makeWindow();
        const QString app = appDir_.path();
        QCOMPARE(w->folders.ApplicationFolder, app);
        QCOMPARE(w->folders.SampleDrawingsFolder, QString(sample).replace(QLatin1Char('@'), app));
        QCOMPARE(w->folders.ImportDrawingsFolder, QString(import).replace(QLatin1Char('@'), app));
        QCOMPARE(w->folders.ProcessFileFolder, QString(process).replace(QLatin1Char('@'), app));
        QVERIFY(!QFileInfo::exists(app + QStringLiteral("/Samples")));
        w.reset();
        QFile f(store_.path() + QStringLiteral("/Pellowen.conf"));
        QCOMPARE(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray(), before);
    }

    void applicationFolderWithoutTrailingSeparator()
    {
        frmMain w(&ui_, appDir_.path() + QStringLiteral("/"));
        QCOMPARE(w.folders.ApplicationFolder, appDir_.path());
        QCOMPARE(w.folders.filesFolder(), appDir_.path() + QStringLiteral("/Files"));
    }

    void stepOperations_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<bool>("available");
        QTest::addColumn<QString>("borders");
        // Start: frame 1 bordered. Each operation alone, from the start state.
        QTest::newRow("one true") << 1 << true << "01000";
        QTest::newRow("one false") << 1 << false << "00000";
        QTest::newRow("two true") << 2 << true << "00100";
        QTest::newRow("two false") << 2 << false << "01000";
        QTest::newRow("three true") << 3 << true << "01010";
        QTest::newRow("three false") << 3 << false << "01000";
        QTest::newRow("four true") << 4 << true << "01001";
        QTest::newRow("four false") << 4 << false << "01000";
    }

    void stepOperations()
    {
        QFETCH(int, step);
        QFETCH(bool, available);
        QFETCH(QString, borders);
        auto w = makeWindow();
        switch (step) {
        case 1: w->EnableStepOne(available); break;
        case 2: w->EnableStepTwo(available); break;
        case 3: w->EnableStepThree(available); break;
        default: w->EnableStepFour(available); break;
        }
        QCOMPARE(::borders(*w), borders);
        QCOMPARE(stepView(*w, step), available ? Available : Unavailable);
        // Step 2 always leaves Step 4 unavailable.
        if (step == 2)
            QCOMPARE(stepView(*w, 4), Unavailable);
        // Neither step operation ticks "Check All" into use; the steps' own handlers do.
        QVERIFY(!w->chkSelectAllTags->isEnabled());
        QVERIFY(!w->chkSelectAllDrawings->isEnabled());
    }

    void stepTwoEmptiesTemplateListAndLeavesStepFour()
    {
        auto w = makeWindow();
        w->EnableStepTwo(true);
        w->lsvTemplateItems->addRow({"A", "A", "1", "M"}, true);
        w->EnableStepFour(true);
        w->chkSelectAllTags->setEnabled(true);
        w->EnableStepTwo(true);
        QCOMPARE(w->lsvTemplateItems->topLevelItemCount(), 0);
        QCOMPARE(stepView(*w, 4), Unavailable);
        QVERIFY(w->chkSelectAllTags->isEnabled()); // only the unavailable branch disables it
        w->EnableStepTwo(false);
        QVERIFY(!w->chkSelectAllTags->isEnabled());
    }

    void stepThreeFalseDisablesCheckAll()
    {
        auto w = makeWindow();
        w->EnableStepThree(true);
        w->chkSelectAllDrawings->setEnabled(true);
        w->EnableStepThree(true);
        QVERIFY(w->chkSelectAllDrawings->isEnabled());
        w->EnableStepThree(false);
        QVERIFY(!w->chkSelectAllDrawings->isEnabled());
    }

    // The sequences the step handlers drive, as their owners call them.
    void sequences()
    {
        auto w = makeWindow();
        // Sample drawing chosen; import with an empty drawing list.
        w->EnableStepTwo(true);
        QCOMPARE(borders(*w), QStringLiteral("00100"));
        w->EnableStepThree(true);
        w->chkSelectAllTags->setEnabled(true);
        w->setFrameBorder(2, false);
        QCOMPARE(borders(*w), QStringLiteral("00010"));
        QCOMPARE(stepView(*w, 3), Available);
        QCOMPARE(stepView(*w, 4), Unavailable);
        // Captions once red stay red.
        QCOMPARE(frmMain::textColour(w->lblStepOne), frmMain::red());
        QCOMPARE(frmMain::textColour(w->lblStepTwo), frmMain::red());

        // The folder browser closes.
        w->EnableStepFour(true);
        QCOMPARE(borders(*w), QStringLiteral("00001"));
        QCOMPARE(stepView(*w, 4), Available);

        // A template mode click on Step 4.
        w->EnableStepOne(true);
        w->EnableStepTwo(false);
        w->EnableStepFour(false);
        QCOMPARE(borders(*w), QStringLiteral("01000"));
        QCOMPARE(stepView(*w, 2), Unavailable);
        QCOMPARE(stepView(*w, 4), Unavailable);
        QCOMPARE(stepView(*w, 3), Available);

        // A file list loaded now: Step 4 gets the border beside Step 1.
        w->EnableStepFour(true);
        QCOMPARE(borders(*w), QStringLiteral("01001"));
        QCOMPARE(stepView(*w, 4), Available);
        QCOMPARE(w->lsvTemplateItems->topLevelItemCount(), 0);
    }

    void importWhileDrawingsListed()
    {
        auto w = makeWindow();
        w->EnableStepTwo(true);
        // Import with drawings listed: straight to Step 4, Step 3 as it was.
        w->EnableStepFour(true);
        w->setFrameBorder(2, false);
        QCOMPARE(borders(*w), QStringLiteral("00001"));
        QCOMPARE(stepView(*w, 3), Unavailable);
    }

    void linkHover()
    {
        auto w = makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QLabel* link = w->lblURL[3];
        link->show();
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);

        moveMouse(link, link->rect().center());
        QVERIFY(underlined(link));
        QVERIFY(!underlined(w->lblURL[2]));
        QCOMPARE(frmMain::textColour(link), frmMain::navy());

        // Onto a control lying over the frame: the underline stays.
        moveMouse(w->lblStepThree, w->lblStepThree->rect().center());
        QVERIFY(underlined(link));
        moveMouse(w->lsvDrawingsToProcess->viewport(), QPoint(2, 2));
        QVERIFY(underlined(link));

        // Any bare frame area clears it, the title band's too.
        moveMouse(w->pctSectionFrame[0], QPoint(w->pctSectionFrame[0]->width() - 3, 3));
        QVERIFY(!underlined(link));
        QCOMPARE(frmMain::textColour(link), frmMain::navy());

        // The same through the window system, which picks the widget under the mouse.
        const auto at = [&](QWidget* child, QPoint p) { return child->mapTo(w.get(), p); };
        w->vscDocumentScroll->setValue(3000); // Step 3's link lies below the window's bottom at start
        QTest::mouseMove(w->windowHandle(), at(link, link->rect().center()));
        QTRY_VERIFY(underlined(link));
        QTest::mouseMove(w->windowHandle(), at(w->lblStepThree, w->lblStepThree->rect().center()));
        QTest::qWait(20);
        QVERIFY(underlined(link));
        QTest::mouseMove(w->windowHandle(), at(w->pctSectionFrame[3], QPoint(w->pctSectionFrame[3]->width() - 3, 3)));
        QTRY_VERIFY(!underlined(link));

        w->lblURL_MouseMove(2);
        QVERIFY(underlined(w->lblURL[2]));
        moveMouse(w->pctSectionFrame[4], QPoint(w->pctSectionFrame[4]->width() - 3, 3));
        QVERIFY(!underlined(w->lblURL[2]));
    }

    void scrolling()
    {
        auto w = makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QScrollBar* bar = w->vscDocumentScroll;
        const int left = w->pctDocument->x();
        QCOMPARE(w->pctDocument->y(), w->twipsToPixelsY(60));
        QCOMPARE(bar->value(), 0);
        QCOMPARE(bar->singleStep(), 75);
        QCOMPARE(bar->pageStep(), 1000);

        // Thumb at the bottom end: the page's top 3000 twips above the client area.
        bar->triggerAction(QAbstractSlider::SliderToMaximum);
        QCOMPARE(bar->value(), 3000);
        QCOMPARE(w->pctDocument->y(), w->twipsToPixelsY(-3000));
        QCOMPARE(w->pctDocument->x(), left);

        // Back to the top, then down with the keyboard.
        bar->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(w->pctDocument->y(), 0);
        QTest::keyClick(bar, Qt::Key_Down);
        QCOMPARE(w->pctDocument->y(), w->twipsToPixelsY(-75));
        QTest::keyClick(bar, Qt::Key_PageDown);
        QCOMPARE(w->pctDocument->y(), w->twipsToPixelsY(-1075));

        // Dragging moves the page as it goes.
        bar->setSliderDown(true);
        bar->setSliderPosition(2000);
        QCOMPARE(w->pctDocument->y(), w->twipsToPixelsY(-2000));
        bar->setSliderDown(false);

        // The arrow at the bottom raises the page by one step, the top arrow lowers it.
        bar->setValue(0);
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(bar->width() / 2, bar->height() - 3));
        QCOMPARE(w->pctDocument->y(), w->twipsToPixelsY(-75));
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(bar->width() / 2, 3));
        QCOMPARE(w->pctDocument->y(), 0);
    }

    void resizing()
    {
        auto w = makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QScrollBar* bar = w->vscDocumentScroll;
        const QRect page = w->pctDocument->geometry();
        auto expectPlaced = [&] {
            const QRect outer = w->frameGeometry();
            const int left = w->twipsToPixelsX(w->pixelsToTwipsX(outer.width()) - (255 + 100));
            const int height = std::max(0, w->twipsToPixelsY(w->pixelsToTwipsY(outer.height()) - 400));
            return bar->x() == left && bar->height() == height && bar->y() == 0
                && bar->width() == w->twipsToPixelsX(255);
        };
        QVERIFY(expectPlaced());

        w->resize(900, 700);
        QTRY_VERIFY(expectPlaced());
        QCOMPARE(w->pctDocument->geometry(), page);

        // Minimised: nothing moves, whatever size changes arrive.
        const QRect before = bar->geometry();
        w->setWindowState(Qt::WindowMinimized);
        w->resize(400, 300);
        QCOMPARE(bar->geometry(), before);
        w->setWindowState(Qt::WindowNoState);
        QTRY_VERIFY(expectPlaced());

        // Maximised: the bar follows the right edge; the page keeps its place and size.
        w->showMaximized();
        QTRY_VERIFY(w->isMaximized());
        QTRY_VERIFY(expectPlaced());
        QCOMPARE(w->pctDocument->geometry(), page);
        w->showNormal();

        // Narrower than the page: the bar overlaps it. Very low: height never negative.
        w->resize(300, 20);
        QTRY_VERIFY(expectPlaced());
        QVERIFY(bar->x() < w->pctDocument->geometry().right());
        QCOMPARE(bar->height(), 0);
    }

    void currentStepScrolledIntoView_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("from"); // the bar's value before
        for (int step = 1; step <= 4; ++step) {
            QTest::addRow("step %d from the top", step) << step << 0;
            QTest::addRow("step %d from the bottom", step) << step << 3000;
        }
    }

    void currentStepScrolledIntoView()
    {
        QFETCH(int, step);
        QFETCH(int, from);
        auto w = makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->vscDocumentScroll->setValue(from);
        switch (step) {
        case 1: w->EnableStepOne(true); break;
        case 2: w->EnableStepTwo(true); break;
        case 3: w->EnableStepThree(true); break;
        default: w->EnableStepFour(true); break;
        }
        const QFrame* frame = w->pctSectionFrame[step];
        const QRect shown(frame->mapTo(w.get(), QPoint(0, 0)), frame->size());
        QVERIFY2(w->rect().contains(shown), qPrintable(QStringLiteral("frame %1..%2, window %3")
                                                           .arg(shown.top()).arg(shown.bottom()).arg(w->height())));
    }

    void wheelOverThePage_data()
    {
        QTest::addColumn<QString>("over");
        QTest::newRow("window") << "frmMain";
        QTest::newRow("instructions") << "lblInstructionsStepOne";
        QTest::newRow("bare frame") << "pctSectionFrame";
        QTest::newRow("disabled list") << "lsvDrawingsToProcess";
        QTest::newRow("disabled button") << "cmdProcess";
        QTest::newRow("combo box without focus") << "cmbFileList";
    }

    void wheelOverThePage()
    {
        QFETCH(QString, over);
        auto w = makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QWidget* target = over == "frmMain" ? w.get() : w->findChild<QWidget*>(over);
        QVERIFY(target);
        if (auto* list = qobject_cast<QAbstractScrollArea*>(target)) {
            // A list of a step not yet reached; the pointer is over its rows.
            list->setEnabled(false);
            target = list->viewport();
        }
        auto turn = [&](int notches) {
            const QPointF at = QPointF(target->rect().center());
            QWheelEvent wheel(at, target->mapToGlobal(at), {}, QPoint(0, 120 * notches), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            // As the window system hands it over: turns no control takes go up to the parents.
            QSpontaneKeyEvent::setSpontaneous(&wheel);
            QApplication::sendEvent(target, &wheel);
        };
        turn(-2); // towards the user: down the page
        QVERIFY(w->vscDocumentScroll->value() > 0);
        QCOMPARE(w->pctDocument->y(), w->twipsToPixelsY(-w->vscDocumentScroll->value()));
        turn(2);
        QCOMPARE(w->vscDocumentScroll->value(), 0);
    }

    void closeAsksAboutUnsavedLists_data()
    {
        QTest::addColumn<bool>("templateChanged");
        QTest::addColumn<bool>("fileListChanged");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("question"); // empty: not asked
        QTest::addColumn<bool>("closed");
        QTest::newRow("nothing changed") << false << false << false << QString() << true;
        QTest::newRow("template, yes") << true << false << true
                                       << "The template has changes that were not saved. Close Quorvane anyway?"
                                       << true;
        QTest::newRow("template, no") << true << false << false
                                      << "The template has changes that were not saved. Close Quorvane anyway?"
                                      << false;
        QTest::newRow("file list, no") << false << true << false
                                       << "The file list has changes that were not saved. Close Quorvane anyway?"
                                       << false;
        QTest::newRow("both, yes") << true << true << true
                                   << "The template and the file list have changes that were not saved. "
                                      "Close Quorvane anyway?"
                                   << true;
    }

    void closeAsksAboutUnsavedLists()
    {
        QFETCH(bool, templateChanged);
        QFETCH(bool, fileListChanged);
        QFETCH(bool, answer);
        QFETCH(QString, question);
        QFETCH(bool, closed);
        ui_.questions.clear();
        ui_.questionAnswers = {answer};
        auto w = makeWindow();
        w->show();
        w->lsvTemplateItems->addRow({"A", "A", "", "M"}, true);
        w->lsvDrawingsToProcess->addRow({"a.dwg"}, true);
        w->lblURL[2]->setVisible(templateChanged);
        w->lblURL[3]->setVisible(fileListChanged);
        QCOMPARE(w->close(), closed);
        QCOMPARE(ui_.questions, question.isEmpty() ? std::vector<QString>{} : std::vector<QString>{question});
        QCOMPARE(w->isVisible(), !closed);
        ui_.questionAnswers.clear();
    }

    void givenFileAtStart_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<bool>("chosen"); // as the sample drawing
        QTest::newRow("drawing") << "Plan.dwg" << true << true;
        QTest::newRow("DXF drawing") << "Plan.DXF" << true << true;
        QTest::newRow("missing") << "Gone.dwg" << false << false;
        QTest::newRow("other type") << "notes.txt" << true << false;
    }

    void givenFileAtStart()
    {
        QFETCH(QString, name);
        QFETCH(bool, exists);
        QFETCH(bool, chosen);
        ui_.messages.clear();
        const QString path = appDir_.path() + "/" + name;
        if (exists) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        auto w = makeWindow();
        w->OpenGivenFile(path);
        QCOMPARE(w->txtTemplateDwg->text(), chosen ? path : QString());
        QCOMPARE(w->cmdImport->isEnabled(), chosen);
        QCOMPARE(ui_.messages.size(), size_t(chosen ? 0 : 1));
        if (!chosen)
            QVERIFY(ui_.messages[0].text.contains(QDir::toNativeSeparators(path)));
        QFile::remove(path);
    }

    void linkClickDispatches()
    {
        auto w = makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        ui_.saveRequests.clear();
        // Each link offers to save its own list; the dialog is cancelled.
        w->lblURL[2]->show();
        click(w->lblURL[2]);
        QCOMPARE(int(ui_.saveRequests.size()), 1);
        QVERIFY(ui_.saveRequests[0].filters.join(' ').contains(QLatin1String("*.xat")));
        w->lblURL[3]->show();
        click(w->lblURL[3]);
        QCOMPARE(int(ui_.saveRequests.size()), 2);
        QVERIFY(ui_.saveRequests[1].filters.join(' ').contains(QLatin1String("*.xal")));
        // A press that ends off the link is no click.
        QTest::mousePress(w->lblURL[3], Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
        QTest::mouseRelease(w->lblURL[3], Qt::LeftButton, Qt::NoModifier, QPoint(-20, 2));
        QCOMPARE(int(ui_.saveRequests.size()), 2);
        w->lblURL_Click(0);
        QCOMPARE(int(ui_.saveRequests.size()), 2);
    }

    void openWithAssociatedProgram_data()
    {
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("messages");
        QTest::newRow("opened") << int(platform::OpenResult::Opened) << 0;
        QTest::newRow("no program") << int(platform::OpenResult::NoAssociatedProgram) << 1;
        QTest::newRow("other failure") << int(platform::OpenResult::Failed) << 0;
    }

    void openWithAssociatedProgram()
    {
        QFETCH(int, result);
        QFETCH(int, messages);
        ui_.messages.clear();
        ui_.openedFiles.clear();
        ui_.openResult = platform::OpenResult(result);
        auto w = makeWindow();
        w->OpenWithAssociatedProgram(QStringLiteral("/tmp/out.csv"));
        QCOMPARE(ui_.openedFiles, std::vector<QString>{QStringLiteral("/tmp/out.csv")});
        QCOMPARE(int(ui_.messages.size()), messages);
        if (messages) {
            QCOMPARE(ui_.messages[0].text, QStringLiteral("There wasn't an associated program with the file type. "
                                                          "You will need to open the file manually."));
            QVERIFY(ui_.messages[0].icon == MessageIcon::Information);
        }
        ui_.openResult = platform::OpenResult::Opened;
    }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
