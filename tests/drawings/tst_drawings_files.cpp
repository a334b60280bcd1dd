// The window-free half of the drawing step: the folder search and file-list files.

#include "drawings/filelist.h"
#include "drawings/search.h"
#include "platform/folderlisting.h"
#include "platform/listfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using drawings::FileListError;
using drawings::FileListRow;

namespace {

void makeFile(const QString &path, const QByteArray &content = "x")
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(content);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

QString sep()
{
    return QString(QDir::separator());
}

} // namespace

class TestDrawingFiles : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void addBackslash_data();
    void addBackslash();
    void matchSpec_data();
    void matchSpec();

    void searchWithoutSubfolders();
    void searchWithSubfolders();
    void searchInNameOrder_data();
    void searchInNameOrder();
    void parsePattern_data();
    void parsePattern();
    void searchStartFolderWithOrWithoutSeparator();
    void searchOfMissingOrEmptyFolder();

    void formatIsExact();
    void formatFallsBackToUtf8OnlyWhenNeeded();
    void roundTrip_data();
    void roundTrip();
    void lenientReading_data();
    void lenientReading();
    void readFailures();
    void readYieldsOncePerLine();
    void writeReplacesWholeFile();
    void writeFailuresKeepOldFile();
    void fileListNames();

private:
    QTemporaryDir m_dir;
    QString m_root; // native separators, no trailing separator
};

// root/
//   A.DWG  b.dwg  c.dwg.bak  .hidden.dwg  Zeichnung_äé_日本.dwg
//   x.dwg/      inner.dwg           (a folder named like a drawing)
//   .archive/   secret.dwg          (never entered)
//   sub/        s.dwg  nested/ deep.dwg
//   empty/      notes.txt
//   loop     -> root                (a link to a folder: never followed)
//   link.dwg -> sub                 (a link to a folder named like a drawing)
//   alias.dwg -> b.dwg              (a link to a file is a file)
void TestDrawingFiles::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_root = QDir::toNativeSeparators(m_dir.path() + "/root");
    const QString r = m_dir.path() + "/root";
    QVERIFY(QDir().mkpath(r + "/x.dwg"));
    QVERIFY(QDir().mkpath(r + "/.archive"));
    QVERIFY(QDir().mkpath(r + "/sub/nested"));
    QVERIFY(QDir().mkpath(r + "/empty"));
    for (const char *name : {"A.DWG", "b.dwg", "c.dwg.bak", ".hidden.dwg", "x.dwg/inner.dwg", ".archive/secret.dwg",
                             "sub/s.dwg", "sub/nested/deep.dwg", "empty/notes.txt"})
        makeFile(r + "/" + QString::fromLatin1(name));
    makeFile(r + QString::fromUtf8("/Zeichnung_äé_日本.dwg"));
#ifndef Q_OS_WIN
    QVERIFY(QFile::link(r, r + "/loop"));
    QVERIFY(QFile::link(r + "/sub", r + "/link.dwg"));
    QVERIFY(QFile::link(r + "/b.dwg", r + "/alias.dwg"));
#endif
}

void TestDrawingFiles::addBackslash_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    const QString s = sep();
    QTest::newRow("without") << "a" + s + "b" << "a" + s + "b" + s;
    QTest::newRow("with") << "a" + s + "b" + s << "a" + s + "b" + s;
    QTest::newRow("empty") << QString() << s;
    QTest::newRow("root") << s << s;
}

void TestDrawingFiles::addBackslash()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(drawings::AddBackslash(path), expected);
}

