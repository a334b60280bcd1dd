// Steps 1 and 2 of the main window: the template modes, the drawing dialog,
// the import, opening and saving templates, and the "Save template?" link.
#include "app/frmmain.h"

#include "templates/templatefile.h"
#include "template_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidgetItem>

#include <memory>
#include <unistd.h>

using templates::TemplateItem;

namespace {


const QString corpus = QStringLiteral(QUORVANE_CORPUS_DIR);

} // namespace

class TestTemplateWindow : public QObject {
    Q_OBJECT

    QTemporaryDir store_;
    std::unique_ptr<QTemporaryDir> appDir_;
    ScriptedUiServices ui_;

    QString files() const { return appDir_->path() + QStringLiteral("/Files"); }

    std::unique_ptr<frmMain> makeWindow() { return std::make_unique<frmMain>(&ui_, appDir_->path()); }

    static bool linkShown(const frmMain& w) { return !w.lblURL[2]->isHidden(); }
    static bool stepTwoAvailable(const frmMain& w) { return w.cmdImport->isEnabled() && w.lsvTemplateItems->isEnabled(); }

    // Template mode with `name` chosen in the box, as a user would.
    void chooseTemplate(frmMain& w, const QString& name)
    {
        w.optTemplateMode[1]->click();
        const int index = w.cmbTemplates->findText(name);
        QVERIFY(index >= 0);
        w.cmbTemplates->setCurrentIndex(index);
        w.cmbTemplates_Click();
    }

    void chooseDrawing(frmMain& w, const QString& path)
    {
        ui_.answerOpen(path);
        w.cmdOpenTemplateFile->click();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(store_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, store_.path());
    }

    void init()
    {
        appDir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(appDir_->isValid());
        ui_ = ScriptedUiServices();
    }

    void cleanup()
    {
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
        QVERIFY(ui_.openAnswers.empty());
        QVERIFY(ui_.saveAnswers.empty());
    }

    void modeSwitchesLeaveTheControlsAsDesigned()
    {
        auto w = makeWindow();
        QDir().mkpath(files());
        QVERIFY(writeBytes(files() + "/b.xat", "1\tA\tA\t\tM\r\n"));
        QVERIFY(writeBytes(files() + "/a.xat", ""));
        QVERIFY(writeBytes(files() + "/list.xal", ""));

        chooseDrawing(*w, "/drawings/sample.dwg");
        QVERIFY(stepTwoAvailable(*w));

        w->optTemplateMode[1]->click();
        QCOMPARE(w->cmdImport->text(), QStringLiteral("Open"));
        QVERIFY(w->txtTemplateDwg->text().isEmpty());
        QVERIFY(!w->cmdOpenTemplateFile->isEnabled());
        QVERIFY(w->optSpace[0]->isHidden() && w->optSpace[1]->isHidden());
        QCOMPARE(w->chkSelectAllTags->checkState(), Qt::Unchecked);
        QVERIFY(w->lblInstructionsStepTwo->text().startsWith("Click 'Open' to open the template file"));
        QCOMPARE(w->cmbTemplates->count(), 2);
        QCOMPARE(w->cmbTemplates->itemText(0), QStringLiteral("a.xat"));
        QCOMPARE(w->cmbTemplates->currentIndex(), -1);
        QVERIFY(w->cmbTemplates->currentText().isEmpty());
        QVERIFY(!linkShown(*w));
        QVERIFY(!stepTwoAvailable(*w));
        QVERIFY(!w->cmdProcess->isEnabled());
        QVERIFY(w->hasFrameBorder(1));

        w->optTemplateMode[0]->click();
        QCOMPARE(w->cmdImport->text(), QStringLiteral("Import"));
        QCOMPARE(w->cmbTemplates->count(), 0);
        QVERIFY(w->txtTemplateDwg->text().isEmpty());
        QVERIFY(w->cmdOpenTemplateFile->isEnabled());
        QVERIFY(!w->optSpace[0]->isHidden() && !w->optSpace[1]->isHidden());
        QCOMPARE(w->chkSelectAllTags->checkState(), Qt::Checked);
        QVERIFY(w->lblInstructionsStepTwo->text().startsWith("Choose to search for attribute tags"));
        QVERIFY(!linkShown(*w));
        QVERIFY(!stepTwoAvailable(*w));
        QVERIFY(ui_.messages.empty());
    }

