#include "templates/templatefile.h"
#include "templates/sampleimport.h"
#include "template_support.h"

#include "extract/modOdxAtributes.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace templates;

Q_DECLARE_METATYPE(TemplateItem)

namespace {

// Accepts the first `room` bytes, then refuses every write.
class FailDevice : public QIODevice {
public:
    explicit FailDevice(qint64 room) : room_(room) { open(QIODevice::WriteOnly); }
    QByteArray written;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override
    {
        const qint64 n = qMin(len, room_ - written.size());
        if (n <= 0) {
            setErrorString(QStringLiteral("device full"));
            return -1;
        }
        written.append(data, n);
        return n;
    }

private:
    qint64 room_;
};

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

} // namespace

class TestTemplateFile : public QObject {
    Q_OBJECT

private slots:
    void writesTheExactBytes_data();
    void writesTheExactBytes();
    void roundTrip_data();
    void roundTrip();
    void lenientLines_data();
    void lenientLines();
    void malformedLinesAreSkippedAndCounted_data();
    void malformedLinesAreSkippedAndCounted();
    void undefinedAnsiBytesAndGarbageNeverFail();
    void whatIsReadIsWrittenBackUnchanged();
    void controlCharactersInFieldsBecomeBlanks();
    void noRowLimit();
    void failingDeviceReportsTheFailure();
    void savingOverAnExistingTemplateReplacesIt();
    void failedSaveLeavesTheOldFile();
    void readingFailures();
    void templateFolder();
    void templateNamesListsOnlyTemplateFiles();
    void importFromCorpus_data();
    void importFromCorpus();
};

void TestTemplateFile::writesTheExactBytes_data()
{
    QTest::addColumn<QList<TemplateItem>>("items");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("empty list, empty file") << QList<TemplateItem>{} << QByteArray();
    QTest::newRow("checked model-space row")
        << QList<TemplateItem>{row(true, "DWG_NO", "DWG_NO", "XYZ")} << QByteArray("1\tDWG_NO\tDWG_NO\tXYZ\tM\r\n");
    QTest::newRow("unchecked, renamed, empty value, paper space")
        << QList<TemplateItem>{row(false, "Drawing number", "DWG_NO", "", "P")}
        << QByteArray("0\tDrawing number\tDWG_NO\t\tP\r\n");
    QTest::newRow("Western text stays one byte a character, no mark")
        << QList<TemplateItem>{row(true, "Révision", "REV", "€ 5 – ü")}
        << QByteArray("1\tR\xE9vision\tREV\t\x80 5 \x96 \xFC\tM\r\n");
    QTest::newRow("Greek makes the whole file UTF-8 with a mark")
        << QList<TemplateItem>{row(true, "é", "A", "x"), row(true, "ΤΙΤΛΟΣ", "B", "")}
        << QByteArray("\xEF\xBB\xBF" "1\t\xC3\xA9\tA\tx\tM\r\n1\t\xCE\xA4\xCE\x99\xCE\xA4\xCE\x9B\xCE\x9F\xCE\xA3\tB\t\tM\r\n");
}

void TestTemplateFile::writesTheExactBytes()
{
    QFETCH(QList<TemplateItem>, items);
    QFETCH(QByteArray, bytes);
    QCOMPARE(formatTemplate(items), bytes);

    QTemporaryDir dir;
    const QString path = dir.filePath("t.xat");
    QVERIFY(writeTemplateFile(path, items).ok());
    QCOMPARE(readAll(path), bytes);
}

void TestTemplateFile::roundTrip_data()
{
    QTest::addColumn<QList<TemplateItem>>("items");

    QTest::newRow("checked, unchecked, renamed")
        << QList<TemplateItem>{row(true, "Sheet number", "SHEET", "1"), row(false, "B", "B", "2", "P")};
    QTest::newRow("empty sample value and empty field name")
        << QList<TemplateItem>{row(true, "", "T", ""), row(false, "X", "X", "")};
    QTest::newRow("blanks inside fields survive")
        << QList<TemplateItem>{row(true, "  two  blanks ", " TAG ", "  v  ")};
    QTest::newRow("duplicate tags give two rows")
        << QList<TemplateItem>{row(true, "REV", "REV", "A"), row(false, "REV", "REV", "B")};
    QTest::newRow("Chinese and symbols") << QList<TemplateItem>{row(true, "图号", "图号", "Ω ≤ 5 😀")};
}