void TestDrawingFiles::matchSpec_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");
    QTest::newRow("upper case") << "A.DWG" << "*.dwg" << true;
    QTest::newRow("lower case") << "b.dwg" << "*.dwg" << true;
    QTest::newRow("whole name only") << "c.dwg.bak" << "*.dwg" << false;
    QTest::newRow("suffix of extension") << "c.dwgx" << "*.dwg" << false;
    QTest::newRow("no dot") << "dwg" << "*.dwg" << false;
    QTest::newRow("bare extension") << ".dwg" << "*.dwg" << true;
    QTest::newRow("twice") << "a.dwg.dwg" << "*.dwg" << true;
    QTest::newRow("non-ASCII case") << QString::fromUtf8("ÄÉ.DWG") << QString::fromUtf8("äé.dwg") << true;
    QTest::newRow("question mark") << "abc" << "a?c" << true;
    QTest::newRow("question mark needs one") << "ac" << "a?c" << false;
    QTest::newRow("question mark, astral") << QString::fromUtf8("😀.dwg") << "?.dwg" << true;
    QTest::newRow("two question marks, astral") << QString::fromUtf8("😀") << "*??" << false;
    QTest::newRow("star before astral") << QString::fromUtf8("a😀b.dwg") << QString::fromUtf8("*😀?.DWG") << true;
    QTest::newRow("stars") << "abcabd" << "*ab*d" << true;
    QTest::newRow("stars, no match") << "abcabe" << "*ab*d" << false;
    QTest::newRow("star only, empty") << "" << "*" << true;
    QTest::newRow("empty pattern") << "a" << "" << false;
    QTest::newRow("brackets are plain") << "[a].dwg" << "[a].dwg" << true;
}

void TestDrawingFiles::matchSpec()
{
    QFETCH(QString, name);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);
    QCOMPARE(drawings::MatchSpec(name, pattern), matches);
}

void TestDrawingFiles::searchWithoutSubfolders()
{
    const QString p = m_root + sep();
    QStringList rows = drawings::findDrawings(m_root, false);
    rows.sort();
    QStringList expected{p + "A.DWG", p + "b.dwg", p + ".hidden.dwg", p + QString::fromUtf8("Zeichnung_äé_日本.dwg")};
#ifndef Q_OS_WIN
    expected << p + "alias.dwg";
#endif
    expected.sort();
    QCOMPARE(rows, expected);
}

void TestDrawingFiles::searchWithSubfolders()
{
    const QString p = m_root + sep();
    qint64 reported = 0;
    QStringList rows;
    drawings::DrawingSearch search(true, [&](const QString &path) {
        ++reported;
        rows.append(path);
    });
    search.SearchFolder(p);
    rows.sort();
    QStringList expected{p + "A.DWG",
                         p + "b.dwg",
                         p + ".hidden.dwg",
                         p + QString::fromUtf8("Zeichnung_äé_日本.dwg"),
                         p + "x.dwg" + sep() + "inner.dwg",
                         p + "sub" + sep() + "s.dwg",
                         p + "sub" + sep() + "nested" + sep() + "deep.dwg"};
#ifndef Q_OS_WIN
    expected << p + "alias.dwg";
#endif
    expected.sort();
    // No folder is a row, .archive is not entered, and neither link is followed.
    QCOMPARE(rows, expected);
    QCOMPARE(search.foundCount(), reported);
}

void TestDrawingFiles::searchInNameOrder_data()
{
    QTest::addColumn<int>("pattern");
    QTest::addColumn<QStringList>("rows");
    // Names compared by their capitals, as Windows file systems list them:
    // "." and digits before letters, "_" after them; a folder's rows at its place.
    const QStringList all{"10.dwg", "9.dwg", "a.dwg", "ab.DWG", "A_B.dwg", "b.dwg", "B2.dxf", "m/1.dwg", "Z.dwg"};
    QStringList dwg = all;
    dwg.removeAll("B2.dxf");
    QTest::newRow("dwg") << int(drawings::DrawingPattern::Dwg) << dwg;
    QTest::newRow("dxf") << int(drawings::DrawingPattern::Dxf) << QStringList{"B2.dxf"};
    QTest::newRow("both") << int(drawings::DrawingPattern::Both) << all;
}