    void templateFolderIsMadeOrReported()
    {
        {
            auto w = makeWindow();
            w->optTemplateMode[1]->click();
            QVERIFY(QFileInfo(files()).isDir());
            QVERIFY(ui_.messages.empty());
        }
        QVERIFY(QDir(files()).removeRecursively());
        QVERIFY(writeBytes(files(), "a file where the folder should be"));
        auto w = makeWindow();
        w->optTemplateMode[1]->click();
        QCOMPARE(w->cmbTemplates->count(), 0);
        QCOMPARE(ui_.messages.size(), size_t(1));
        QCOMPARE(ui_.messages[0].icon, MessageIcon::Exclamation);
        QVERIFY(ui_.messages[0].text.contains("could not be created"));
    }

    void drawingDialogAndItsCancelRules()
    {
        auto w = makeWindow();
        w->folders.SampleDrawingsFolder = "/samples";

        ui_.cancelOpen();
        w->cmdOpenTemplateFile->click();
        QCOMPARE(ui_.openRequests.size(), size_t(1));
        const FileDialogRequest& first = ui_.openRequests[0];
        QCOMPARE(first.title, QStringLiteral("Select Drawing"));
        QCOMPARE(first.filters, (QStringList{"Drawing Files (*.dwg *.dxf)", "DWG Files (*.dwg)", "DXF Files (*.dxf)"}));
        QCOMPARE(first.filterIndex, 1);
        QCOMPARE(first.folder, QStringLiteral("/samples"));
        QVERIFY(!stepTwoAvailable(*w));

        chooseDrawing(*w, "/samples/one.dwg");
        QCOMPARE(w->txtTemplateDwg->text(), QStringLiteral("/samples/one.dwg"));
        QVERIFY(stepTwoAvailable(*w));
        QCOMPARE(w->cmdImport->text(), QStringLiteral("Import"));

        // A cancel after a choice changes nothing; the dialog starts on the last choice.
        ui_.cancelOpen();
        w->cmdOpenTemplateFile->click();
        QCOMPARE(ui_.openRequests.back().fileName, QStringLiteral("/samples/one.dwg"));
        QCOMPARE(w->txtTemplateDwg->text(), QStringLiteral("/samples/one.dwg"));
        QVERIFY(stepTwoAvailable(*w));

        // A new choice empties the list; rows come only with "Import".
        w->cmdImport->click();
        QVERIFY(w->lsvTemplateItems->isEnabled());
        QCOMPARE(ui_.messages.size(), std::size_t{1}); // "/samples/one.dwg" does not exist
        chooseDrawing(*w, "/samples/two.dwg");
        QCOMPARE(w->lsvTemplateItems->topLevelItemCount(), 0);
        QCOMPARE(ui_.messages.size(), std::size_t{1});
    }

    void importUnlocksTheNextStepAndShowsTheLink()
    {
        auto w = makeWindow();
        chooseDrawing(*w, appDir_->path() + "/missing.dwg");
        w->cmdImport->click();
        QCOMPARE(w->lsvTemplateItems->topLevelItemCount(), 0);
        QVERIFY(linkShown(*w));
        QVERIFY(w->cmdOpenDirectory->isEnabled());
        QVERIFY(!w->cmdProcess->isEnabled());
        QVERIFY(w->chkSelectAllTags->isEnabled());
        QVERIFY(!w->hasFrameBorder(2));
        QVERIFY(w->hasFrameBorder(3));

        // "Check All" on the empty list checks nothing and shows the link.
        w->lblURL[2]->hide();
        w->chkSelectAllTags->click();
        QVERIFY(linkShown(*w));

        // With drawings listed, the import goes straight to Step 4.
        w->lsvDrawingsToProcess->addRow({"/d/a.dwg"}, true);
        w->cmdImport->click();
        QVERIFY(w->cmdProcess->isEnabled());
        QVERIFY(w->hasFrameBorder(4));
        QCOMPARE(ui_.messages.size(), std::size_t{2}); // the missing drawing, once per import
    }

