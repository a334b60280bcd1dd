// The folder browser: start state, following the selection, OK and Cancel.

#include "drawings/frmbrowse.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
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
    void enterPressesOk_data();
    void enterPressesOk();
    void doubleClickChooses();
    void typedPath_data();
    void typedPath();
    void typedPathCompletes();
    void deepFolderShownFromTheLeft();
    void lookFor_data();
    void lookFor();

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
    QVERIFY(QDir().mkpath(m_dir.path() + "/deep/" + QString(60, u'd') + "/" + QString(60, u'e') + "/"
                          + QString(60, u'f') + "/Drawings of the new building"));
    for (const char *name : {"/top/a.dwg", "/top/sub/b.DWG", "/top/c.txt", "/top/d.dxf"}) {
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
    QCOMPARE(dialog.txtPath->text(), folder);
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
    QCOMPARE(dialog.txtPath->text(), QString());
    QVERIFY(!dialog.cmdPathControl[0]->isEnabled());
    QCOMPARE(selectedPath(dialog), frmBrowse::fallbackFolder());
    QCOMPARE(folder, native(m_dir.path() + "/gone"));

    // Clicking the root that is already shown selected chooses it.
    dialog.show();
    const QRect rootRow = dialog.fldtrvSetPath->visualRect(dialog.fldtrvSetPath->currentIndex());
    QTest::mouseClick(dialog.fldtrvSetPath->viewport(), Qt::LeftButton, {}, rootRow.center());
    QCOMPARE(folder, frmBrowse::fallbackFolder());
    QCOMPARE(dialog.txtPath->text(), frmBrowse::fallbackFolder());
    QVERIFY(dialog.cmdPathControl[0]->isEnabled());
}