void TestTemplateFile::roundTrip()
{
    QFETCH(QList<TemplateItem>, items);
    const TemplateReadResult back = parseTemplate(formatTemplate(items));
    QVERIFY(back.ok());
    QCOMPARE(back.skippedLines, 0);
    QCOMPARE(back.rows, items);
}

void TestTemplateFile::lenientLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<TemplateItem>>("items");

    const QList<TemplateItem> ab{row(true, "A", "A", "1"), row(false, "B", "B", "2")};
    QTest::newRow("lone CR") << QByteArray("1\tA\tA\t1\tM\r0\tB\tB\t2\tM\r") << ab;
    QTest::newRow("lone LF") << QByteArray("1\tA\tA\t1\tM\n0\tB\tB\t2\tM\n") << ab;
    QTest::newRow("last line without an end") << QByteArray("1\tA\tA\t1\tM\r\n0\tB\tB\t2\tM") << ab;
    QTest::newRow("blanks around the line")
        << QByteArray("   1\tA\tA\t1\tM   \r\n 0\tB\tB\t2\tM \r\n") << ab;
    QTest::newRow("fields after the fifth") << QByteArray("1\tA\tA\t1\tM\textra\t\r\n0\tB\tB\t2\tM\tmore\r\n") << ab;

    const auto mark = [](const char* first, bool checked) {
        QTest::newRow(first) << (QByteArray(first) + "\tF\tT\tV\tM\r\n")
                             << QList<TemplateItem>{row(checked, "F", "T", "V")};
    };
    mark("+1", true);
    mark("01", true);
    mark("1.0", true);
    mark("1 ", true);
    mark("0", false);
    mark("2", false);
    mark("-1", false);
    mark("0.5", false);
}

void TestTemplateFile::lenientLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<TemplateItem>, items);
    const TemplateReadResult back = parseTemplate(bytes);
    QCOMPARE(back.skippedLines, 0);
    QCOMPARE(back.rows, items);
}

void TestTemplateFile::malformedLinesAreSkippedAndCounted_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("skipped");

    const QByteArray good = "1\tA\tA\t1\tM\r\n";
    QTest::newRow("empty line") << good + "\r\n" + good << 2 << 1;
    QTest::newRow("blank line") << good + "    \r\n" << 1 << 1;
    QTest::newRow("four fields") << QByteArray("1\tA\tA\t1\r\n") + good << 1 << 1;
    QTest::newRow("one field") << QByteArray("hello\r\n") << 0 << 1;
    QTest::newRow("first field not a number") << QByteArray("x\tA\tA\t1\tM\r\n") + good << 1 << 1;
    QTest::newRow("first field empty") << QByteArray("\tA\tA\t1\tM\r\n") << 0 << 1;
    QTest::newRow("first field nan") << QByteArray("nan\tA\tA\t1\tM\r\n") << 0 << 1;
    QTest::newRow("CR LF CR LF at the end") << good + "\r\n" << 1 << 1;
}

void TestTemplateFile::malformedLinesAreSkippedAndCounted()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, rows);
    QFETCH(int, skipped);
    const TemplateReadResult back = parseTemplate(bytes);
    QVERIFY(back.ok());
    QCOMPARE(back.rows.size(), rows);
    QCOMPARE(back.skippedLines, skipped);
}

void TestTemplateFile::undefinedAnsiBytesAndGarbageNeverFail()
{
    const TemplateReadResult undefined = parseTemplate(QByteArray("1\tA\x81\x9D\tT\tV\tM\r\n"));
    QCOMPARE(undefined.rows.size(), 1);
    QCOMPARE(undefined.rows[0].FieldName, QString::fromUtf16(u"A\u0081\u009D"));

    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(static_cast<char>((i * 7919) % 256));
    const TemplateReadResult back = parseTemplate(garbage);
    QVERIFY(back.ok());
    QVERIFY(back.skippedLines > 0);

    // A mark followed by bytes that are not UTF-8.
    QVERIFY(parseTemplate(QByteArray("\xEF\xBB\xBF" "1\t\xFF\xFE\tT\tV\tM\r\n")).rows.size() == 1);
}

