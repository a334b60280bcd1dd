// The window's workflows as a user drives them, with every failure and what the
// window says. One fixture: a window over a fresh application folder, its
// dialogs answered by ScriptedUiServices, its settings apart.

#include "app/busyinput.h"
#include "app/frmmain.h"
#include "drawings/filelist.h"
#include "drawings/frmbrowse.h"
#include "file_bytes.h"
#include "scripted_ui.h"
#include "templates/templatefile.h"

#include <QTest>
#include <QtWidgets>

#include <memory>

using templates::TemplateItem;

namespace {

// lblURL's indexes as the design numbers them.
constexpr int TemplateLink = 2;
constexpr int FileListLink = 3;

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir store_;
    std::unique_ptr<QTemporaryDir> app_;
    ScriptedUiServices ui_;
    std::unique_ptr<frmMain> w_;

    QString files() const { return app_->path() + "/Files"; }
    static QString corpus(const QString& relative) { return QStringLiteral(QUORVANE_CORPUS_DIR "/") + relative; }
    static bool haveCorpus() { return QFileInfo::exists(corpus("generated/a_title_block.dwg")); }
    QStringList messages() const
    {
        QStringList texts;
        for (const auto& m : ui_.messages) texts << m.text;
        return texts;
    }
    static QStringList shown(const CheckList* list)  // "1 first column" / "0 first column"
    {
        QStringList rows;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            rows << QString(list->isChecked(i) ? "1 " : "0 ") + list->topLevelItem(i)->text(0);
        return rows;
    }
    static QStringList drawingRows(const frmMain& w) { return shown(w.lsvDrawingsToProcess); }
    bool templateLinkShown() const { return !w_->lblURL[TemplateLink]->isHidden(); }
    bool fileListLinkShown() const { return !w_->lblURL[FileListLink]->isHidden(); }