    // A sample drawing that cannot be read says so and why; one that is read
    // but holds no attributes in the space stays silent.
    void unreadableSampleDrawingIsReported()
    {
        const QString text = appDir_->path() + "/notes.dwg";
        const QString cut = appDir_->path() + "/cut.dwg";
        for (const auto& [path, bytes] : {std::pair{text, QByteArray("meeting notes")},
                                          std::pair{cut, QByteArray("AC1015\0\0\0\0\0\x0F\x01", 13)}}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        const struct {
            QString path;
            const char* reason;
            MessageIcon icon;
        } cases[] = {
            {appDir_->path() + "/missing.dwg", "the file does not exist", MessageIcon::Information},
            {text, "the file is neither a DWG nor a DXF drawing", MessageIcon::Information},
            {cut, "the drawing is truncated", MessageIcon::Critical},
        };
        auto w = makeWindow();
        for (const auto& c : cases) {
            ui_.messages.clear();
            chooseDrawing(*w, c.path);
            w->cmdImport->click();
            QCOMPARE(w->lsvTemplateItems->topLevelItemCount(), 0);
            QCOMPARE(ui_.messages.size(), std::size_t{1});
            QCOMPARE(ui_.messages[0].text, QString("The drawing %1 could not be read: %2.")
                                               .arg(QDir::toNativeSeparators(c.path), c.reason));
            QCOMPARE(ui_.messages[0].icon, c.icon);
        }
        const QString empty = corpus + "/generated/g_no_attributes.dwg";
        if (!QFileInfo::exists(empty))
            QSKIP("corpus not present");
        ui_.messages.clear();
        chooseDrawing(*w, empty);
        w->cmdImport->click();
        QCOMPARE(w->lsvTemplateItems->topLevelItemCount(), 0);
        QVERIFY(ui_.messages.empty());
    }

    void openingATemplate()
    {
        QDir().mkpath(files());
        QVERIFY(writeBytes(files() + "/t.xat", "1\tDrawing\tDWG_NO\tX-1\tM\r\n0\tREV\tREV\t\tP\r\n"));
        auto w = makeWindow();
        chooseTemplate(*w, "t.xat");
        QVERIFY(stepTwoAvailable(*w));
        QCOMPARE(w->lsvTemplateItems->topLevelItemCount(), 0);

        w->cmdImport->click();
        QCOMPARE(w->TemplateItems(),
                 (QList<TemplateItem>{row(true, "Drawing", "DWG_NO", "X-1"), row(false, "REV", "REV", "", "P")}));
        QVERIFY(!linkShown(*w));
        QVERIFY(w->cmdOpenDirectory->isEnabled());
        QVERIFY(w->chkSelectAllTags->isEnabled());
        QVERIFY(ui_.messages.empty());

        // Deleted in the meantime: the list stays as it was, no message.
        QVERIFY(QFile::remove(files() + "/t.xat"));
        w->cmdImport->click();
        QCOMPARE(w->lsvTemplateItems->topLevelItemCount(), 2);
        QVERIFY(ui_.messages.empty());
    }

    void openingReportsSkippedLinesAndUnreadableFiles()
    {
        QDir().mkpath(files());
        QVERIFY(writeBytes(files() + "/bad.xat", "1\tA\tA\t\tM\r\n\r\nbroken\r\nx\tB\tB\t\tM\r\n0\tC\tC\t\tM\r\n"));
        auto w = makeWindow();
        chooseTemplate(*w, "bad.xat");
        w->cmdImport->click();
        QCOMPARE(w->lsvTemplateItems->topLevelItemCount(), 2);
        QCOMPARE(ui_.messages.size(), size_t(1));
        QVERIFY(ui_.messages[0].text.startsWith("3 lines"));

        if (::geteuid() == 0)
            QSKIP("file permissions do not bind root");
        ui_.messages.clear();
        QVERIFY(QFile::setPermissions(files() + "/bad.xat", QFileDevice::Permissions()));
        w->cmdImport->click();
        QCOMPARE(ui_.messages.size(), size_t(1));
        QVERIFY(ui_.messages[0].text.contains("could not be read"));
        QCOMPARE(w->lsvTemplateItems->topLevelItemCount(), 2);
    }

    void savingATemplate()
    {
        QDir().mkpath(files());
        QVERIFY(writeBytes(files() + "/in.xat", "1\tA\tA\tv\tM\r\n0\tB\tB\t\tM\r\n"));
        auto w = makeWindow();
        chooseTemplate(*w, "in.xat");
        w->cmdImport->click();
        w->lsvTemplateItems->topLevelItem(1)->setCheckState(0, Qt::Checked);
        QVERIFY(linkShown(*w));

        // Cancelled: nothing written, the link stays.
        ui_.cancelSave();
        w->lblURL_Click(2);
        QCOMPARE(ui_.saveRequests.size(), size_t(1));
        const FileDialogRequest& request = ui_.saveRequests[0];
        QCOMPARE(request.title, QStringLiteral("Save Template As"));
        QCOMPARE(request.filters, QStringList{"Template Files (*.xat)"});
        QCOMPARE(request.filterIndex, 1);
        QCOMPARE(QDir::cleanPath(request.folder), QDir::cleanPath(files()));
        QVERIFY(request.fileName.isEmpty());
        QVERIFY(request.confirmOverwrite);
        QVERIFY(linkShown(*w));
        QVERIFY(ui_.messages.empty());

        // Saved over the file it came from.
        ui_.answerSave(files() + "/in.xat");
        w->lblURL_Click(2);
        QCOMPARE(readAll(files() + "/in.xat"), QByteArray("1\tA\tA\tv\tM\r\n1\tB\tB\t\tM\r\n"));
        QVERIFY(!linkShown(*w));
        QCOMPARE(ui_.messages.size(), size_t(1));
        QCOMPARE(ui_.messages[0].text, QStringLiteral("The template file was saved successfully."));
        QCOMPARE(ui_.messages[0].icon, MessageIcon::Information);

        // Not listed until the template mode is chosen again.
        ui_.answerSave(files() + "/new.xat");
        w->chkSelectAllTags_Click();
        w->lblURL_Click(2);
        QCOMPARE(w->cmbTemplates->findText("new.xat"), -1);
        w->optTemplateMode[1]->click();
        QVERIFY(w->cmbTemplates->findText("new.xat") >= 0);
    }

    void savedNameGetsItsExtension_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("saved");
        QTest::newRow("no extension") << "plain" << "plain.xat";
        QTest::newRow("in quotes") << "\"quoted\"" << "quoted.xat";
        QTest::newRow("in quotes with extension") << "\"both.xat\"" << "both.xat";
    }