void TestFrmBrowse::selectionBecomesTheFolder()
{
    QString folder = native(m_dir.path() + "/gone");
    frmBrowse dialog(folder, {});
    const QString sub = m_dir.path() + "/top/sub";
    dialog.fldtrvSetPath->setCurrentIndex(dialog.folderModel->index(sub));
    QCOMPARE(folder, native(sub));
    QCOMPARE(dialog.txtPath->text(), native(sub));
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
    QCOMPARE(again.txtPath->text(), native(m_dir.path() + "/none"));
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
    // Resizable and maximisable, and larger than the old fixed 5340 x 4230 twips.
    QVERIFY(dialog.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(dialog.minimumSize() != dialog.maximumSize());
    const double dpi = dialog.logicalDpiX();
    QVERIFY(dialog.width() > qRound(5340 * dpi / 1440));
    QVERIFY(dialog.height() > qRound(4230 * dpi / 1440));
    dialog.show();
    dialog.resize(dialog.width() + 200, dialog.height() + 100);
    QTRY_VERIFY(dialog.fldtrvSetPath->width() > qRound(5340 * dpi / 1440));
    QCOMPARE(dialog.cboPattern->currentText(), QString("Drawings (*.dwg)"));
    QCOMPARE(dialog.cboPattern->count(), 3);
    QWidget *order[] = {dialog.fldtrvSetPath, dialog.txtPath, dialog.cmdPathControl[1], dialog.cmdPathControl[0],
                        dialog.cboPattern, dialog.chkSubDir};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        QCOMPARE(nextControl(dialog, order[i]), order[i + 1]);
    QVERIFY(dialog.findChild<QPushButton *>("cmdPathControl(0)"));
    QVERIFY(dialog.findChild<QTreeView *>("fldtrvSetPath"));
}

void TestFrmBrowse::enterPressesOk_data()
{
    QTest::addColumn<bool>("inPathBox");
    QTest::newRow("in the tree") << false;
    QTest::newRow("in the path box") << true;
}

void TestFrmBrowse::enterPressesOk()
{
    QFETCH(bool, inPathBox);
    QString folder = native(m_dir.path() + "/top");
    std::optional<QStringList> found;
    frmBrowse dialog(folder, [&](const QStringList &paths) { found = paths; });
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QWidget *target = inPathBox ? static_cast<QWidget *>(dialog.txtPath) : dialog.fldtrvSetPath;
    target->setFocus();
    QTest::keyClick(target, Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(found, QStringList{native(m_dir.path() + "/top/a.dwg")});
}

void TestFrmBrowse::doubleClickChooses()
{
    QString folder = native(m_dir.path() + "/none");
    frmBrowse dialog(folder, {});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QModelIndex top = dialog.folderModel->index(m_dir.path() + "/top");
    dialog.fldtrvSetPath->scrollTo(top);
    QTRY_VERIFY(dialog.fldtrvSetPath->viewport()->rect().contains(dialog.fldtrvSetPath->visualRect(top).center()));
    QTest::mouseDClick(dialog.fldtrvSetPath->viewport(), Qt::LeftButton, {},
                       dialog.fldtrvSetPath->visualRect(top).center());
    QCOMPARE(folder, native(m_dir.path() + "/top"));
    QCOMPARE(dialog.txtPath->text(), folder);
    QVERIFY(dialog.isVisible()); // a double-click opens the folder; OK or Enter searches
}

void TestFrmBrowse::typedPath_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("chosen");
    QTest::newRow("existing folder") << native(m_dir.path() + "/top/sub") << true;
    QTest::newRow("with a trailing separator") << native(m_dir.path() + "/top/sub") + QDir::separator() << true;
    QTest::newRow("missing folder") << native(m_dir.path() + "/top/nothing") << false;
    QTest::newRow("a file") << native(m_dir.path() + "/top/a.dwg") << false;
    QTest::newRow("relative") << QString("top/sub") << false;
}

void TestFrmBrowse::typedPath()
{
    QFETCH(QString, typed);
    QFETCH(bool, chosen);
    QString folder = native(m_dir.path() + "/none");
    std::optional<QStringList> found;
    frmBrowse dialog(folder, [&](const QStringList &paths) { found = paths; });
    dialog.show();
    // Pasted: the whole text arrives as one edit.
    QApplication::clipboard()->setText(typed);
    dialog.txtPath->selectAll();
    QTest::keySequence(dialog.txtPath, QKeySequence::Paste);
    QCOMPARE(dialog.txtPath->text(), typed); // the tree follows, the text stays as typed
    QCOMPARE(dialog.cmdPathControl[0]->isEnabled(), chosen);
    if (!chosen) {
        QCOMPARE(folder, native(m_dir.path() + "/none"));
        return;
    }
    QCOMPARE(folder, native(m_dir.path() + "/top/sub"));
    QCOMPARE(selectedPath(dialog), native(m_dir.path() + "/top/sub"));
    QTest::keyClick(dialog.txtPath, Qt::Key_Enter);
    QCOMPARE(found, QStringList{native(m_dir.path() + "/top/sub/b.DWG")});
}

void TestFrmBrowse::typedPathCompletes()
{
    QString folder = native(m_dir.path() + "/none");
    frmBrowse dialog(folder, {});
    dialog.show();
    QCompleter *completer = dialog.txtPath->completer();
    QVERIFY(completer);
    dialog.txtPath->setFocus();
    dialog.txtPath->clear();
    const QString typed = native(m_dir.path() + "/to");
    QTest::keyClicks(dialog.txtPath, typed);
    QCOMPARE(completer->completionPrefix(), typed);
    // The folder model lists in the background.
    QTRY_VERIFY(completer->completionCount() > 0);
    QCOMPARE(completer->currentCompletion(), native(m_dir.path() + "/top"));
}

void TestFrmBrowse::deepFolderShownFromTheLeft()
{
    const QString deep = m_dir.path() + "/deep/" + QString(60, u'd') + "/" + QString(60, u'e') + "/"
                         + QString(60, u'f') + "/Drawings of the new building";
    QString folder = native(deep);
    frmBrowse dialog(folder, {});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QModelIndex index = dialog.folderModel->index(deep);
    // Wait until the model's background listing has settled the rows.
    QTRY_VERIFY(dialog.fldtrvSetPath->viewport()->rect().contains(dialog.fldtrvSetPath->visualRect(index).center()));
    const QRect row = dialog.fldtrvSetPath->visualRect(index);
    QVERIFY2(row.left() >= 0, qPrintable(QString::number(row.left())));
    QVERIFY(row.left() < dialog.fldtrvSetPath->viewport()->width() / 2);
    // A shallow folder keeps the tree's left edge in view.
    dialog.txtPath->setText(native(m_dir.path() + "/top"));
    emit dialog.txtPath->textEdited(dialog.txtPath->text());
    QCOMPARE(dialog.fldtrvSetPath->horizontalScrollBar()->value(), 0);
}

void TestFrmBrowse::lookFor_data()
{
    QTest::addColumn<int>("pattern");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("drawings") << int(drawings::DrawingPattern::Dwg) << QStringList{"a.dwg"};
    QTest::newRow("dxf") << int(drawings::DrawingPattern::Dxf) << QStringList{"d.dxf"};
    QTest::newRow("both") << int(drawings::DrawingPattern::Both) << QStringList{"a.dwg", "d.dxf"};
}

void TestFrmBrowse::lookFor()
{
    QFETCH(int, pattern);
    QFETCH(QStringList, names);
    QString folder = native(m_dir.path() + "/top");
    std::optional<QStringList> found;
    frmBrowse dialog(folder, [&](const QStringList &paths) { found = paths; });
    dialog.setPattern(drawings::DrawingPattern(pattern));
    QCOMPARE(int(dialog.pattern()), pattern);
    dialog.cmdPathControl[0]->click();
    QStringList expected;
    for (const QString &name : names)
        expected << native(m_dir.path() + "/top/" + name);
    QCOMPARE(found, expected);
}

QTEST_MAIN(TestFrmBrowse)
#include "tst_frmbrowse.moc"