void TestDrawingFiles::searchInNameOrder()
{
    QFETCH(int, pattern);
    QFETCH(QStringList, rows);
    const QString folder = m_dir.path() + "/order";
    if (!QFileInfo::exists(folder)) {
        QVERIFY(QDir().mkpath(folder + "/m"));
        // Made in an order unlike the expected one, so the disk's order cannot pass for it.
        for (const char *name : {"Z.dwg", "b.dwg", "m/1.dwg", "A_B.dwg", "B2.dxf", "9.dwg", "ab.DWG", "a.dwg", "10.dwg"})
            makeFile(folder + "/" + QString::fromLatin1(name));
    }
    QStringList expected;
    for (const QString &row : rows)
        expected << QDir::toNativeSeparators(folder + "/" + row);
    QCOMPARE(drawings::findDrawings(folder, true, drawings::DrawingPattern(pattern)), expected);
}

void TestDrawingFiles::parsePattern_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<int>("pattern"); // -1: refused
    QTest::newRow("dwg") << "dwg" << int(drawings::DrawingPattern::Dwg);
    QTest::newRow("DXF") << "DXF" << int(drawings::DrawingPattern::Dxf);
    QTest::newRow("both") << "Both" << int(drawings::DrawingPattern::Both);
    QTest::newRow("glob") << "*.dwg" << -1;
    QTest::newRow("empty") << "" << -1;
}

void TestDrawingFiles::parsePattern()
{
    QFETCH(QString, word);
    QFETCH(int, pattern);
    const auto parsed = drawings::parsePattern(word);
    QCOMPARE(parsed ? int(*parsed) : -1, pattern);
}

void TestDrawingFiles::searchStartFolderWithOrWithoutSeparator()
{
    const QStringList without = drawings::findDrawings(m_root, true);
    const QStringList with = drawings::findDrawings(m_root + sep(), true);
    QCOMPARE(with, without);
    for (const QString &row : with)
        QVERIFY2(!row.contains(sep() + sep()), qPrintable(row));
}

void TestDrawingFiles::searchOfMissingOrEmptyFolder()
{
    QVERIFY(drawings::findDrawings(m_root + sep() + "empty", true).isEmpty());
    QVERIFY(drawings::findDrawings(m_root + sep() + "no such folder", true).isEmpty());
    // A file given as the folder is not a folder to search.
    QVERIFY(drawings::findDrawings(m_root + sep() + "b.dwg", true).isEmpty());
}

void TestDrawingFiles::formatIsExact()
{
    QCOMPARE(drawings::formatFileList({}), QByteArray());
    const QList<FileListRow> rows{{true, "C:\\d\\a.dwg"}, {false, "C:\\d\\b c.dwg"}, {true, QString::fromUtf8("é€.dwg")}};
    QCOMPARE(drawings::formatFileList(rows), QByteArray("1\tC:\\d\\a.dwg\r\n0\tC:\\d\\b c.dwg\r\n1\t\xE9\x80.dwg\r\n"));
}

void TestDrawingFiles::formatFallsBackToUtf8OnlyWhenNeeded()
{
    const QList<FileListRow> rows{{true, QString::fromUtf8("é.dwg")}, {false, QString::fromUtf8("日本.dwg")}};
    QCOMPARE(drawings::formatFileList(rows),
             QByteArray("\xEF\xBB\xBF") + QString::fromUtf8("1\té.dwg\r\n0\t日本.dwg\r\n").toUtf8());
}