    void savedNameGetsItsExtension()
    {
        QFETCH(QString, typed);
        QFETCH(QString, saved);
        auto w = makeWindow();
        w->fillTemplateItems({row(true, "A", "A", "v")});
        ui_.answerSave(files() + "/" + typed);
        w->SaveTemplate();
        QCOMPARE(QDir(files()).entryList(QDir::Files), QStringList{saved});
        QCOMPARE(ui_.messages.size(), size_t(1));
        // Listed under "Use an existing template".
        w->optTemplateMode[1]->click();
        QVERIFY(w->cmbTemplates->findText(saved) >= 0);
    }

    void spaceTicksTheCurrentRowInAnyColumn_data()
    {
        QTest::addColumn<int>("column");
        for (int column = 0; column < 4; ++column)
            QTest::addRow("column %d", column) << column;
    }

    void spaceTicksTheCurrentRowInAnyColumn()
    {
        QFETCH(int, column);
        auto w = makeWindow();
        w->EnableStepTwo(true);
        w->fillTemplateItems({row(true, "A", "A", "v"), row(false, "B", "B", "w", "P")});
        w->show();
        QTreeWidgetItem* second = w->lsvTemplateItems->topLevelItem(1);
        w->lsvTemplateItems->setFocus();
        w->lsvTemplateItems->setCurrentItem(second, column);
        QTest::keyClick(w->lsvTemplateItems, Qt::Key_Space);
        QCOMPARE(second->checkState(0), Qt::Checked);
        QVERIFY(linkShown(*w));
        QTest::keyClick(w->lsvTemplateItems, Qt::Key_Space);
        QCOMPARE(second->checkState(0), Qt::Unchecked);
        QCOMPARE(w->lsvTemplateItems->topLevelItem(0)->checkState(0), Qt::Checked);
        w->hide();
    }

