// The Process command of the main window, driven through scripted dialogs:
// the save dialog, the kind it decides, the messages, the progress bar,
// opening the result, and the window while a run goes on.

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QProgressBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "app/frmmain.h"
#include "mdb_readers.h"
#include "xlsx_reader.h"

namespace {

QString corpusFile(const QString& relative) {
    return QStringLiteral(QUORVANE_CORPUS_DIR "/") + relative;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestProcessWindow : public QObject {
    Q_OBJECT

    QTemporaryDir store_;
    QTemporaryDir appDir_;
    QTemporaryDir out_;
    ScriptedUiServices ui_;
    QStringList progress_;  // "value/maximum", "+" when shown, "-" when hidden

    std::unique_ptr<frmMain> makeWindow() {
        auto w = std::make_unique<frmMain>(&ui_, appDir_.path());
        connect(w->pbrProgress, &QProgressBar::valueChanged, this,
                [this, bar = w->pbrProgress](int value) {
                    progress_.append(QStringLiteral("%1/%2%3").arg(value).arg(bar->maximum()).arg(bar->isHidden() ? '-' : '+'));
                });
        return w;
    }

    // Starts the run and waits for its end.
    static void process(frmMain& w) {
        w.cmdProcess_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!w.isRunning(), 30000);
    }

    // TITLE and DWG_NO ticked, REV not; five drawings, four of them ticked.
    static void fillLists(frmMain& w, const QString& missing) {
        w.lsvTemplateItems->addRow({"TITLE", "TITLE", "GENERAL ARRANGEMENT", "M"}, true);
        w.lsvTemplateItems->addRow({"REV", "REV", "C", "M"}, false);
        w.lsvTemplateItems->addRow({"Number", "DWG_NO", "A-1001", "M"}, true);
        w.lsvDrawingsToProcess->addRow({corpusFile("generated/a_title_block.dwg")}, true);
        w.lsvDrawingsToProcess->addRow({missing}, true);
        w.lsvDrawingsToProcess->addRow({corpusFile("generated/batch/batch_001.dwg")}, false);
        w.lsvDrawingsToProcess->addRow({corpusFile("generated/g_no_attributes.dwg")}, true);
        w.lsvDrawingsToProcess->addRow({corpusFile("generated/b_duplicate_tags.dwg")}, true);
    }

private slots:
    void initTestCase() {
        QVERIFY(store_.isValid() && appDir_.isValid() && out_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, store_.path());
    }

    void init() {
        ui_ = ScriptedUiServices();
        progress_.clear();
    }

    void cleanup() { QVERIFY(QApplication::topLevelWidgets().isEmpty()); }

    void saveDialogAndCancel() {
        auto w = makeWindow();
        fillLists(*w, "/nowhere/missing.dwg");
        w->chkOpenDataBase->setChecked(true);
        ui_.cancelSave();
        w->cmdProcess_Click();
        QCOMPARE(ui_.saveRequests.size(), std::size_t(1));
        const FileDialogRequest& r = ui_.saveRequests[0];
        QCOMPARE(r.title, QStringLiteral("Save Output File As"));
        QCOMPARE(r.folder, w->folders.ProcessFileFolder);
        QCOMPARE(r.fileName, QString());
        QCOMPARE(r.filters, QStringList({"Access 97 (*.mdb)", "Access 2000 (*.mdb)", "CSV (Comma delimited) (*.csv)",
                                         "Excel Workbook (*.xlsx)"}));
        QCOMPARE(r.filterIndex, 1);
        QVERIFY(r.confirmOverwrite);
        QVERIFY(ui_.messages.empty());
        QVERIFY(ui_.openedFiles.empty());
        QVERIFY(progress_.isEmpty());
    }

    void csvRun() {
        auto w = makeWindow();
        const QString missing = out_.filePath("missing.dwg");
        fillLists(*w, missing);
        w->chkOpenDataBase->setChecked(true);
        const QString path = out_.filePath("result.csv");
        ui_.answerSave(out_.filePath("result"), 3);  // the type's extension is added
        process(*w);

        QVERIFY(ui_.messages.empty());
        QCOMPARE(ui_.choicesAsked.size(), std::size_t(1));
        QCOMPARE(ui_.choicesAsked[0].text,
                 QStringLiteral("The file %1 was not found and could not be processed.").arg(missing));
        QCOMPARE(ui_.choicesAsked[0].choices.size(), 3);
        QCOMPARE(ui_.reports.size(), std::size_t(1));
        QVERIFY(ui_.reports[0].startsWith(QStringLiteral("4 of 4 drawings processed: 3 rows written to %1.").arg(path)));
        QVERIFY(ui_.reports[0].contains(missing + ": the file does not exist"));
        QCOMPARE(w->lblProcessStatus->text(), QStringLiteral("3 drawings written to %1.").arg(path));
        // Four of the five rows ticked: the bar ends at 4 of 5, then hides and goes back to 0.
        const QStringList steps = {"1/5+", "2/5+", "3/5+", "4/5+", "0/5-"};
        QCOMPARE(progress_, steps);
        QVERIFY(!w->pbrProgress->isVisibleTo(w.get()));
        QCOMPARE(w->pbrProgress->value(), 0);
        QCOMPARE(ui_.openedFiles, std::vector<QString>{path});

        const QByteArray expected = "\"File Name\",\"TITLE\",\"DWG_NO\",\r\n\"" +
                                    corpusFile("generated/a_title_block.dwg").toUtf8() +
                                    "\",\"GENERAL ARRANGEMENT\",\"A-1001\",\r\n\"" +
                                    corpusFile("generated/g_no_attributes.dwg").toUtf8() + "\",\"\",\"\",\r\n\"" +
                                    corpusFile("generated/b_duplicate_tags.dwg").toUtf8() + "\",\"Title 01\",\"\",\r\n";
        QCOMPARE(readAll(path), expected);
    }

    void databaseKindFollowsTheChosenType_data() {
        QTest::addColumn<int>("filter");
        QTest::addColumn<int>("jet");
        QTest::newRow("Access 97") << 1 << 0;
        QTest::newRow("Access 2000") << 2 << 1;
    }

    void databaseKindFollowsTheChosenType() {
        QFETCH(int, filter);
        QFETCH(int, jet);
        auto w = makeWindow();
        fillLists(*w, out_.filePath("missing.dwg"));
        w->chkOpenDataBase->setChecked(true);
        ui_.openResult = platform::OpenResult::NoAssociatedProgram;
        const QString path = out_.filePath("looks-like.csv");
        ui_.answerSave(path, filter);
        process(*w);

        const auto table = output_test::ReadWithLibmdb(path.toStdString());
        QVERIFY(table);
        QCOMPARE(table->jetVersion, jet);
        QCOMPARE(table->columns.size(), std::size_t(3));
        QCOMPARE(table->columns[2].name, std::string("Number"));
        const std::vector<std::vector<std::string>> rows = {
            {corpusFile("generated/a_title_block.dwg").toStdString(), "GENERAL ARRANGEMENT", "A-1001"},
            {corpusFile("generated/g_no_attributes.dwg").toStdString(), "", ""},
            {corpusFile("generated/b_duplicate_tags.dwg").toStdString(), "Title 01", ""},
        };
        QVERIFY(table->rows == rows);
        QCOMPARE(ui_.messages.size(), std::size_t(1));
        QCOMPARE(ui_.messages[0].text, QStringLiteral("There wasn't an associated program with the file type. "
                                                      "You will need to open the file manually."));
        QCOMPARE(ui_.messages[0].icon, MessageIcon::Information);
        QCOMPARE(ui_.openedFiles, std::vector<QString>{path});
    }

    void workbookFromTheFourthType() {
        auto w = makeWindow();
        fillLists(*w, out_.filePath("missing.dwg"));
        ui_.answerSave(out_.filePath("sheet"), 4);  // the type's extension is added
        process(*w);
        std::string error;
        const auto book = output_test::ReadWithOpenpyxl(out_.filePath("sheet.xlsx").toStdString(), error);
        QVERIFY2(book, error.c_str());
        const std::vector<std::vector<std::string>> rows = {
            {"File Name", "TITLE", "DWG_NO"},
            {corpusFile("generated/a_title_block.dwg").toStdString(), "GENERAL ARRANGEMENT", "A-1001"},
            {corpusFile("generated/g_no_attributes.dwg").toStdString(), "", ""},
            {corpusFile("generated/b_duplicate_tags.dwg").toStdString(), "Title 01", ""},
        };
        QVERIFY(book->rows == rows);
    }

    void failedRunSaysSoAndOpensNothing() {
        auto w = makeWindow();
        w->lsvTemplateItems->addRow({"TITLE", "TITLE", "", "M"}, false);
        w->lsvDrawingsToProcess->addRow({corpusFile("generated/a_title_block.dwg")}, true);
        w->chkOpenDataBase->setChecked(true);
        const QString path = out_.filePath("kept.csv");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("kept");
        }
        ui_.answerSave(path, 3);
        process(*w);
        QCOMPARE(ui_.messages.size(), std::size_t(1));
        QCOMPARE(ui_.messages[0].icon, MessageIcon::Critical);
        QVERIFY(ui_.messages[0].text.startsWith("No field is ticked in the template list"));
        QCOMPARE(readAll(path), QByteArray("kept"));
        QVERIFY(ui_.openedFiles.empty());
        QVERIFY(!w->pbrProgress->isVisibleTo(w.get()));
    }