// Whatever a file holds, the rows read from it survive a save and a reread.
void TestTemplateFile::whatIsReadIsWrittenBackUnchanged()
{
    static const char alphabet[] = "\t\t\t\t\r\n  01+.eAbZ\x80\x81\xE9\xFF\xEF\xBB\xBF\xCE\xA4\x00";
    quint32 seed = 12345;
    const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int round = 0; round < 2000; ++round) {
        QByteArray bytes;
        if (round % 3 == 0)
            bytes = "\xEF\xBB\xBF";
        const int length = int(next() >> 24);
        for (int i = 0; i < length; ++i)
            bytes.append(alphabet[(next() >> 16) % (sizeof alphabet - 1)]);
        TemplateReadResult first = parseTemplate(bytes);
        // Blanks closing a space code that extra fields followed end the
        // written line, where reading drops them.
        for (TemplateItem& item : first.rows) {
            while (item.SpaceCode.endsWith(u' '))
                item.SpaceCode.chop(1);
        }
        const TemplateReadResult second = parseTemplate(formatTemplate(first.rows));
        QCOMPARE(second.skippedLines, 0);
        QCOMPARE(second.rows, first.rows);
    }
}

void TestTemplateFile::controlCharactersInFieldsBecomeBlanks()
{
    const QList<TemplateItem> items{row(true, "A", "A", "x\ty\r\nz")};
    const TemplateReadResult back = parseTemplate(formatTemplate(items));
    QCOMPARE(back.skippedLines, 0);
    QCOMPARE(back.rows, (QList<TemplateItem>{row(true, "A", "A", "x y  z")}));
}

void TestTemplateFile::noRowLimit()
{
    QList<TemplateItem> items;
    for (int i = 0; i < 40000; ++i)
        items.append(row(i % 3 != 0, QString("F%1").arg(i), QString("T%1").arg(i), QString::number(i)));
    QTemporaryDir dir;
    const QString path = dir.filePath("big.xat");
    QVERIFY(writeTemplateFile(path, items).ok());
    const TemplateReadResult back = readTemplateFile(path);
    QVERIFY(back.ok());
    QCOMPARE(back.rows.size(), items.size());
    QCOMPARE(back.rows, items);
}

void TestTemplateFile::failingDeviceReportsTheFailure()
{
    const QList<TemplateItem> items{row(true, "A", "A", "1"), row(true, "B", "B", "2")};
    for (qint64 room : {0, 5, 13}) {
        FailDevice device(room);
        const platform::ListFileStatus status = platform::writeListBytes(device, formatTemplate(items));
        QCOMPARE(status.error, platform::ListFileError::WriteFailed);
        QCOMPARE(status.detail, QStringLiteral("device full"));
    }
    FailDevice roomy(1000);
    QVERIFY(platform::writeListBytes(roomy, formatTemplate(items)).ok());
    QCOMPARE(roomy.written, formatTemplate(items));
}

