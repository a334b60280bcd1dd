// The platform layer: where the program's folders are and handing a file to the desktop.
// Reading stored settings is tested through the window (tests/app/tst_window.cpp).
#include "file_bytes.h"
#include "platform/appfolders.h"
#include "platform/openfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(std::optional<QString>)

using platform::DesktopCommands;
using platform::OpenResult;

namespace {

// A desktop that answers xdg-mime from a table and records what it runs.
struct FakeDesktop {
    std::optional<QString> filetype;
    std::optional<QString> defaultProgram;
    bool startSucceeds = true;
    std::vector<std::pair<QString, QStringList>> calls;

    DesktopCommands commands()
    {
        DesktopCommands c;
        c.query = [this](const QString& program, const QStringList& arguments) {
            calls.emplace_back(program, arguments);
            return arguments.value(1) == QLatin1String("filetype") ? filetype : defaultProgram;
        };
        c.start = [this](const QString& program, const QStringList& arguments) {
            calls.emplace_back(program, arguments);
            return startSucceeds;
        };
        return c;
    }
};

}  // namespace

class TestPlatform : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    void applicationFolders_data()
    {
        QTest::addColumn<QString>("program");  // below the temporary folder
        QTest::addColumn<QString>("made");     // folders made beforehand
        QTest::addColumn<bool>("installed");
        QTest::newRow("build tree") << "build/bin"
                                    << "build/bin/Samples" << false;
        QTest::newRow("a bin without the package's data") << "usr/bin"
                                                          << "usr/share/other" << false;
        QTest::newRow("installed") << "usr/bin"
                                   << "usr/share/quorvane/Samples" << true;
    }

    void applicationFolders()
    {
        QFETCH(QString, program);
        QFETCH(QString, made);
        QFETCH(bool, installed);
        QTemporaryDir root;
        const QString programFolder = root.path() + "/" + program;
        QVERIFY(QDir().mkpath(programFolder));
        QVERIFY(QDir().mkpath(root.path() + "/" + made));
        const platform::ApplicationFolders folders = platform::applicationFolders(programFolder);
        QCOMPARE(folders.installed, installed);
        if (installed) {
            QCOMPARE(folders.samples, root.path() + "/usr/share/quorvane/Samples");
            QCOMPARE(folders.files,
                     QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/Files"));
            QVERIFY(folders.outputs != programFolder && QFileInfo(folders.outputs).isDir());
        } else {
            QCOMPARE(folders.samples, programFolder + "/Samples");
            QCOMPARE(folders.files, programFolder + "/Files");
            QCOMPARE(folders.outputs, programFolder);
        }
    }

#ifndef Q_OS_WIN
    void openFile_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<std::optional<QString>>("filetype");
        QTest::addColumn<std::optional<QString>>("defaultProgram");
        QTest::addColumn<bool>("startSucceeds");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("started");
        using S = std::optional<QString>;
        QTest::newRow("with parameters") << true << S("text/plain; charset=us-ascii\n") << S("ed.desktop\n") << true
                                         << int(OpenResult::Opened) << true;
        QTest::newRow("no program") << true << S("application/x-msaccess\n") << S("\n") << true
                                    << int(OpenResult::NoAssociatedProgram) << false;
        QTest::newRow("missing file") << false << S("text/csv") << S("calc.desktop") << true << int(OpenResult::Failed)
                                      << false;
        QTest::newRow("no xdg-mime") << true << S() << S() << true << int(OpenResult::Failed) << false;
        QTest::newRow("type unknown") << true << S("\n") << S("x.desktop") << true << int(OpenResult::Failed) << false;
        QTest::newRow("start fails") << true << S("text/csv") << S("calc.desktop") << false << int(OpenResult::Failed)
                                     << true;
    }

    void openFile()
    {
        QFETCH(bool, exists);
        QFETCH(std::optional<QString>, filetype);
        QFETCH(std::optional<QString>, defaultProgram);
        QFETCH(bool, startSucceeds);
        QFETCH(int, result);
        QFETCH(bool, started);
        const QString path = dir_.path() + QStringLiteral("/out put.csv");
        QFile::remove(path);
        if (exists)
            QVERIFY(writeBytes(path, QByteArray()));
        FakeDesktop desktop{filetype, defaultProgram, startSucceeds, {}};
        QCOMPARE(int(platform::openWithAssociatedProgram(path, desktop.commands())), result);
        const bool didStart = !desktop.calls.empty() && desktop.calls.back().first == QLatin1String("xdg-open");
        QCOMPARE(didStart, started);
        if (didStart)
            QCOMPARE(desktop.calls.back().second, QStringList{path});
        if (desktop.calls.size() >= 2)
            QCOMPARE(desktop.calls[1].second.value(2), filetype->section(';', 0, 0).trimmed());
    }

#endif
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