void TestDrawingFiles::roundTrip_data()
{
    QTest::addColumn<QList<FileListRow>>("rows");
    QTest::newRow("empty") << QList<FileListRow>{};
    QTest::newRow("checks and duplicates")
        << QList<FileListRow>{{true, "C:\\a.dwg"}, {false, "C:\\a.dwg"}, {false, "/b/c.dwg"}, {true, "C:\\a.dwg"}};
    QTest::newRow("space after the tab") << QList<FileListRow>{{true, " C:\\lead.dwg"}};
    QTest::newRow("Windows-1252")
        << QList<FileListRow>{{true, QString::fromUtf8("C:\\Pläne\\Straße €.dwg")}, {false, QString(QChar(0x81))}};
    QTest::newRow("beyond Windows-1252")
        << QList<FileListRow>{{true, QString::fromUtf8("C:\\图纸\\Ω😀.dwg")}, {false, QString::fromUtf8("é.dwg")}};
    QList<FileListRow> many;
    for (int i = 0; i < 40000; ++i)
        many.append({i % 3 != 0, QStringLiteral("C:\\drawings\\%1.dwg").arg(i)});
    QTest::newRow("more than 32767 rows") << many;
}

void TestDrawingFiles::roundTrip()
{
    QFETCH(QList<FileListRow>, rows);
    const QString path = m_dir.filePath("round.xal");
    QCOMPARE(drawings::writeFileList(path, rows), FileListError::None);
    const drawings::FileListContent back = drawings::readFileList(path);
    QCOMPARE(back.error, FileListError::None);
    QCOMPARE(back.skippedLines, 0);
    QCOMPARE(back.rows.size(), rows.size());
    QVERIFY(back.rows == rows);
}

void TestDrawingFiles::lenientReading_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<FileListRow>>("rows");
    QTest::addColumn<int>("skipped");
    using L = QList<FileListRow>;
    QTest::newRow("CR LF") << QByteArray("1\ta\r\n0\tb\r\n") << L{{true, "a"}, {false, "b"}} << 0;
    QTest::newRow("lone CR, last line unended") << QByteArray("1\ta\r0\tb") << L{{true, "a"}, {false, "b"}} << 0;
    QTest::newRow("lone LF") << QByteArray("1\ta\n0\tb\n") << L{{true, "a"}, {false, "b"}} << 0;
    QTest::newRow("spaces around the line") << QByteArray("  1\ta b  \r\n") << L{{true, "a b"}} << 0;
    QTest::newRow("space after the tab kept") << QByteArray("1\t a\r\n") << L{{true, " a"}} << 0;
    QTest::newRow("space before the tab") << QByteArray("1 \ta\r\n") << L{{true, "a"}} << 0;
    QTest::newRow("extra fields ignored") << QByteArray("1\ta\tb\tc\r\n") << L{{true, "a"}} << 0;
    QTest::newRow("only 1 checks") << QByteArray("-1\ta\r\n2\tb\r\n0\tc\r\n1.0\td\r\n")
                                   << L{{false, "a"}, {false, "b"}, {false, "c"}, {true, "d"}} << 0;
    QTest::newRow("blank lines pass") << QByteArray("\r\n   \r\n1\ta\r\n\r\n") << L{{true, "a"}} << 0;
    QTest::newRow("malformed lines counted")
        << QByteArray("x\ta\r\n1a\r\n1\t\r\n\tb\r\n0\tok\r\n") << L{{false, "ok"}} << 4;
    QTest::newRow("Windows-1252 undefined byte") << QByteArray("1\t\x81\xE9\r\n")
                                                 << L{{true, QString(QChar(0x81)) + QChar(0xE9)}} << 0;
    QTest::newRow("UTF-8 behind a mark") << QByteArray("\xEF\xBB\xBF" "1\t\xE6\x97\xA5.dwg\r\n")
                                         << L{{true, QString::fromUtf8("日.dwg")}} << 0;
    QTest::newRow("NUL and binary") << QByteArray("\0\x01\x02\r\n1\ta\r\n", 10) << L{{true, "a"}} << 1;
}

void TestDrawingFiles::lenientReading()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<FileListRow>, rows);
    QFETCH(int, skipped);
    const drawings::FileListContent content = drawings::parseFileList(bytes);
    QCOMPARE(content.error, FileListError::None);
    QCOMPARE(content.rows.size(), rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        QCOMPARE(content.rows[i].Path, rows[i].Path);
        QCOMPARE(content.rows[i].Checked, rows[i].Checked);
    }
    QCOMPARE(content.skippedLines, skipped);
}