    void templateGivenAtStart_data()
    {
        QTest::addColumn<bool>("inFilesFolder");
        QTest::newRow("in Files") << true;
        QTest::newRow("elsewhere, read where it is") << false;
    }

    void templateGivenAtStart()
    {
        QFETCH(bool, inFilesFolder);
        QTemporaryDir elsewhere;
        QDir().mkpath(files());
        const QString path = (inFilesFolder ? files() : elsewhere.path()) + "/given.xat";
        QVERIFY(writeBytes(path, "1\tDrawing\tDWG_NO\tX-1\tM\r\n"));
        auto w = makeWindow();
        w->OpenGivenFile(path);
        QVERIFY(w->optTemplateMode[1]->isChecked());
        QCOMPARE(w->cmbTemplates->currentText(), QStringLiteral("given.xat"));
        QVERIFY(stepTwoAvailable(*w));
        w->cmdImport->click();
        QCOMPARE(w->TemplateItems(), QList<TemplateItem>{row(true, "Drawing", "DWG_NO", "X-1")});
        QCOMPARE(QDir(files()).entryList(QDir::Files), inFilesFolder ? QStringList{"given.xat"} : QStringList{});
        QVERIFY(ui_.messages.empty());
    }

    void failedSaveSaysSoAndKeepsTheLink()
    {
        auto w = makeWindow();
        w->chkSelectAllTags_Click();
        QVERIFY(linkShown(*w));
        QVERIFY(QDir(appDir_->path()).mkdir("folder.xat"));
        ui_.answerSave(appDir_->path() + "/folder.xat");
        w->lblURL_Click(2);
        QCOMPARE(ui_.messages.size(), size_t(1));
        QCOMPARE(ui_.messages[0].icon, MessageIcon::Exclamation);
        QVERIFY(ui_.messages[0].text.contains("could not be saved"));
        QVERIFY(linkShown(*w));

        if (::geteuid() == 0)
            QSKIP("file permissions do not bind root");
        ui_.messages.clear();
        const QString locked = appDir_->path() + "/locked.xat";
        QVERIFY(writeBytes(locked, "0\tOLD\tOLD\t\tM\r\n"));
        QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner));
        ui_.answerSave(locked);
        w->lblURL_Click(2);
        QCOMPARE(ui_.messages.size(), size_t(1));
        QCOMPARE(ui_.messages[0].text, QStringLiteral("An error occurred. The file is open and cannot be saved. "
                                                      "Please close the file and try again."));
        QCOMPARE(readAll(locked), QByteArray("0\tOLD\tOLD\t\tM\r\n"));
    }

    void checksRenamesAndCheckAllShowTheLink()
    {
        QDir().mkpath(files());
        QVERIFY(writeBytes(files() + "/t.xat", "1\tA\tA\t\tM\r\n0\tB\tB\t\tM\r\n1\tC\tC\t\tM\r\n"));
        auto w = makeWindow();
        chooseTemplate(*w, "t.xat");
        w->cmdImport->click();
        QVERIFY(!linkShown(*w));

        // A single tick.
        w->lsvTemplateItems->topLevelItem(1)->setCheckState(0, Qt::Checked);
        QVERIFY(linkShown(*w));

        // "Check All" unticked clears every row, ticked sets every row.
        w->lblURL[2]->hide();
        w->chkSelectAllTags->click();
        QCOMPARE(w->chkSelectAllTags->checkState(), Qt::Checked);
        for (const TemplateItem& item : w->TemplateItems())
            QVERIFY(item.Checked);
        QVERIFY(linkShown(*w));
        w->chkSelectAllTags->click();
        for (const TemplateItem& item : w->TemplateItems())
            QVERIFY(!item.Checked);

        // An in-place rename, through the list's own editor.
        w->lblURL[2]->hide();
        w->show();
        QTreeWidgetItem* first = w->lsvTemplateItems->topLevelItem(0);
        w->lsvTemplateItems->setCurrentItem(first, 0);
        w->lsvTemplateItems->editItem(first, 0);
        QLineEdit* editor = nullptr;
        QTRY_VERIFY((editor = w->lsvTemplateItems->findChild<QLineEdit*>()) != nullptr);
        editor->setText("Renamed");
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(first->text(0), QStringLiteral("Renamed"));
        QTRY_VERIFY(linkShown(*w));
        QCOMPARE(w->TemplateItems()[0].Tag, QStringLiteral("A"));

        // Tag, sample value and space are never edited.
        w->lsvTemplateItems->setCurrentItem(first, 1);
        w->lsvTemplateItems->editItem(first, 1);
        QTest::qWait(20);
        QCOMPARE(w->lsvTemplateItems->findChild<QLineEdit*>(), nullptr);
        w->close();
    }

    // From a sample drawing to a saved template and back through "Use an existing template".
    void fromSampleDrawingToTemplateAndBack()
    {
        const QString drawing = corpus + "/generated/a_title_block.dwg";
        if (!QFileInfo::exists(drawing))
            QSKIP("corpus not present");
        auto w = makeWindow();
        chooseDrawing(*w, drawing);
        w->cmdImport->click();
        w->cmdImport->click(); // a second import replaces the rows
        QCOMPARE(w->lsvTemplateItems->topLevelItemCount(), 5);
        QCOMPARE(w->TemplateItems()[0], row(true, "DWG_NO", "DWG_NO", "A-1001"));
        for (const TemplateItem& item : w->TemplateItems())
            QVERIFY(item.Checked && item.FieldName == item.Tag && item.SpaceCode == "M");
        w->lsvTemplateItems->topLevelItem(0)->setText(0, "Renamed");
        w->lsvTemplateItems->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        const QList<TemplateItem> before = w->TemplateItems();

        ui_.answerSave(files() + "/title.xat");
        w->lblURL_Click(2);
        QVERIFY(!linkShown(*w));
        chooseTemplate(*w, "title.xat");
        w->cmdImport->click();
        QCOMPARE(w->TemplateItems(), before);
    }

    // A save or a second open asked for while a template is being read waits
    // for nothing and changes nothing.
    void noSaveOrOpenInsideARead()
    {
        QDir().mkpath(files());
        QByteArray big;
        for (int i = 0; i < 3000; ++i)
            big += "1\tF" + QByteArray::number(i) + "\tT\t\tM\r\n";
        QVERIFY(writeBytes(files() + "/big.xat", big));
        auto w = makeWindow();
        chooseTemplate(*w, "big.xat");
        int nested = 0;
        QTimer::singleShot(0, w.get(), [&] {
            ++nested;
            w->SaveTemplate();
            w->OpenTemplate();
            w->cmdImport_Click();
        });
        w->cmdImport->click();
        QCOMPARE(nested, 1);
        QVERIFY(ui_.saveRequests.empty());
        QCOMPARE(w->lsvTemplateItems->topLevelItemCount(), 3000);
        QVERIFY(ui_.messages.empty());
    }
};

QTEST_MAIN(TestTemplateWindow)
#include "tst_templatewindow.moc"
