// The drawing search: wildcard names, the walk of a folder tree, the order of rows.

#include "drawings/search.h"
#include "file_bytes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class TestSearch : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void matchSpec_data();
    void matchSpec();

    void searchWithSubfolders();
    void searchInNameOrder_data();
    void searchInNameOrder();
    void searchOfMissingOrEmptyFolder();

private:
    QTemporaryDir m_dir;
    QString m_root;  // native separators, no trailing separator
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
void TestSearch::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_root = QDir::toNativeSeparators(m_dir.path() + "/root");
    const QString r = m_dir.path() + "/root";
    QVERIFY(QDir().mkpath(r + "/x.dwg"));
    QVERIFY(QDir().mkpath(r + "/.archive"));
    QVERIFY(QDir().mkpath(r + "/sub/nested"));
    QVERIFY(QDir().mkpath(r + "/empty"));
    for (const char* name : {"A.DWG", "b.dwg", "c.dwg.bak", ".hidden.dwg", "x.dwg/inner.dwg", ".archive/secret.dwg",
                             "sub/s.dwg", "sub/nested/deep.dwg", "empty/notes.txt"})
        QVERIFY(writeBytes(r + "/" + QString::fromLatin1(name), "x"));
    QVERIFY(writeBytes(r + QString::fromUtf8("/Zeichnung_äé_日本.dwg"), "x"));
#ifndef Q_OS_WIN
    QVERIFY(QFile::link(r, r + "/loop"));
    QVERIFY(QFile::link(r + "/sub", r + "/link.dwg"));
    QVERIFY(QFile::link(r + "/b.dwg", r + "/alias.dwg"));
#endif
}

void TestSearch::matchSpec_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");
    QTest::newRow("upper case") << "A.DWG"
                                << "*.dwg" << true;
    QTest::newRow("whole name only") << "c.dwg.bak"
                                     << "*.dwg" << false;
    QTest::newRow("no dot") << "dwg"
                            << "*.dwg" << false;
    QTest::newRow("twice") << "a.dwg.dwg"
                           << "*.dwg" << true;
    QTest::newRow("non-ASCII case") << QString::fromUtf8("ÄÉ.DWG") << QString::fromUtf8("äé.dwg") << true;
    QTest::newRow("question mark needs one") << "ac"
                                             << "a?c" << false;
    QTest::newRow("question mark, astral") << QString::fromUtf8("😀.dwg") << "?.dwg" << true;
    QTest::newRow("star before astral") << QString::fromUtf8("a😀b.dwg") << QString::fromUtf8("*😀?.DWG") << true;
    QTest::newRow("stars, no match") << "abcabe"
                                     << "*ab*d" << false;
    QTest::newRow("star only, empty") << ""
                                      << "*" << true;
    QTest::newRow("empty pattern") << "a"
                                   << "" << false;
    QTest::newRow("brackets are plain") << "[a].dwg"
                                        << "[a].dwg" << true;
}

void TestSearch::matchSpec()
{
    QFETCH(QString, name);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);
    QCOMPARE(drawings::MatchSpec(name, pattern), matches);
}

void TestSearch::searchWithSubfolders()
{
    const QString p = m_root + QDir::separator();
    QStringList rows;
    // A pattern with capitals finds lower-case names: both are case-folded.
    drawings::DrawingSearch search(
        true, [&](const QString& path) { rows.append(path); }, "*.DWG");
    search.SearchFolder(p);
    rows.sort();
    QStringList expected{p + "A.DWG",
                         p + "b.dwg",
                         p + ".hidden.dwg",
                         p + QString::fromUtf8("Zeichnung_äé_日本.dwg"),
                         p + "x.dwg" + QDir::separator() + "inner.dwg",
                         p + "sub" + QDir::separator() + "s.dwg",
                         p + "sub" + QDir::separator() + "nested" + QDir::separator() + "deep.dwg"};
#ifndef Q_OS_WIN
    expected << p + "alias.dwg";
#endif
    expected.sort();
    // No folder is a row, .archive is not entered, and neither link is followed.
    QCOMPARE(rows, expected);
    QCOMPARE(search.foundCount(), qint64(rows.size()));
}

void TestSearch::searchInNameOrder_data()
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

void TestSearch::searchInNameOrder()
{
    QFETCH(int, pattern);
    QFETCH(QStringList, rows);
    const QString folder = m_dir.path() + "/order";
    if (!QFileInfo::exists(folder)) {
        QVERIFY(QDir().mkpath(folder + "/m"));
        // Made in an order unlike the expected one, so the disk's order cannot pass for it.
        for (const char* name :
             {"Z.dwg", "b.dwg", "m/1.dwg", "A_B.dwg", "B2.dxf", "9.dwg", "ab.DWG", "a.dwg", "10.dwg"})
            QVERIFY(writeBytes(folder + "/" + QString::fromLatin1(name), "x"));
    }
    QStringList expected;
    for (const QString& row : rows) expected << QDir::toNativeSeparators(folder + "/" + row);
    QCOMPARE(drawings::findDrawings(folder, true, drawings::DrawingPattern(pattern)), expected);
}

void TestSearch::searchOfMissingOrEmptyFolder()
{
    QVERIFY(drawings::findDrawings(m_root + QDir::separator() + "empty", true).isEmpty());
    QVERIFY(drawings::findDrawings(m_root + QDir::separator() + "no such folder", true).isEmpty());
    // A file given as the folder is not a folder to search.
    QVERIFY(drawings::findDrawings(m_root + QDir::separator() + "b.dwg", true).isEmpty());
}

QTEST_GUILESS_MAIN(TestSearch)
#include "tst_search.moc"
