// The tab-separated list format of templates and file lists: what each reads
// from given bytes, the exact bytes each writes, what survives a save, the
// failures of reading and writing, and the folder of saved lists.
#include "drawings/filelist.h"
#include "templates/templatefile.h"

#include "file_bytes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using drawings::FileListRow;
using platform::ListFileError;
using templates::TemplateItem;

namespace {

// Either format's rows as text, one table for both: "1 F|T|V|M" / "0 path".
QStringList shown(const QList<TemplateItem>& items)
{
    QStringList out;
    for (const TemplateItem& i : items)
        out << QString(i.Checked ? "1 " : "0 ") + QStringList{i.FieldName, i.Tag, i.SampleValue, i.SpaceCode}.join('|');
    return out;
}

QStringList shown(const QList<FileListRow>& rows)
{
    QStringList out;
    for (const FileListRow& r : rows) out << QString(r.Checked ? "1 " : "0 ") + r.Path;
    return out;
}

TemplateItem item(bool checked, const QString& field, const QString& tag, const QString& value,
                  const QString& space = "M")
{
    return {checked, field, tag, value, space};
}

// Accepts the first `room` bytes, then refuses every write.
struct FailDevice : QIODevice {
    explicit FailDevice(qint64 room) : room(room) { open(QIODevice::WriteOnly); }
    qint64 room;
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 len) override
    {
        const qint64 n = qMin(len, room - pos());
        setErrorString("device full");
        return n > 0 ? n : -1;
    }
};

}  // namespace

class TestListFiles : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void reading_data();
    void reading();
    void writing_data();
    void writing();
    void whatIsReadIsWrittenBackUnchanged();
    void manyRowsSurviveAFile();
    void readFailures();
    void writeFailuresKeepTheOldFile();
    void folderOfSavedLists();
};

void TestListFiles::reading_data()
{
    QTest::addColumn<bool>("fileList");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("skipped");

    QTest::newRow("xat: endings, blanks around, extra fields")
        << false << QByteArray("   1\tA\tA\t1\tM   \r0\tB\tB\t2\tP\textra\t\n1\t  two  \t T \t\tM")
        << QStringList{"1 A|A|1|M", "0 B|B|2|P", "1   two  | T ||M"} << 0;
    QTest::newRow("xat: check marks") << false
                                      << QByteArray(
                                             "+1\tA\tA\t\tM\r\n01\tB\tB\t\tM\r\n1.0\tC\tC\t\tM\r\n1 \tD\tD\t\tM\r\n"
                                             "2\tE\tE\t\tM\r\n-1\tF\tF\t\tM\r\n0.5\tG\tG\t\tM\r\n")
                                      << QStringList{"1 A|A||M", "1 B|B||M", "1 C|C||M", "1 D|D||M",
                                                     "0 E|E||M", "0 F|F||M", "0 G|G||M"}
                                      << 0;
    QTest::newRow("xat: malformed lines counted, blank ones too")
        << false
        << QByteArray("1\tA\tA\t1\tM\r\n\r\n    \r\n1\tA\tA\t1\r\nhello\r\nx\tA\tA\t1\tM\r\n"
                      "\tA\tA\t1\tM\r\nnan\tA\tA\t1\tM\r\n0\tB\tB\t\tM\r\n")
        << QStringList{"1 A|A|1|M", "0 B|B||M"} << 7;
    QTest::newRow("xal: blank lines pass, malformed ones are counted")
        << true << QByteArray("\r\n   \r\nx\ta\r\n1a\r\n1\t\r\n\tb\r\n0\tok\r\n\r\n") << QStringList{"0 ok"} << 4;
    QTest::newRow("xal: NUL and binary") << true << QByteArray("\0\x01\x02\r\n1\ta\r\n", 10) << QStringList{"1 a"} << 1;
}

void TestListFiles::reading()
{
    QFETCH(bool, fileList);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, rows);
    QFETCH(int, skipped);
    const QString path = dir_.filePath(fileList ? "r.xal" : "r.xat");
    QVERIFY(writeBytes(path, bytes));
    int lines = 0;
    const auto count = [&lines] { ++lines; };
    if (fileList) {
        const drawings::FileListContent read = drawings::readFileList(path, count);
        QVERIFY(read.ok());
        QCOMPARE(shown(read.rows), rows);
        QCOMPARE(read.skippedLines, skipped);
    } else {
        const templates::TemplateReadResult read = templates::readTemplateFile(path, count);
        QVERIFY(read.ok());
        QCOMPARE(shown(read.rows), rows);
        QCOMPARE(read.skippedLines, skipped);
        // The window keeps painting once per line, whatever the line held.
        QCOMPARE(lines, rows.size() + skipped);
    }
}

void TestListFiles::writing_data()
{
    QTest::addColumn<QList<TemplateItem>>("items");
    QTest::addColumn<QList<FileListRow>>("rows");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty list, empty file") << QList<TemplateItem>{} << QList<FileListRow>{} << QByteArray();
    QTest::newRow("xat: checked, unchecked renamed on paper, empty value")
        << QList<TemplateItem>{item(true, "DWG_NO", "DWG_NO", "XYZ"), item(false, "Drawing number", "DWG_NO", "", "P")}
        << QList<FileListRow>{} << QByteArray("1\tDWG_NO\tDWG_NO\tXYZ\tM\r\n0\tDrawing number\tDWG_NO\t\tP\r\n");
    QTest::newRow("xat: Western text in code page 1252")
        << QList<TemplateItem>{item(true, "Révision", "REV", "€ 5")} << QList<FileListRow>{}
        << QByteArray("1\tR\xE9vision\tREV\t\x80 5\tM\r\n");
    QTest::newRow("xat: TAB, CR and LF in a field become blanks")
        << QList<TemplateItem>{item(true, "A", "A", "x\ty\r\nz")} << QList<FileListRow>{}
        << QByteArray("1\tA\tA\tx y  z\tM\r\n");
    QTest::newRow("xal: checks, duplicates, spaces")
        << QList<TemplateItem>{}
        << QList<FileListRow>{{true, "C:\\d\\a.dwg"}, {false, "C:\\d\\b c.dwg"}, {true, "C:\\d\\a.dwg"}}
        << QByteArray("1\tC:\\d\\a.dwg\r\n0\tC:\\d\\b c.dwg\r\n1\tC:\\d\\a.dwg\r\n");
}