    // As a user does it: the dialog, the space buttons, Import.
    void importSample(const QString& path, bool paper)
    {
        ui_.answerOpen(path);
        w_->cmdOpenTemplateFile->click();
        w_->optSpace[paper ? 1 : 0]->click();
        w_->cmdImport->click();
    }
    void openTemplate(const QString& name)
    {
        w_->optTemplateMode[1]->click();
        const int at = w_->cmbTemplates->findText(name);
        QVERIFY2(at >= 0, qPrintable(name));
        w_->cmbTemplates->setCurrentIndex(at);
        w_->cmbTemplates_Click();
        w_->cmdImport->click();
    }
    static void loadFileList(frmMain& w, const QString& name)
    {
        const int at = w.cmbFileList->findText(name);
        QVERIFY2(at >= 0, qPrintable(name));
        w.cmbFileList->setCurrentIndex(at);
        emit w.cmbFileList->activated(at);
    }
    // Browse, then OK (with or without sub-folders) or Cancel in the folder browser.
    void browse(const QString& folder, bool subfolders, bool ok)
    {
        w_->folders.ImportDrawingsFolder = QDir::toNativeSeparators(folder);
        QTimer::singleShot(0, [=] {
            auto* browser = qobject_cast<frmBrowse*>(QApplication::activeModalWidget());
            if (!browser) {
                if (QWidget* other = QApplication::activeModalWidget())
                    other->close();  // never leave a modal loop behind a failed check
                QFAIL("the folder browser is not the modal window");
            }
            browser->chkSubDir->setChecked(subfolders);
            browser->cmdPathControl[ok ? 0 : 1]->click();
        });
        w_->cmdOpenDirectory->click();
    }
    // Ticked TITLE and DWG_NO (as "Number"), unticked REV; four of five drawings ticked, one missing.
    void fillForRun(const QString& missing)
    {
        w_->lsvTemplateItems->addRow({"TITLE", "TITLE", "GENERAL ARRANGEMENT", "M"}, true);
        w_->lsvTemplateItems->addRow({"REV", "REV", "C", "M"}, false);
        w_->lsvTemplateItems->addRow({"Number", "DWG_NO", "A-1001", "M"}, true);
        w_->lsvDrawingsToProcess->addRow({corpus("generated/a_title_block.dwg")}, true);
        w_->lsvDrawingsToProcess->addRow({missing}, true);
        w_->lsvDrawingsToProcess->addRow({corpus("generated/batch/batch_001.dwg")}, false);
        w_->lsvDrawingsToProcess->addRow({corpus("generated/g_no_attributes.dwg")}, true);
        w_->lsvDrawingsToProcess->addRow({corpus("generated/b_duplicate_tags.dwg")}, true);
    }
    void process()
    {
        w_->cmdProcess_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!w_->isRunning(), 30000);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(store_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, store_.path());
        // Stored folders are taken as stored, even missing ones (the search and
        // the run start there); the others default (Samples).
        QSettings stored(QSettings::NativeFormat, QSettings::UserScope, "Pellowen");
        stored.setValue("Quorvane/Process File", "/no/such folder/");
        stored.setValue("Quorvane/Import Drawings", "/i");
    }
    void init()
    {
        app_ = std::make_unique<QTemporaryDir>();
        QVERIFY(app_->isValid());
        ui_ = ScriptedUiServices();
        w_ = std::make_unique<frmMain>(&ui_, app_->path());
    }
    void cleanup()
    {
        w_.reset();
        QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
        QVERIFY(ui_.openAnswers.empty() && ui_.saveAnswers.empty());
    }

    // Steps 1 and 2: the drawing's tags become the template; ticks and a rename
    // survive a save and an open; each action leaves only the next step open.
    void sampleDrawingToTemplateAndBack()
    {
        if (!haveCorpus())
            QSKIP("corpus not present");
        w_->cmdOpenTemplateFile->click();  // cancelled
        QCOMPARE(ui_.openRequests.at(0).folder, app_->path() + "/Samples");

        importSample(corpus("generated/d_paper_only.dwg"), true);
        QCOMPARE(w_->TemplateItems(), (QList<TemplateItem>{{true, "DWG_NO", "DWG_NO", "P-200", "P"},
                                                           {true, "TITLE", "TITLE", "PAPER ONLY", "P"},
                                                           {true, "REV", "REV", "B", "P"}}));
        importSample(corpus("generated/d_paper_only.dwg"), false);  // its model space holds none: rows replaced
        QCOMPARE(w_->lsvTemplateItems->topLevelItemCount(), 0);
        importSample(corpus("generated/a_title_block.dwg"), false);
        QCOMPARE(w_->TemplateItems().size(), 5);
        QCOMPARE(w_->TemplateItems()[0], (TemplateItem{true, "DWG_NO", "DWG_NO", "A-1001", "M"}));
        QVERIFY(w_->cmdOpenDirectory->isEnabled());
        QVERIFY(templateLinkShown());   // an import is a template not yet saved
        w_->chkSelectAllTags->click();  // "Check All" clears every row, then ticks every row
        QVERIFY(!w_->lsvTemplateItems->isChecked(0) && !w_->lsvTemplateItems->isChecked(4));
        w_->chkSelectAllTags->click();
        // Space ticks the current row from any column, and the template has changed.
        w_->lblURL[TemplateLink]->hide();
        w_->show();
        w_->lsvTemplateItems->setFocus();
        w_->lsvTemplateItems->setCurrentItem(w_->lsvTemplateItems->topLevelItem(1), 3);
        QTest::keyClick(w_->lsvTemplateItems, Qt::Key_Space);
        QVERIFY(w_->lsvTemplateItems->isChecked(4) && !w_->lsvTemplateItems->isChecked(1));
        QVERIFY(templateLinkShown());
        // An in-place rename through the list's own editor; the tag stays.
        QTreeWidgetItem* first = w_->lsvTemplateItems->topLevelItem(0);
        w_->lsvTemplateItems->editItem(first, 0);
        QLineEdit* editor = nullptr;
        QTRY_VERIFY((editor = w_->lsvTemplateItems->findChild<QLineEdit*>()) != nullptr);
        editor->setText("Drawing number");
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(w_->TemplateItems()[0], (TemplateItem{true, "Drawing number", "DWG_NO", "A-1001", "M"}));
        // Only the field name is edited.
        w_->lsvTemplateItems->editItem(first, 1);
        QTest::qWait(20);
        QCOMPARE(w_->lsvTemplateItems->findChild<QLineEdit*>(), nullptr);
        const QList<TemplateItem> before = w_->TemplateItems();

        ui_.cancelSave();
        w_->lblURL_Click(TemplateLink);
        QVERIFY(templateLinkShown());
        QVERIFY(QDir(files()).entryList(QDir::Files).isEmpty());
        ui_.answerSave(files() + "/title");
        w_->lblURL_Click(TemplateLink);
        QCOMPARE(QDir::cleanPath(ui_.saveRequests.at(1).folder), files());
        QCOMPARE(readAll(files() + "/title.xat"), templates::formatTemplate(before));
        QVERIFY(!templateLinkShown());
        QCOMPARE(messages(), QStringList{"The template file was saved successfully."});

        // Named on the command line: opened where it is, not copied.
        w_->OpenGivenFile(files() + "/title.xat");
        w_->cmdImport->click();
        QCOMPARE(w_->TemplateItems(), before);
        QVERIFY(!templateLinkShown());
        QCOMPARE(QDir(files()).entryList(QDir::Files), QStringList{"title.xat"});
        // Back to a sample drawing: Steps 2 and 4 close until a drawing is chosen.
        w_->optTemplateMode[0]->click();
        QVERIFY(!w_->cmdImport->isEnabled() && !w_->cmdProcess->isEnabled());
        QCOMPARE(ui_.messages.size(), std::size_t(1));
    }

    // A sample drawing chosen in the dialog or named on the command line: one
    // that cannot be used is told, with why, and lists nothing.
    void chosenSampleDrawing_data()
    {
        QTest::addColumn<bool>("given");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");  // empty: no file
        QTest::addColumn<QString>("message");   // empty: none; %1 the path
        QTest::addColumn<int>("icon");
        const QString unread = "The drawing %1 could not be read: ";
        QTest::newRow("dialog, missing") << false << "s.dwg" << QByteArray() << unread + "the file does not exist."
                                         << int(MessageIcon::Information);
        QTest::newRow("dialog, truncated") << false << "s.dwg" << QByteArray("AC1015\0\0\0\0\0\x0F\x01", 13)
                                           << unread + "the drawing is truncated." << int(MessageIcon::Critical);
        QTest::newRow("given drawing") << true << "Plan.dwg" << QByteArray("x") << QString() << 0;
        QTest::newRow("given DXF drawing") << true << "Plan.DXF" << QByteArray("x") << QString() << 0;
        QTest::newRow("given, missing") << true << "Gone.dwg" << QByteArray()
                                        << "The file \"%1\" was not found, so Quorvane starts without it."
                                        << int(MessageIcon::Exclamation);
        QTest::newRow("given, other type") << true << "notes.txt" << QByteArray("x")
                                           << "Quorvane opens templates (*.xat), file lists (*.xal) and drawings "
                                              "(*.dwg, *.dxf); \"%1\" is none of them."
                                           << int(MessageIcon::Exclamation);
    }

    void chosenSampleDrawing()
    {
        QFETCH(bool, given);
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        QFETCH(int, icon);
        const QString path = app_->filePath(name);
        if (!bytes.isEmpty())
            QVERIFY(writeBytes(path, bytes));
        given ? w_->OpenGivenFile(path) : importSample(path, false);
        const QStringList told{message.arg(QDir::toNativeSeparators(path))};
        QCOMPARE(messages(), message.isEmpty() ? QStringList() : told);
        if (!message.isEmpty())
            QCOMPARE(int(ui_.messages[0].icon), icon);
        QCOMPARE(w_->lsvTemplateItems->topLevelItemCount(), 0);
        if (!given) {
            QVERIFY(w_->cmdOpenDirectory->isEnabled());  // Step 3 opens all the same
            return;
        }
        QCOMPARE(w_->txtTemplateDwg->text(), message.isEmpty() ? path : QString());
        QCOMPARE(w_->cmdImport->isEnabled(), message.isEmpty());
    }

    // "Files" cannot be made: no template is listed and the window says why.
    void templateFolderInTheWay()
    {
        QVERIFY(writeBytes(files(), "a file where the folder should be"));
        w_->optTemplateMode[1]->click();
        QCOMPARE(w_->cmbTemplates->count(), 0);
        QCOMPARE(ui_.messages.size(), std::size_t(1));
        QVERIFY(messages()[0].contains("could not be created"));
    }

    // A name typed in a save dialog gets the chosen type's extension where it
    // has none and loses its quotes; an empty one saves nothing. Both lists
    // and the run use it: the workflows type names without an extension.
    void saveNameCompletion_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("saved");
        QTest::newRow("no extension") << "/f/plain" << 1 << "/f/plain.xat";
        QTest::newRow("the third type") << "/f/plain" << 3 << "/f/plain.csv";
        QTest::newRow("its extension") << "/f/given.xat" << 1 << "/f/given.xat";
        QTest::newRow("in quotes") << "/f/\"quoted\"" << 1 << "/f/quoted.xat";
        QTest::newRow("in quotes with extension") << "/f/\"both.xat\"" << 1 << "/f/both.xat";
        QTest::newRow("only quotes") << "/f/\"\"" << 1 << QString();
        QTest::newRow("a dot in a folder's name") << "/d.x/out" << 3 << "/d.x/out.csv";
    }

    void saveNameCompletion()
    {
        QFETCH(QString, typed);
        QFETCH(int, type);
        QFETCH(QString, saved);
        FileDialogRequest request;
        request.filters = {"Template Files (*.xat)", "Access 97 (*.mdb)", "CSV (Comma delimited) (*.csv)"};
        QCOMPARE(completeSaveName(typed, request, type), saved);
    }

    // Step 3: a search fills the list; ticks survive a save and a load.
    void searchSaveAndLoadAFileList()
    {
        QTemporaryDir drawings;
        QVERIFY(QDir().mkpath(drawings.path() + "/sub"));
        for (const char* name : {"/a.dwg", "/B.DWG", "/sub/c.dwg", "/sub/d.dxf", "/notes.txt"})
            QVERIFY(writeBytes(drawings.path() + name, "x"));
        const QString root = QDir::toNativeSeparators(drawings.path()) + QDir::separator();
        w_->EnableStepThree(true);
        QCOMPARE(w_->folders.ImportDrawingsFolder, QString("/i"));  // as stored

        // Cancelled: the list stays, the folder chosen is remembered.
        w_->lsvDrawingsToProcess->addRow({"kept.dwg"}, false);
        browse(drawings.path() + "/sub", false, false);
        QCOMPARE(drawingRows(*w_), QStringList{"0 kept.dwg"});
        QCOMPARE(w_->folders.ImportDrawingsFolder, QDir::toNativeSeparators(drawings.path() + "/sub"));

        browse(drawings.path(), false, true);
        QCOMPARE(drawingRows(*w_), (QStringList{"1 " + root + "a.dwg", "1 " + root + "B.DWG"}));
        browse(drawings.path(), true, true);
        const QString sub = root + "sub" + QDir::separator();
        QCOMPARE(drawingRows(*w_), (QStringList{"1 " + root + "a.dwg", "1 " + root + "B.DWG", "1 " + sub + "c.dwg"}));
        QVERIFY(w_->cmdProcess->isEnabled());
        QVERIFY(fileListLinkShown());       // a search is a list not yet saved
        w_->chkSelectAllDrawings->click();  // "Check All" clears every row, then ticks every row
        QCOMPARE(drawingRows(*w_), (QStringList{"0 " + root + "a.dwg", "0 " + root + "B.DWG", "0 " + sub + "c.dwg"}));
        w_->chkSelectAllDrawings->click();

        w_->lblURL[FileListLink]->hide();
        // One row by hand: "Check All" stays as it was, the link shows.
        w_->lsvDrawingsToProcess->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        QVERIFY(w_->chkSelectAllDrawings->isChecked());
        QVERIFY(fileListLinkShown());
        const QStringList before = drawingRows(*w_);

        ui_.cancelSave();
        w_->lblURL_Click(FileListLink);
        QVERIFY(fileListLinkShown());
        ui_.answerSave(files() + "/found");
        w_->lblURL_Click(FileListLink);
        QCOMPARE(ui_.saveRequests.at(1).folder, files());
        QCOMPARE(readAll(files() + "/found.xal"),
                 drawings::formatFileList({{true, root + "a.dwg"}, {false, root + "B.DWG"}, {true, sub + "c.dwg"}}));
        QCOMPARE(messages(), QStringList{"The file list was saved successfully."});
        QVERIFY(!fileListLinkShown());
        QVERIFY(w_->cmbFileList->findText("found.xal") >= 0);

        // Another window, given it on the command line, loads the same rows and
        // ticks once Step 3 is reached, whatever "Check All" showed.
        frmMain again(&ui_, app_->path());
        again.OpenGivenFile(files() + "/found.xal");
        QCOMPARE(again.lsvDrawingsToProcess->topLevelItemCount(), 0);
        again.EnableStepThree(true);
        QCOMPARE(drawingRows(again), before);
        QVERIFY(again.chkSelectAllDrawings->isEnabled() && !again.chkSelectAllDrawings->isChecked());
        QVERIFY(again.cmdProcess->isEnabled());
        QVERIFY(!again.lblURL[FileListLink]->isVisibleTo(&again));
    }

    // Malformed lines are left out and counted; a list gone since it was
    // listed changes nothing; nothing else acts while a template is read.
    void listWithBadLines_data()
    {
        QTest::addColumn<bool>("fileList");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("message");
        QTest::newRow("template") << false
                                  << QByteArray("1\tA\tA\t\tM\r\n\r\nbroken\r\nx\tB\tB\t\tM\r\n0\tC\tC\t\tM\r\n")
                                  << QStringList{"1 A", "0 C"}
                                  << "3 lines of the template file \"%1\" did not hold a template row and were "
                                     "left out.";
        QTest::newRow("file list") << true << QByteArray("1\tgood.dwg\r\nnot a row\r\n2\tx.dwg\r\n")
                                   << QStringList{"1 good.dwg", "0 x.dwg"}
                                   << "1 line(s) of the file list could not be read and were left out.";
    }

    void listWithBadLines()
    {
        QFETCH(bool, fileList);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, rows);
        QFETCH(QString, message);
        const QString path = files() + (fileList ? "/bad.xal" : "/bad.xat");
        QVERIFY(QDir().mkpath(files()) && writeBytes(path, bytes));
        const CheckList* list = fileList ? w_->lsvDrawingsToProcess : w_->lsvTemplateItems;
        w_->EnableStepThree(true);
        int nested = 0;  // a save or a second open asked for while a template is read does nothing
        if (!fileList) {
            QTimer::singleShot(0, w_.get(), [&] {
                ++nested;
                w_->SaveTemplate();
                w_->OpenTemplate();
                w_->cmdImport_Click();
            });
        }
        fileList ? loadFileList(*w_, "bad.xal") : openTemplate("bad.xat");
        QCOMPARE(nested, fileList ? 0 : 1);
        QVERIFY(ui_.saveRequests.empty());
        QCOMPARE(shown(list), rows);
        QCOMPARE(messages(), QStringList{message.arg(QDir::toNativeSeparators(path))});
        QVERIFY(QFile::remove(path));  // chosen again from the same list
        fileList ? emit w_->cmbFileList->activated(w_->cmbFileList->currentIndex()) : w_->cmdImport->click();
        QCOMPARE(shown(list), rows);
        QCOMPARE(ui_.messages.size(), std::size_t(1));
    }

    // A folder in the way, then a read-only file: either list says so and
    // keeps its link and the old file.
    void saveFailures_data()
    {
        QTest::addColumn<bool>("fileList");
        QTest::addColumn<QString>("overFolder");
        QTest::newRow("template") << false
                                  << "The template file \"%1\" could not be saved.\n\nA folder of that name exists.";
        QTest::newRow("file list") << true << "The file list cannot be created in this folder.";
    }

    void saveFailures()
    {
        QFETCH(bool, fileList);
        QFETCH(QString, overFolder);
        const QString taken = files() + (fileList ? "/taken.xal" : "/taken.xat");
        const QString locked = files() + (fileList ? "/locked.xal" : "/locked.xat");
        QLabel* link = w_->lblURL[fileList ? FileListLink : TemplateLink];
        const auto save = [&](const QString& path) {
            ui_.answerSave(path);
            fileList ? w_->SaveFileList() : w_->SaveTemplate();
        };
        w_->EnableStepThree(true);
        w_->fillTemplateItems({{true, "A", "A", "", "M"}});
        w_->lsvDrawingsToProcess->addRow({"a.dwg"}, true);
        link->show();
        QVERIFY(QDir().mkpath(taken + "/keep"));
        save(taken);
        QCOMPARE(messages(), QStringList{overFolder.arg(QDir::toNativeSeparators(taken))});
        QCOMPARE(ui_.messages[0].icon, MessageIcon::Exclamation);
        QVERIFY(writeBytes(locked, "old") && QFile::setPermissions(locked, QFile::ReadOwner));
        save(locked);
        QCOMPARE(messages().last(),
                 "An error occurred. The file is open and cannot be saved. Please close the file and try again.");
        QCOMPARE(readAll(locked), QByteArray("old"));
        QVERIFY(!link->isHidden());
    }

    void closeAsksAboutUnsavedLists_data()
    {
        QTest::addColumn<bool>("templateChanged");
        QTest::addColumn<bool>("fileListChanged");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("question");  // empty: not asked
        QTest::newRow("nothing changed") << false << false << false << QString();
        QTest::newRow("template, yes") << true << false << true
                                       << "The template has changes that were not saved. Close Quorvane anyway?";
        QTest::newRow("file list, no") << false << true << false
                                       << "The file list has changes that were not saved. Close Quorvane anyway?";
        QTest::newRow("both, yes") << true << true << true
                                   << "The template and the file list have changes that were not saved. "
                                      "Close Quorvane anyway?";
    }

    void closeAsksAboutUnsavedLists()
    {
        QFETCH(bool, templateChanged);
        QFETCH(bool, fileListChanged);
        QFETCH(bool, answer);
        QFETCH(QString, question);
        w_->show();
        w_->EnableStepTwo(true);
        w_->EnableStepThree(true);
        w_->fillTemplateItems({{true, "A", "A", "", "M"}});
        w_->lsvDrawingsToProcess->addRow({"a.dwg"}, true);
        if (templateChanged)
            w_->lsvTemplateItems->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
        if (fileListChanged)
            w_->lsvDrawingsToProcess->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
        ui_.questionAnswers = {answer};
        const bool closes = question.isEmpty() || answer;
        QCOMPARE(w_->close(), closes);
        QCOMPARE(ui_.questions, question.isEmpty() ? std::vector<QString>{} : std::vector<QString>{question});
    }

    // The ticked fields of the ticked drawings, in the kind of file the chosen
    // type names whatever the name says; opened only when asked, a missing
    // program told.
    void runWritesTheTickedRows_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QByteArray>("start");  // the file's first bytes, at `at`
        QTest::addColumn<int>("at");
        QTest::addColumn<bool>("open");
        // A Jet file's version: 0 Access 97, 1 Access 2000.
        QTest::newRow("CSV, opened") << 3 << "result"
                                     << "result.csv" << QByteArray("\"File Name\"") << 0 << true;
        QTest::newRow("Access 97, no program") << 1 << "looks-like.csv"
                                               << "looks-like.csv" << QByteArray("\0\0\0\0", 4) << 0x14 << true;
        QTest::newRow("Access 2000, unopened") << 2 << "looks-like.csv"
                                               << "looks-like.csv" << QByteArray("\1\0\0\0", 4) << 0x14 << false;
        QTest::newRow("workbook") << 4 << "sheet"
                                  << "sheet.xlsx" << QByteArray("PK\3\4") << 0 << true;
    }

    void runWritesTheTickedRows()
    {
        QFETCH(int, type);
        QFETCH(QString, name);
        QFETCH(QString, written);
        QFETCH(QByteArray, start);
        QFETCH(int, at);
        QFETCH(bool, open);
        if (!haveCorpus())
            QSKIP("corpus not present");
        QTemporaryDir out;
        const QString missing = out.filePath("missing.dwg");
        fillForRun(missing);
        w_->chkOpenDataBase->setChecked(open);
        const bool noProgram = type == 1;
        if (noProgram)
            ui_.openResult = platform::OpenResult::NoAssociatedProgram;
        ui_.answerSave(out.filePath(name), type);
        process();
        const QString path = out.filePath(written);

        QCOMPARE(ui_.saveRequests.at(0).folder, QString("/no/such folder/"));
        QCOMPARE(readAll(path).mid(at, start.size()), start);
        QCOMPARE(ui_.openedFiles, open ? std::vector<QString>{path} : std::vector<QString>{});
        QCOMPARE(messages(), open && noProgram ? QStringList{"There wasn't an associated program with the file type. "
                                                             "You will need to open the file manually."}
                                               : QStringList{});
        QCOMPARE(ui_.choicesAsked,
                 std::vector<QString>{QString("The file %1 was not found and could not be processed.").arg(missing)});
        QCOMPARE(ui_.reports.size(), std::size_t(1));
        QVERIFY(ui_.reports[0].startsWith(QString("4 of 4 drawings processed: 3 rows written to %1.").arg(path)));
        QVERIFY(ui_.reports[0].contains(missing + ": the file does not exist"));
        QCOMPARE(w_->lblProcessStatus->text(), QString("3 drawings written to %1.").arg(path));
        if (type != 3)
            return;
        const QByteArray expected =
            "\"File Name\",\"TITLE\",\"DWG_NO\",\r\n\"" + corpus("generated/a_title_block.dwg").toUtf8() +
            "\",\"GENERAL ARRANGEMENT\",\"A-1001\",\r\n\"" + corpus("generated/g_no_attributes.dwg").toUtf8() +
            "\",\"\",\"\",\r\n\"" + corpus("generated/b_duplicate_tags.dwg").toUtf8() + "\",\"Title 01\",\"\",\r\n";
        QCOMPARE(readAll(path), expected);
    }

    // Cancelled in the dialog, or nothing ticked: no run, the old file stays.
    void runThatCannotStart()
    {
        QTemporaryDir out;
        const QString path = out.filePath("kept.csv");
        QVERIFY(writeBytes(path, "kept"));
        w_->lsvTemplateItems->addRow({"TITLE", "TITLE", "", "M"}, false);
        w_->lsvDrawingsToProcess->addRow({out.filePath("a.dwg")}, true);
        w_->chkOpenDataBase->setChecked(true);
        ui_.cancelSave();
        w_->cmdProcess_Click();
        ui_.answerSave(path, 3);
        process();
        QCOMPARE(ui_.messages.size(), std::size_t(1));
        QCOMPARE(ui_.messages[0].icon, MessageIcon::Critical);
        QVERIFY(messages()[0].startsWith("No field is ticked in the template list"));
        QCOMPARE(readAll(path), QByteArray("kept"));
        QVERIFY(ui_.openedFiles.empty());
    }

    // While the run waits for the answer to its first failed drawing, every
    // control that feeds it or starts something is clicked and typed into: none
    // of it acts, then or afterwards. Cancel and closing are the two ways out
    // (the end of a run: see runWritesTheTickedRows); neither opens the file.
    void inputDuringARun_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::newRow("cancel") << "cancel";
        QTest::newRow("close") << "close";
    }

    void inputDuringARun()
    {
        QFETCH(QString, ending);
        if (!haveCorpus())
            QSKIP("corpus not present");
        QTemporaryDir out;
        w_->show();
        fillForRun(out.filePath("missing.dwg"));
        w_->EnableStepFour(true);
        w_->chkOpenDataBase->setChecked(true);
        const QString path = out.filePath("during.csv");
        ui_.answerSave(path, 3);
        ui_.questionAnswers = {true};
        bool checked = false;
        QList<bool> enabledBefore;
        const QList<QWidget*> all = w_->findChildren<QWidget*>();
        for (QWidget* control : all) enabledBefore.append(control->isEnabled());
        ui_.whileChoosing = [&] {
            QWidget* const inputs[] = {
                w_->cmdProcess,          w_->chkOpenDataBase,  w_->chkSelectAllDrawings, w_->chkSelectAllTags,
                w_->cmdImport,           w_->cmdOpenDirectory, w_->cmdOpenTemplateFile,  w_->lblURL[TemplateLink],
                w_->lblURL[FileListLink]};
            for (QWidget* control : inputs) {
                QVERIFY(!control->isEnabled());
                QTest::mouseClick(control, Qt::LeftButton);
            }
            QTest::keyClicks(w_->txtTemplateDwg, "typed");
            QTest::keyClick(w_->lsvDrawingsToProcess, Qt::Key_Space);
            if (ending == "cancel")
                QTest::mouseClick(w_->cmdCancel, Qt::LeftButton);
            if (ending == "close")
                QVERIFY(!w_->close());
            checked = true;
        };
        process();
        QVERIFY(checked);
        QCOMPARE(ui_.saveRequests.size(), std::size_t(1));
        QVERIFY(ui_.openRequests.empty());
        QVERIFY(w_->txtTemplateDwg->text().isEmpty());
        QVERIFY(w_->lsvDrawingsToProcess->isChecked(0) && !w_->lsvDrawingsToProcess->isChecked(2));
        QVERIFY(w_->lsvTemplateItems->isChecked(0) && !w_->lsvTemplateItems->isChecked(1));
        // Stopped after the drawing being written, the second: a header and one row.
        QCOMPARE(readAll(path).count("\r\n"), 2);
        QVERIFY(ui_.openedFiles.empty());
        if (ending == "cancel") {
            for (qsizetype i = 0; i < all.size(); ++i)  // every control back as it was
                QVERIFY2(all[i]->isEnabled() == enabledBefore[i], qPrintable(all[i]->objectName()));
            QCOMPARE(ui_.reports.size(), std::size_t(1));
            QVERIFY(ui_.reports[0].startsWith(
                QString("The run was cancelled after 2 of 4 drawings: 1 row written to %1.").arg(path)));
            QCOMPARE(w_->lblProcessStatus->text(), QString("Cancelled: 1 drawing written to %1.").arg(path));
            QVERIFY(w_->isVisible());
        } else {
            QCOMPARE(ui_.questions.size(), std::size_t(1));
            QVERIFY(ui_.reports.empty());
            QTRY_VERIFY(!w_->isVisible());
        }
    }

    // The real save dialog: the type chosen comes back by its place in the list
    // (as completeSaveName takes it), the name as typed.
    void realSaveDialogGivesTheChosenType()
    {
        QtUiServices real;
        FileDialogRequest request;
        request.folder = app_->path();
        request.filters = {"Access 97 (*.mdb)", "Access 2000 (*.mdb)", "CSV (Comma delimited) (*.csv)"};
        QString preselected;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            preselected = dialog->selectedNameFilter();
            dialog->selectNameFilter(request.filters[2]);
            dialog->findChild<QLineEdit*>("fileNameEdit")->setText(app_->filePath("out"));  // typed
            QMetaObject::invokeMethod(dialog, "accept");
        });
        const FileDialogResult result = real.saveFile(request);
        QCOMPARE(preselected, request.filters[0]);
        QVERIFY(result.accepted);
        QCOMPARE(QFileInfo(result.path).fileName(), QString("out"));
        QCOMPARE(result.filterIndex, 3);
    }

    // Clicks that waited while a command worked on the window's thread are dropped.
    void busyInputDropsWhatWaitedMeanwhile()
    {
        QPushButton button("Check All");
        button.show();
        int clicks = 0;
        connect(&button, &QPushButton::clicked, [&] { ++clicks; });
        const QPointF at(5, 5);
        auto click = [&] {
            for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
                QCoreApplication::postEvent(
                    &button,
                    new QMouseEvent(type, at, button.mapToGlobal(at), Qt::LeftButton,
                                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier));
        };
        {
            const BusyInput busy;
            click();
        }
        QCoreApplication::processEvents();
        QCOMPARE(clicks, 0);
        click();
        QCoreApplication::processEvents();
        QCOMPARE(clicks, 1);
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