void TestTemplateFile::savingOverAnExistingTemplateReplacesIt()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("over.xat");
    QList<TemplateItem> longer;
    for (int i = 0; i < 10; ++i)
        longer.append(row(true, "LONG", "LONG", "a long old value"));
    QVERIFY(writeTemplateFile(path, longer).ok());
    const QList<TemplateItem> shorter{row(false, "S", "S", "")};
    QVERIFY(writeTemplateFile(path, shorter).ok());
    QCOMPARE(readAll(path), QByteArray("0\tS\tS\t\tM\r\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"over.xat"});
}

void TestTemplateFile::failedSaveLeavesTheOldFile()
{
    QTemporaryDir dir;
    const QList<TemplateItem> items{row(true, "A", "A", "1")};

    QCOMPARE(writeTemplateFile(dir.filePath("missing/t.xat"), items).error, platform::ListFileError::CannotCreate);
    QVERIFY(QDir(dir.path()).mkdir("folder.xat"));
    QCOMPARE(writeTemplateFile(dir.filePath("folder.xat"), items).error, platform::ListFileError::CannotCreate);

    if (runningAsRoot())
        QSKIP("file permissions do not bind root");
    const QString path = dir.filePath("locked.xat");
    QVERIFY(writeBytes(path, "0\tOLD\tOLD\t\tP\r\n"));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
    QCOMPARE(writeTemplateFile(path, items).error, platform::ListFileError::CannotReplace);
    QCOMPARE(readAll(path), QByteArray("0\tOLD\tOLD\t\tP\r\n"));

    const QString roDir = dir.filePath("ro");
    QVERIFY(QDir(dir.path()).mkdir("ro"));
    QVERIFY(writeBytes(roDir + "/t.xat", "0\tOLD\tOLD\t\tP\r\n"));
    QVERIFY(QFile::setPermissions(roDir, QFile::ReadOwner | QFile::ExeOwner));
    QVERIFY(!writeTemplateFile(roDir + "/t.xat", items).ok());
    QCOMPARE(readAll(roDir + "/t.xat"), QByteArray("0\tOLD\tOLD\t\tP\r\n"));
    QFile::setPermissions(roDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestTemplateFile::readingFailures()
{
    QTemporaryDir dir;
    QCOMPARE(readTemplateFile(dir.filePath("nothing.xat")).error, platform::ListFileError::FileNotFound);
    QCOMPARE(readTemplateFile(dir.path()).error, platform::ListFileError::CannotOpen);
    QVERIFY(writeBytes(dir.filePath("empty.xat"), QByteArray()));
    const TemplateReadResult empty = readTemplateFile(dir.filePath("empty.xat"));
    QVERIFY(empty.ok());
    QVERIFY(empty.rows.isEmpty());
    QCOMPARE(empty.skippedLines, 0);
}

void TestTemplateFile::templateFolder()
{
    QTemporaryDir app;
    const QString folder = app.path() + "/Files";
    QVERIFY(platform::ensureListFolder(folder).ok());
    QVERIFY(QFileInfo(folder).isDir());
    QVERIFY(platform::ensureListFolder(folder).ok());

    QTemporaryDir other;
    QVERIFY(writeBytes(other.filePath("Files"), "not a folder"));
    QCOMPARE(platform::ensureListFolder(other.path() + "/Files").error, platform::ListFileError::FolderNotCreated);
    // Missing parents are made (an installed program's data folder may not exist yet);
    // a file in the way of one is not.
    QVERIFY(platform::ensureListFolder(other.filePath("no/such/Files")).ok());
    QCOMPARE(platform::ensureListFolder(other.filePath("Files/below/Files")).error, platform::ListFileError::FolderNotCreated);
}

void TestTemplateFile::templateNamesListsOnlyTemplateFiles()
{
    QTemporaryDir dir;
    for (const char* name : {"b.xat", "A.XAT", "c.xal", "d.xat.bak", "noext", "e.xat"})
        QVERIFY(writeBytes(dir.filePath(name), QByteArray()));
    QVERIFY(QDir(dir.path()).mkdir("folder.xat"));
    QCOMPARE(platform::listFileNames(dir.path(), "xat"), (QStringList{"A.XAT", "b.xat", "e.xat"}));
    QVERIFY(platform::listFileNames(dir.filePath("missing"), "xat").isEmpty());
}

void TestTemplateFile::importFromCorpus_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("space");
    QTest::addColumn<QList<TemplateItem>>("items");

    QTest::newRow("duplicate tags: first value wins")
        << "generated/b_duplicate_tags.dwg" << "M"
        << QList<TemplateItem>{row(true, "TITLE", "TITLE", "Title 01"), row(true, "REV", "REV", "R01")};
    QTest::newRow("tags differing in case: one row, spelled as first met")
        << "generated/c_case_variants.dwg" << "M"
        << QList<TemplateItem>{row(true, "Rev", "Rev", "lower-camel")};
    QTest::newRow("paper space read as paper")
        << "generated/d_paper_only.dwg" << "P"
        << QList<TemplateItem>{row(true, "DWG_NO", "DWG_NO", "P-200", "P"), row(true, "TITLE", "TITLE", "PAPER ONLY", "P"),
                               row(true, "REV", "REV", "B", "P")};
    QTest::newRow("model space of a paper-only drawing is empty")
        << "generated/d_paper_only.dwg" << "M" << QList<TemplateItem>{};
    QTest::newRow("a missing drawing gives nothing") << "generated/no_such.dwg" << "M" << QList<TemplateItem>{};
}

void TestTemplateFile::importFromCorpus()
{
    QFETCH(QString, file);
    QFETCH(QString, space);
    QFETCH(QList<TemplateItem>, items);
    const QString path = QStringLiteral(QUORVANE_CORPUS_DIR) + u'/' + file;
    const QString probe = QStringLiteral(QUORVANE_CORPUS_DIR "/generated/a_title_block.dwg");
    if (!QFileInfo::exists(probe))
        QSKIP("corpus not present");
    extract::modOdxAtributes attributes;
    if (attributes.ReadSpaceAttributes(probe.toStdString(), "M") != 0)
        QSKIP("the drawing reader does not read 2000 files yet");
    QCOMPARE(importSampleAttributes(attributes, path, space), items);
}

QTEST_GUILESS_MAIN(TestTemplateFile)
#include "tst_templatefile.moc"