// The exact bytes, and the same rows read back.
void TestListFiles::writing()
{
    QFETCH(QList<TemplateItem>, items);
    QFETCH(QList<FileListRow>, rows);
    QFETCH(QByteArray, bytes);
    if (rows.isEmpty()) {
        QCOMPARE(templates::formatTemplate(items), bytes);
        QCOMPARE(templates::parseTemplate(bytes).rows.size(), items.size());
    }
    if (items.isEmpty()) {
        QCOMPARE(drawings::formatFileList(rows), bytes);
        QCOMPARE(drawings::parseFileList(bytes).rows, rows);
    }
}

// Whatever a file holds, the rows read from it survive a save and a reread.
void TestListFiles::whatIsReadIsWrittenBackUnchanged()
{
    static const char alphabet[] = "\t\t\t\t\r\n  01+.eAbZ\x80\x81\xE9\xFF\xEF\xBB\xBF\xCE\xA4\x00";
    quint32 seed = 12345;
    const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int round = 0; round < 2000; ++round) {
        QByteArray bytes = round % 3 == 0 ? "\xEF\xBB\xBF" : "";
        const int length = int(next() >> 24);
        for (int i = 0; i < length; ++i) bytes.append(alphabet[(next() >> 16) % (sizeof alphabet - 1)]);
        templates::TemplateReadResult first = templates::parseTemplate(bytes);
        // Blanks closing a space code that extra fields followed end the
        // written line, where reading drops them.
        for (TemplateItem& i : first.rows) {
            while (i.SpaceCode.endsWith(u' ')) i.SpaceCode.chop(1);
        }
        const templates::TemplateReadResult second = templates::parseTemplate(templates::formatTemplate(first.rows));
        QCOMPARE(second.skippedLines, 0);
        QCOMPARE(second.rows, first.rows);
    }
}

void TestListFiles::manyRowsSurviveAFile()
{
    QList<TemplateItem> items;
    for (int i = 0; i < 40000; ++i)
        items.append(item(i % 3 != 0, QString("F%1").arg(i), QString("T%1").arg(i), QString::number(i)));
    QVERIFY(templates::writeTemplateFile(dir_.filePath("many.xat"), items).ok());
    QCOMPARE(templates::readTemplateFile(dir_.filePath("many.xat")).rows, items);
}

void TestListFiles::readFailures()
{
    QCOMPARE(templates::readTemplateFile(dir_.filePath("nothing.xat")).error, ListFileError::FileNotFound);
    QCOMPARE(templates::readTemplateFile(dir_.path()).error, ListFileError::CannotOpen);
    QCOMPARE(drawings::fileListErrorMessage(drawings::readFileList(dir_.path()).error),
             QString("The file list cannot be read."));
}

void TestListFiles::writeFailuresKeepTheOldFile()
{
    const QList<TemplateItem> items{item(true, "A", "A", "1"), item(true, "B", "B", "2")};
    const QByteArray bytes = templates::formatTemplate(items);
    FailDevice device(5);  // a short write, then a refusal
    const platform::ListFileStatus status = platform::writeListBytes(device, bytes);
    QCOMPARE(status.error, ListFileError::WriteFailed);
    QCOMPARE(status.detail, QString("device full"));

    // Replaced whole: a shorter list leaves nothing of the longer one, nor a temporary file.
    QTemporaryDir dir;
    const QString path = dir.filePath("over.xal");
    QVERIFY(writeBytes(path, QByteArray(5000, 'z')));
    QCOMPARE(drawings::writeFileList(path, {{false, "a"}}), ListFileError::None);
    QCOMPARE(readAll(path), QByteArray("0\ta\r\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"over.xal"});

    QCOMPARE(templates::writeTemplateFile(dir.filePath("missing/t.xat"), items).error, ListFileError::CannotCreate);
    // A folder in the way and a read-only file: see the window's tests of saving.
}

void TestListFiles::folderOfSavedLists()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("no/such/Files");  // missing parents are made
    QVERIFY(platform::ensureListFolder(folder).ok());
    QVERIFY(platform::ensureListFolder(folder).ok());
    // A file in the way: see the window's tests.

    for (const char* name : {"b.xat", "A.XAT", "c.xal", "d.xat.bak", "noext", "e.xat"})
        QVERIFY(writeBytes(folder + "/" + name, QByteArray()));
    QVERIFY(QDir(folder).mkdir("folder.xat"));
    QCOMPARE(platform::listFileNames(folder, "xat"), (QStringList{"A.XAT", "b.xat", "e.xat"}));
    QCOMPARE(platform::listFileNames(folder, "xal"), QStringList{"c.xal"});
    QVERIFY(platform::listFileNames(dir.filePath("missing"), "xat").isEmpty());
}

QTEST_GUILESS_MAIN(TestListFiles)
#include "tst_listfiles.moc"
