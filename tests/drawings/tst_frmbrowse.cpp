// The folder browser: start state, following the selection, OK and Cancel.

#include "drawings/frmbrowse.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

namespace {

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// The next of the dialog's own controls in the focus chain; a tree view puts
// its viewport in between.
QWidget *nextControl(const QDialog &dialog, QWidget *widget)
{
    do
        widget = widget->nextInFocusChain();
    while (widget->parentWidget() != &dialog || widget->focusPolicy() == Qt::NoFocus);
    return widget;
}

QString selectedPath(const frmBrowse &dialog)
{
    return native(dialog.folderModel->filePath(dialog.fldtrvSetPath->currentIndex()));
}

} // namespace

class TestFrmBrowse : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void startsAtStoredFolder();
    void startsAtRootWhenStoredFolderIsMissing();
    void selectionBecomesTheFolder();
    void cancelKeepsListAndSelection();
    void okSearchesAndCloses_data();
    void okSearchesAndCloses();
    void windowLook();

private:
    QTemporaryDir m_dir;
    QString m_root;
};

void TestFrmBrowse::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_root = native(m_dir.path());
    QVERIFY(QDir().mkpath(m_dir.path() + "/top/sub"));
    QVERIFY(QDir().mkpath(m_dir.path() + "/none"));
    for (const char *name : {"/top/a.dwg", "/top/sub/b.DWG", "/top/c.txt"}) {
        QFile f(m_dir.path() + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
}

void TestFrmBrowse::cleanup()
{
    QTRY_COMPARE(QApplication::topLevelWidgets().size(), 0);
}

void TestFrmBrowse::startsAtStoredFolder()
{
    QString folder = native(m_dir.path() + "/top");
    frmBrowse dialog(folder, {});
    QCOMPARE(dialog.lblPath->text(), folder);
    QVERIFY(dialog.cmdPathControl[0]->isEnabled());
    QVERIFY(dialog.cmdPathControl[1]->isEnabled());
    QVERIFY(!dialog.chkSubDir->isChecked());
    QVERIFY(dialog.chkSubDir->isEnabled());
    QCOMPARE(selectedPath(dialog), folder);
    QCOMPARE(folder, native(m_dir.path() + "/top")); // loading alone never changes it
}

void TestFrmBrowse::startsAtRootWhenStoredFolderIsMissing()
{
    QString folder = native(m_dir.path() + "/gone");
    frmBrowse dialog(folder, {});
    QCOMPARE(dialog.lblPath->text(), QString());
    QVERIFY(!dialog.cmdPathControl[0]->isEnabled());
    QCOMPARE(selectedPath(dialog), frmBrowse::fallbackFolder());
    QCOMPARE(folder, native(m_dir.path() + "/gone"));

    // Clicking the root that is already shown selected chooses it.
    dialog.show();
    const QRect rootRow = dialog.fldtrvSetPath->visualRect(dialog.fldtrvSetPath->currentIndex());
    QTest::mouseClick(dialog.fldtrvSetPath->viewport(), Qt::LeftButton, {}, rootRow.center());
    QCOMPARE(folder, frmBrowse::fallbackFolder());
    QCOMPARE(dialog.lblPath->text(), frmBrowse::fallbackFolder());
    QVERIFY(dialog.cmdPathControl[0]->isEnabled());
}

void TestFrmBrowse::selectionBecomesTheFolder()
{
    QString folder = native(m_dir.path() + "/gone");
    frmBrowse dialog(folder, {});
    const QString sub = m_dir.path() + "/top/sub";
    dialog.fldtrvSetPath->setCurrentIndex(dialog.folderModel->index(sub));
    QCOMPARE(folder, native(sub));
    QCOMPARE(dialog.lblPath->text(), native(sub));
    QVERIFY(dialog.cmdPathControl[0]->isEnabled());
}

void TestFrmBrowse::cancelKeepsListAndSelection()
{
    QString folder = native(m_dir.path() + "/top");
    bool searched = false;
    {
        frmBrowse dialog(folder, [&](const QStringList &) { searched = true; });
        dialog.show();
        dialog.fldtrvSetPath->setCurrentIndex(dialog.folderModel->index(m_dir.path() + "/none"));
        QTest::mouseClick(dialog.cmdPathControl[1], Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
    }
    QVERIFY(!searched);
    QCOMPARE(folder, native(m_dir.path() + "/none"));

    // The next opening starts where the cancelled one was left.
    frmBrowse again(folder, {});
    QCOMPARE(selectedPath(again), native(m_dir.path() + "/none"));
    QCOMPARE(again.lblPath->text(), native(m_dir.path() + "/none"));
}

void TestFrmBrowse::okSearchesAndCloses_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("subfolders");
    QTest::addColumn<QStringList>("rows");
    const QString top = native(m_dir.path() + "/top");
    const QString s(QDir::separator());
    QTest::newRow("folder only") << top << false << QStringList{top + s + "a.dwg"};
    QTest::newRow("with sub-folders, trailing separator")
        << top + s << true << QStringList{top + s + "a.dwg", top + s + "sub" + s + "b.DWG"};
    QTest::newRow("nothing found") << native(m_dir.path() + "/none") << true << QStringList{};
}

void TestFrmBrowse::okSearchesAndCloses()
{
    QFETCH(QString, folder);
    QFETCH(bool, subfolders);
    QFETCH(QStringList, rows);
    std::optional<QStringList> found;
    frmBrowse dialog(folder, [&](const QStringList &paths) { found = paths; });
    dialog.show();
    dialog.chkSubDir->setChecked(subfolders);
    QTest::mouseClick(dialog.cmdPathControl[0], Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
    QVERIFY(found.has_value());
    QStringList sorted = *found;
    sorted.sort();
    QCOMPARE(sorted, rows);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestFrmBrowse::windowLook()
{
    QString folder = m_root;
    frmBrowse dialog(folder, {});
    QCOMPARE(dialog.windowTitle(), QString("Browse"));
    QCOMPARE(dialog.chkSubDir->text().remove(u'&'), QString("Include subdirectories"));
    QCOMPARE(dialog.cmdPathControl[0]->text(), QString("OK"));
    QCOMPARE(dialog.cmdPathControl[1]->text(), QString("Cancel"));
    QVERIFY(dialog.windowFlags().testFlag(Qt::Tool));
    QVERIFY(!dialog.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    const double dpi = dialog.logicalDpiX();
    QCOMPARE(dialog.width(), qRound(5340 * dpi / 1440));
    QCOMPARE(dialog.height(), qRound(4230 * dpi / 1440));
    QCOMPARE(nextControl(dialog, dialog.fldtrvSetPath), static_cast<QWidget *>(dialog.cmdPathControl[1]));
    QCOMPARE(nextControl(dialog, dialog.cmdPathControl[1]), static_cast<QWidget *>(dialog.cmdPathControl[0]));
    QCOMPARE(nextControl(dialog, dialog.cmdPathControl[0]), static_cast<QWidget *>(dialog.chkSubDir));
    QVERIFY(dialog.findChild<QPushButton *>("cmdPathControl(0)"));
    QVERIFY(dialog.findChild<QTreeView *>("fldtrvSetPath"));
}

QTEST_MAIN(TestFrmBrowse)
#include "tst_frmbrowse.moc"