void TestDrawingFiles::readFailures()
{
    const drawings::FileListContent missing = drawings::readFileList(m_dir.filePath("missing.xal"));
    QCOMPARE(missing.error, FileListError::FileNotFound);
    QVERIFY(missing.rows.isEmpty());
    const drawings::FileListContent folder = drawings::readFileList(m_dir.path());
    QCOMPARE(folder.error, FileListError::CannotOpen);
    QVERIFY(!drawings::fileListErrorMessage(FileListError::CannotOpen).isEmpty());
}

void TestDrawingFiles::readYieldsOncePerLine()
{
    const QString path = m_dir.filePath("yield.xal");
    makeFile(path, "1\ta\r\n0\tb\r\nbad\r\n");
    int calls = 0;
    const drawings::FileListContent content = drawings::readFileList(path, [&] { ++calls; });
    QCOMPARE(calls, 3);
    QCOMPARE(content.rows.size(), 2);
    QCOMPARE(content.skippedLines, 1);
}

void TestDrawingFiles::writeReplacesWholeFile()
{
    const QString path = m_dir.filePath("replace.xal");
    makeFile(path, QByteArray(5000, 'z'));
    QCOMPARE(drawings::writeFileList(path, {{false, "a"}}), FileListError::None);
    QCOMPARE(readAll(path), QByteArray("0\ta\r\n"));
    QCOMPARE(drawings::writeFileList(path, {}), FileListError::None);
    QCOMPARE(readAll(path), QByteArray());
    // A name without extension is used as typed.
    QCOMPARE(drawings::writeFileList(m_dir.filePath("plain"), {{true, "a"}}), FileListError::None);
    QVERIFY(QFile::exists(m_dir.filePath("plain")));
}

void TestDrawingFiles::writeFailuresKeepOldFile()
{
    QCOMPARE(drawings::writeFileList(m_dir.filePath("no such folder/a.xal"), {{true, "a"}}),
             FileListError::CannotCreate);
    QVERIFY(!drawings::fileListErrorMessage(FileListError::CannotCreate).isEmpty());

    const QString folder = m_dir.filePath("folder.xal");
    QVERIFY(QDir().mkpath(folder + "/keep"));
    QCOMPARE(drawings::writeFileList(folder, {{true, "a"}}), FileListError::CannotCreate);
    QVERIFY(QFileInfo(folder + "/keep").isDir());
    QCOMPARE(drawings::fileListErrorMessage(FileListError::CannotReplace),
             QString("An error occurred. The file is open and cannot be saved. Please close the file and try again."));

    const QString locked = m_dir.filePath("readonly.xal");
    makeFile(locked, "1\told\r\n");
    QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ReadUser));
    QCOMPARE(drawings::writeFileList(locked, {{false, "new"}}), FileListError::CannotReplace);
    QCOMPARE(readAll(locked), QByteArray("1\told\r\n"));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner);
}

void TestDrawingFiles::fileListNames()
{
    const QString files = m_dir.filePath("app/Files");
    QVERIFY((platform::ensureListFolder(files), platform::listFileNames(files, "xal")).isEmpty());
    QVERIFY(QFileInfo(files).isDir());
    makeFile(files + "/one.xal");
    makeFile(files + "/TWO.XAL");
    makeFile(files + "/three.xal.bak");
    makeFile(files + "/template.xat");
    QVERIFY(QDir().mkpath(files + "/folder.xal"));
    QVERIFY(QDir().mkpath(files + "/deeper"));
    makeFile(files + "/deeper/four.xal");
    QStringList names = (platform::ensureListFolder(files), platform::listFileNames(files, "xal"));
    names.sort();
    QCOMPARE(names, (QStringList{"TWO.XAL", "one.xal"}));
}

QTEST_GUILESS_MAIN(TestDrawingFiles)
#include "tst_drawings_files.moc"
