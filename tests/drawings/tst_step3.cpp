// Step 3 of the main window: browsing, file lists, "Check All" and the
// "Save file list?" link.

#include "app/frmmain.h"
#include "drawings/frmbrowse.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QFileSystemModel>

#include <functional>
#include <memory>

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// "1 path" / "0 path" per row, to compare lists at a glance.
QStringList rowsOf(const frmMain &w)
{
    QStringList rows;
    for (int i = 0; i < w.lsvDrawingsToProcess->topLevelItemCount(); ++i)
        rows << QString(w.lsvDrawingsToProcess->isChecked(i) ? "1 " : "0 ")
                    + w.lsvDrawingsToProcess->topLevelItem(i)->text(0);
    return rows;
}

bool linkShown(const frmMain &w)
{
    return !w.lblURL[3]->isHidden();
}

// Runs act on the folder browser once it is up, from inside its modal loop.
void whenBrowserOpens(std::function<void(frmBrowse &)> act)
{
    QTimer::singleShot(0, [act] {
        auto *browser = qobject_cast<frmBrowse *>(QApplication::activeModalWidget());
        if (!browser) {
            // Never leave a modal loop running behind a failed check.
            if (QWidget *other = QApplication::activeModalWidget())
                other->close();
            QFAIL("the folder browser is not the modal window");
        }
        act(*browser);
    });
}

} // namespace

class TestStep3 : public QObject {
    Q_OBJECT

    QTemporaryDir store_;
    QTemporaryDir appDir_;
    QTemporaryDir drawings_;
    ScriptedUiServices ui_;

    QString filesFolder() const { return appDir_.path() + "/Files"; }

    std::unique_ptr<frmMain> stepThreeWindow()
    {
        auto w = std::make_unique<frmMain>(&ui_, appDir_.path());
        w->EnableStepThree(true);
        return w;
    }

    void pick(frmMain &w, const QString &name)
    {
        const int index = w.cmbFileList->findText(name);
        QVERIFY2(index >= 0, qPrintable(name));
        w.cmbFileList->setCurrentIndex(index);
        emit w.cmbFileList->activated(index);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(store_.isValid() && appDir_.isValid() && drawings_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, store_.path());
        QVERIFY(QDir().mkpath(drawings_.path() + "/sub"));
        QVERIFY(QDir().mkpath(drawings_.path() + "/none"));
        for (const char *name : {"/a.dwg", "/B.DWG", "/sub/c.dwg", "/sub/d.DXF", "/notes.txt"})
            writeFile(drawings_.path() + name, "x");
    }

    void init()
    {
        ui_ = ScriptedUiServices();
        QDir(filesFolder()).removeRecursively();
    }