    void uncheckedBoxOpensNothing() {
        auto w = makeWindow();
        fillLists(*w, out_.filePath("missing.dwg"));
        w->chkOpenDataBase->setChecked(false);
        ui_.answerSave(out_.filePath("plain.csv"), 3);
        process(*w);
        QVERIFY(QFile::exists(out_.filePath("plain.csv")));
        QVERIFY(ui_.openedFiles.empty());
    }

    // While the run waits for the answer to its first failed drawing, every
    // control that feeds it or starts something is clicked and typed into:
    // none of it acts, then or afterwards. Cancel and closing are the two
    // ways out, and neither opens the file.
    void inputDuringARun_data() {
        QTest::addColumn<QString>("ending");
        QTest::newRow("finish") << "finish";
        QTest::newRow("cancel") << "cancel";
        QTest::newRow("close") << "close";
    }

    void inputDuringARun() {
        QFETCH(QString, ending);
        auto w = makeWindow();
        w->show();
        fillLists(*w, out_.filePath("missing.dwg"));
        w->EnableStepFour(true);
        w->chkOpenDataBase->setChecked(true);
        const QString path = out_.filePath("during.csv");
        ui_.answerSave(path, 3);
        ui_.questionAnswers = {true};
        bool checked = false;
        QList<bool> enabledBefore;
        const QList<QWidget*> all = w->findChildren<QWidget*>();
        for (QWidget* control : all)
            enabledBefore.append(control->isEnabled());
        ui_.whileChoosing = [&] {
            QVERIFY(w->isRunning());
            QVERIFY(w->cmdCancel->isEnabled());
            for (QWidget* control : std::initializer_list<QWidget*>{w->cmdProcess, w->chkOpenDataBase, w->chkSelectAllDrawings,
                                                    w->chkSelectAllTags, w->cmdImport, w->cmdOpenDirectory,
                                                    w->cmdOpenTemplateFile, w->lblURL[2], w->lblURL[3]}) {
                QVERIFY(!control->isEnabled());
                QTest::mouseClick(control, Qt::LeftButton);
            }
            QTest::keyClicks(w->txtTemplateDwg, "typed");
            QTest::keyClick(w->lsvDrawingsToProcess, Qt::Key_Space);
            if (ending == "cancel")
                QTest::mouseClick(w->cmdCancel, Qt::LeftButton);
            if (ending == "close")
                QVERIFY(!w->close());
            checked = true;
        };
        process(*w);
        QVERIFY(checked);
        QCOMPARE(ui_.saveRequests.size(), std::size_t(1));
        QVERIFY(ui_.openRequests.empty());
        QVERIFY(w->txtTemplateDwg->text().isEmpty());
        QVERIFY(w->lsvDrawingsToProcess->isChecked(0) && !w->lsvDrawingsToProcess->isChecked(2));
        QVERIFY(w->lsvTemplateItems->isChecked(0) && !w->lsvTemplateItems->isChecked(1));
        QVERIFY(w->chkOpenDataBase->isChecked());
        QVERIFY(!w->cmdCancel->isEnabled());

        const QByteArray csv = readAll(path);
        if (ending == "finish") {
            for (qsizetype i = 0; i < all.size(); ++i)
                QVERIFY2(all[i]->isEnabled() == enabledBefore[i], qPrintable(all[i]->objectName()));
            QCOMPARE(ui_.openedFiles, std::vector<QString>{path});
            QCOMPARE(csv.count("\r\n"), 4);
            QVERIFY(w->isVisible());
            QVERIFY(ui_.questions.empty());
            return;
        }
        // Stopped after the drawing being written, the second: a header and one row.
        QCOMPARE(csv.count("\r\n"), 2);
        QVERIFY(csv.endsWith(",\r\n"));
        QVERIFY(ui_.openedFiles.empty());
        if (ending == "cancel") {
            QCOMPARE(ui_.reports.size(), std::size_t(1));
            QVERIFY(ui_.reports[0].startsWith(
                QStringLiteral("The run was cancelled after 2 of 4 drawings: 1 row written to %1.").arg(path)));
            QCOMPARE(w->lblProcessStatus->text(), QStringLiteral("Cancelled: 1 drawing written to %1.").arg(path));
            QVERIFY(w->isVisible());
        } else {
            QCOMPARE(ui_.questions.size(), std::size_t(1));
            QVERIFY(ui_.reports.empty());
            QTRY_VERIFY(!w->isVisible());
        }
    }
};

QTEST_MAIN(TestProcessWindow)
#include "tst_process_window.moc"