    void cleanup() { QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty()); }

    void stepThreeMakesAndListsTheFilesFolder()
    {
        auto w = stepThreeWindow();
        QVERIFY(QFileInfo(filesFolder()).isDir());
        QCOMPARE(w->cmbFileList->count(), 0);

        writeFile(filesFolder() + "/one.xal", "1\tx\r\n");
        writeFile(filesFolder() + "/other.xat", "");
        w->LoadFileListNames();
        QCOMPARE(w->cmbFileList->count(), 1);
        QCOMPARE(w->cmbFileList->itemText(0), QString("one.xal"));
        QCOMPARE(w->cmbFileList->currentIndex(), -1);
    }

    void saveAndLoadBack()
    {
        auto w = stepThreeWindow();
        w->lsvDrawingsToProcess->addRow({"C:\\d\\a.dwg"}, true);
        w->lsvDrawingsToProcess->addRow({QString::fromUtf8("C:\\d\\Straße.dwg")}, false);
        w->lsvDrawingsToProcess->addRow({"C:\\d\\a.dwg"}, true);
        w->lblURL[3]->setVisible(true);

        ui_.answerSave(filesFolder() + "/saved.xal");
        w->SaveFileList();
        QCOMPARE(readFile(filesFolder() + "/saved.xal"),
                 QByteArray("1\tC:\\d\\a.dwg\r\n0\tC:\\d\\Stra\xDF" "e.dwg\r\n1\tC:\\d\\a.dwg\r\n"));
        QCOMPARE(ui_.saveRequests.size(), size_t(1));
        QCOMPARE(ui_.saveRequests[0].title, QString("Save File list As"));
        QCOMPARE(ui_.saveRequests[0].folder, filesFolder());
        QCOMPARE(ui_.saveRequests[0].filters, QStringList{"File List (*.xal)"});
        QVERIFY(ui_.saveRequests[0].confirmOverwrite);
        QVERIFY(!linkShown(*w));
        QVERIFY(w->cmdProcess->isEnabled());
        QCOMPARE(w->cmbFileList->findText("saved.xal"), 0);
        QCOMPARE(ui_.messages.size(), size_t(1));
        QCOMPARE(ui_.messages[0].text, QString("The file list was saved successfully."));
        QCOMPARE(ui_.messages[0].icon, MessageIcon::Information);

        // Loading gives the same rows and ticks, whatever "Check All" showed.
        auto again = stepThreeWindow();
        QVERIFY(again->chkSelectAllDrawings->isChecked());
        pick(*again, "saved.xal");
        QCOMPARE(rowsOf(*again), rowsOf(*w));
        QVERIFY(again->chkSelectAllDrawings->isEnabled());
        QVERIFY(!again->chkSelectAllDrawings->isChecked());
        QVERIFY(again->cmdProcess->isEnabled());
        QVERIFY(!linkShown(*again));
    }

    void savedNameGetsItsExtension_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("saved");
        QTest::newRow("no extension") << "plain" << "plain.xal";
        QTest::newRow("with extension") << "given.xal" << "given.xal";
        QTest::newRow("in quotes") << "\"quoted\"" << "quoted.xal";
        QTest::newRow("in quotes with extension") << "\"both.xal\"" << "both.xal";
        QTest::newRow("only quotes") << "\"\"" << QString();
    }

    void savedNameGetsItsExtension()
    {
        QFETCH(QString, typed);
        QFETCH(QString, saved);
        auto w = stepThreeWindow();
        w->lsvDrawingsToProcess->addRow({"a.dwg"}, true);
        ui_.answerSave(filesFolder() + "/" + typed);
        w->SaveFileList();
        // Saved under that name and listed; nothing under any other name.
        QStringList expected;
        if (!saved.isEmpty())
            expected << saved;
        QCOMPARE(QDir(filesFolder()).entryList(QDir::Files), expected);
        QCOMPARE(w->cmbFileList->findText(saved) >= 0, !saved.isEmpty());
        QCOMPARE(ui_.messages.size(), size_t(saved.isEmpty() ? 0 : 1));
    }

    void fileListGivenAtStart_data()
    {
        QTest::addColumn<bool>("inFilesFolder");
        QTest::newRow("in Files") << true;
        QTest::newRow("elsewhere, read where it is") << false;
    }

    void fileListGivenAtStart()
    {
        QFETCH(bool, inFilesFolder);
        QVERIFY(QDir().mkpath(filesFolder()));
        const QString path = (inFilesFolder ? filesFolder() : drawings_.path()) + "/given.xal";
        writeFile(path, "0\tone.dwg\r\n1\ttwo.dwg\r\n");
        auto w = std::make_unique<frmMain>(&ui_, appDir_.path());
        w->OpenGivenFile(path);
        QCOMPARE(w->lsvDrawingsToProcess->topLevelItemCount(), 0); // Step 3 is not reached yet
        w->EnableStepThree(true);
        QCOMPARE(w->cmbFileList->currentText(), QString("given.xal"));
        QCOMPARE(rowsOf(*w), (QStringList{"0 one.dwg", "1 two.dwg"}));
        QVERIFY(w->cmdProcess->isEnabled());
        // Never copied into "Files".
        QCOMPARE(QDir(filesFolder()).entryList(QDir::Files),
                 inFilesFolder ? QStringList{"given.xal"} : QStringList{});
        QFile::remove(path);
    }

    void saveCancelledOrFailing()
    {
        auto w = stepThreeWindow();
        w->lsvDrawingsToProcess->addRow({"a.dwg"}, true);
        w->lblURL[3]->setVisible(true);

        ui_.cancelSave();
        w->SaveFileList();
        QVERIFY(linkShown(*w));
        QVERIFY(ui_.messages.empty());

        // A folder in the file's place cannot be replaced.
        QVERIFY(QDir().mkpath(filesFolder() + "/taken.xal"));
        ui_.answerSave(filesFolder() + "/taken.xal");
        w->SaveFileList();
        QVERIFY(linkShown(*w));
        QCOMPARE(ui_.messages.size(), size_t(1));
        QCOMPARE(ui_.messages[0].text,
                 QString("An error occurred. The file is open and cannot be saved. Please close the file and try again."));
        QCOMPARE(ui_.messages[0].icon, MessageIcon::Exclamation);
        QVERIFY(!w->cmdProcess->isEnabled());
    }

    void loadingMalformedOrVanishedFiles()
    {
        auto w = stepThreeWindow();
        w->lsvDrawingsToProcess->addRow({"kept.dwg"}, false);
        writeFile(filesFolder() + "/odd.xal", "1\tgood.dwg\r\nnot a row\r\n2\tx.dwg\r\n");
        writeFile(filesFolder() + "/gone.xal", "1\tx\r\n");
        w->LoadFileListNames();

        QFile::remove(filesFolder() + "/gone.xal");
        pick(*w, "gone.xal");
        QCOMPARE(rowsOf(*w), QStringList{"0 kept.dwg"});
        QVERIFY(!w->cmdProcess->isEnabled());
        QVERIFY(ui_.messages.empty());

        pick(*w, "odd.xal");
        QCOMPARE(rowsOf(*w), (QStringList{"1 good.dwg", "0 x.dwg"}));
        QCOMPARE(ui_.messages.size(), size_t(1));
        QVERIFY(ui_.messages[0].text.contains("1 line"));
    }

    void checkAllAndTheLink()
    {
        auto w = stepThreeWindow();
        QVERIFY(!w->chkSelectAllDrawings->isEnabled());
        w->chkSelectAllDrawings->setEnabled(true);

        // An empty list: nothing to change, the link shows all the same.
        w->chkSelectAllDrawings->click();
        QVERIFY(linkShown(*w));
        w->lblURL[3]->setVisible(false);
        w->chkSelectAllDrawings->click();
        QVERIFY(w->chkSelectAllDrawings->isChecked());
        QVERIFY(linkShown(*w));

        w->lsvDrawingsToProcess->addRow({"a.dwg"}, true);
        w->lsvDrawingsToProcess->addRow({"b.dwg"}, false);
        w->chkSelectAllDrawings->click();
        QCOMPARE(rowsOf(*w), (QStringList{"0 a.dwg", "0 b.dwg"}));
        w->chkSelectAllDrawings->click();
        QCOMPARE(rowsOf(*w), (QStringList{"1 a.dwg", "1 b.dwg"}));

        // One row by hand: the box stays as it was, the link shows.
        w->lblURL[3]->setVisible(false);
        w->lsvDrawingsToProcess->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        QVERIFY(w->chkSelectAllDrawings->isChecked());
        QVERIFY(linkShown(*w));
    }

    void browseCancelled()
    {
        auto w = stepThreeWindow();
        w->folders.ImportDrawingsFolder = QDir::toNativeSeparators(drawings_.path());
        w->lsvDrawingsToProcess->addRow({"kept.dwg"}, false);
        const QString none = drawings_.path() + "/none";
        whenBrowserOpens([none](frmBrowse &browser) {
            browser.fldtrvSetPath->setCurrentIndex(browser.folderModel->index(none));
            browser.cmdPathControl[1]->click();
        });
        w->cmdOpenDirectory->click();
        QCOMPARE(rowsOf(*w), QStringList{"0 kept.dwg"});
        QCOMPARE(w->folders.ImportDrawingsFolder, QDir::toNativeSeparators(none));
        QVERIFY(w->cmdProcess->isEnabled());
        QVERIFY(w->chkSelectAllDrawings->isEnabled());
        QVERIFY(w->chkSelectAllDrawings->isChecked());
        QVERIFY(!linkShown(*w));
    }

    void browseSearches()
    {
        auto w = stepThreeWindow();
        const QString root = QDir::toNativeSeparators(drawings_.path());
        const QString s(QDir::separator());
        w->folders.ImportDrawingsFolder = root;
        // A loaded list is named in "Load file list" until Browse replaces it.
        writeFile(filesFolder() + "/loaded.xal", "1\tx.dwg\r\n");
        w->LoadFileListNames();
        pick(*w, "loaded.xal");
        QCOMPARE(w->cmbFileList->currentText(), QString("loaded.xal"));
        w->chkSelectAllDrawings->setEnabled(true);
        w->chkSelectAllDrawings->setChecked(false);
        w->lblURL[3]->setVisible(false);
        whenBrowserOpens([](frmBrowse &browser) {
            browser.chkSubDir->setChecked(true);
            browser.cmdPathControl[0]->click();
        });
        w->cmdOpenDirectory->click();
        // Checked rows under an unticked "Check All", in name order.
        QCOMPARE(rowsOf(*w), (QStringList{"1 " + root + s + "a.dwg", "1 " + root + s + "B.DWG",
                                          "1 " + root + s + "sub" + s + "c.dwg"}));
        QCOMPARE(w->cmbFileList->currentIndex(), -1);
        QCOMPARE(w->cmbFileList->currentText(), QString());
        QVERIFY(!w->chkSelectAllDrawings->isChecked());
        QVERIFY(linkShown(*w));
        QVERIFY(w->cmdProcess->isEnabled());

        // What to look for is kept from one opening to the next.
        whenBrowserOpens([](frmBrowse &browser) {
            browser.chkSubDir->setChecked(true);
            browser.setPattern(drawings::DrawingPattern::Dxf);
            browser.cmdPathControl[0]->click();
        });
        w->cmdOpenDirectory->click();
        QCOMPARE(rowsOf(*w), QStringList{"1 " + root + s + "sub" + s + "d.DXF"});
        whenBrowserOpens([](frmBrowse &browser) {
            QCOMPARE(browser.pattern(), drawings::DrawingPattern::Dxf);
            browser.cmdPathControl[1]->click();
        });
        w->cmdOpenDirectory->click();

        // A folder without drawings empties the list and still shows the link.
        w->folders.ImportDrawingsFolder = root + s + "none";
        w->lblURL[3]->setVisible(false);
        whenBrowserOpens([](frmBrowse &browser) { browser.cmdPathControl[0]->click(); });
        w->cmdOpenDirectory->click();
        QCOMPARE(w->lsvDrawingsToProcess->topLevelItemCount(), 0);
        QVERIFY(linkShown(*w));
    }
};

QTEST_MAIN(TestStep3)
#include "tst_step3.moc"
