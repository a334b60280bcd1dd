// The real dialogs and message boxes, answered by a timer as a person would.
#include "app/uiservices.h"
#include "app/busyinput.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// Runs answer on the modal widget once it is up.
void whenModal(std::function<void(QWidget*)> answer)
{
    QTimer::singleShot(0, [answer = std::move(answer)] {
        QWidget* modal = nullptr;
        for (int i = 0; i < 200 && !(modal = QApplication::activeModalWidget()); ++i)
            QTest::qWait(10);
        QVERIFY(modal);
        answer(modal);
    });
}

} // namespace

class TestUiServices : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void message_data()
    {
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("shown");
        QTest::newRow("information") << int(MessageIcon::Information) << int(QMessageBox::Information);
        QTest::newRow("exclamation") << int(MessageIcon::Exclamation) << int(QMessageBox::Warning);
        QTest::newRow("critical") << int(MessageIcon::Critical) << int(QMessageBox::Critical);
    }

    void message()
    {
        QFETCH(int, icon);
        QFETCH(int, shown);
        QtUiServices ui;
        QString title, text;
        int seenIcon = -1;
        QMessageBox::StandardButtons buttons;
        whenModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            title = box->windowTitle();
            text = box->text();
            seenIcon = box->icon();
            buttons = box->standardButtons();
            box->accept();
        });
        ui.message(QStringLiteral("The template file was saved successfully."), MessageIcon(icon));
        QCOMPARE(title, QStringLiteral("Quorvane"));
        QCOMPARE(text, QStringLiteral("The template file was saved successfully."));
        QCOMPARE(seenIcon, shown);
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }

    void question()
    {
        QtUiServices ui;
        for (bool yes : {true, false}) {
            whenModal([yes](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                QVERIFY(box);
                QCOMPARE(box->windowTitle(), QStringLiteral("Quorvane"));
                box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
            });
            QCOMPARE(ui.question(QStringLiteral("Replace it?")), yes);
        }
    }

    void saveDialogReportsPathAndChosenFilter()
    {
        QtUiServices ui;
        FileDialogRequest request;
        request.title = QStringLiteral("Save Output File As");
        request.folder = dir_.path();
        request.filters = {QStringLiteral("Access 97 (*.mdb)"), QStringLiteral("Access 2000 (*.mdb)"),
                           QStringLiteral("CSV (Comma delimited (*.csv)")};
        request.filterIndex = 1;
        QString title, folder, preselected;
        whenModal([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            QVERIFY(dialog);
            title = dialog->windowTitle();
            folder = dialog->directory().absolutePath();
            preselected = dialog->selectedNameFilter();
            dialog->selectNameFilter(request.filters[2]);
            dialog->selectFile(dir_.filePath(QStringLiteral("out")));
            QMetaObject::invokeMethod(dialog, "accept");
        });
        const FileDialogResult result = ui.saveFile(request);
        QCOMPARE(title, request.title);
        QCOMPARE(folder, QDir(dir_.path()).absolutePath());
        QCOMPARE(preselected, request.filters[0]);
        QVERIFY(result.accepted);
        // The name is used as typed: no extension is added.
        QCOMPARE(QFileInfo(result.path).fileName(), QStringLiteral("out"));
        QCOMPARE(result.filterIndex, 3);
    }

    void openDialogCancelled()
    {
        QtUiServices ui;
        FileDialogRequest request;
        request.title = QStringLiteral("Select Drawing");
        request.folder = dir_.path();
        request.filters = {QStringLiteral("Drawing Files (*.dwg)")};
        whenModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
        const FileDialogResult result = ui.openFile(request);
        QVERIFY(!result.accepted);
        QVERIFY(result.path.isEmpty());
    }

    void openDialogAcceptsANameThatDoesNotExist()
    {
        QtUiServices ui;
        FileDialogRequest request;
        request.title = QStringLiteral("Select Drawing");
        request.folder = dir_.path();
        request.filters = {QStringLiteral("Drawing Files (*.dwg)")};
        whenModal([this](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            QVERIFY(dialog);
            dialog->selectFile(dir_.filePath(QStringLiteral("missing.dwg")));
            QMetaObject::invokeMethod(dialog, "accept");
        });
        const FileDialogResult result = ui.openFile(request);
        QVERIFY(result.accepted);
        QCOMPARE(result.path, dir_.filePath(QStringLiteral("missing.dwg")));
        QCOMPARE(result.filterIndex, 1);
    }

    void completeSaveName_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<int>("filterIndex");
        QTest::addColumn<QString>("expected");
        // The extension rules themselves: typeExtensionAddedWhereTheNameHasNone.
        QTest::newRow("first type") << "/d/plan" << 1 << "/d/plan.xat";
        QTest::newRow("second type") << "/d/\"out\"" << 2 << "/d/out.csv";
        QTest::newRow("type without pattern") << "/d/plan" << 3 << "/d/plan";
        QTest::newRow("no such type") << "/d/plan" << 4 << "/d/plan";
        QTest::newRow("empty quotes") << "/d/\"\"" << 1 << "";
    }

    void completeSaveName()
    {
        QFETCH(QString, chosen);
        QFETCH(int, filterIndex);
        QFETCH(QString, expected);
        FileDialogRequest request;
        request.filters = {QStringLiteral("Template Files (*.xat)"), QStringLiteral("CSV (Comma delimited) (*.csv)"),
                           QStringLiteral("All")};
        QCOMPARE(::completeSaveName(chosen, request, filterIndex), expected);
    }

    void chooseGivesTheButtonClickedAndEscapeTheLast()
    {
        QtUiServices ui;
        const QStringList choices = {QStringLiteral("Go On"), QStringLiteral("Go On Without Asking Again"),
                                     QStringLiteral("Stop the Run")};
        for (int answer : {0, 1, 2, -1}) {
            whenModal([&](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                QVERIFY(box);
                QCOMPARE(box->icon(), QMessageBox::Critical);
                QCOMPARE(box->buttons().size(), 3);
                if (answer < 0)
                    QTest::keyClick(box, Qt::Key_Escape);
                else
                    box->buttons()[answer]->click();
            });
            QCOMPARE(ui.choose(QStringLiteral("There was an unknown error processing a.dwg: the drawing is damaged."),
                               MessageIcon::Critical, choices),
                     answer < 0 ? 2 : answer);
        }
    }

    void reportShowsItsTextToCopy()
    {
        QtUiServices ui;
        QString shown;
        bool readOnly = false;
        whenModal([&](QWidget* modal) {
            auto* view = modal->findChild<QPlainTextEdit*>(QStringLiteral("txtReport"));
            QVERIFY(view);
            shown = view->toPlainText();
            readOnly = view->isReadOnly();
            static_cast<QDialog*>(modal)->accept();
        });
        ui.report(QStringLiteral("3 of 3 drawings processed: 3 rows written to out.csv.\n"));
        QCOMPARE(shown, QStringLiteral("3 of 3 drawings processed: 3 rows written to out.csv.\n"));
        QVERIFY(readOnly);
    }

    void typeExtensionAddedWhereTheNameHasNone_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("saved");
        QTest::newRow("no extension") << "/d/out" << "/d/out.csv";
        QTest::newRow("an extension") << "/d/out.txt" << "/d/out.txt";
        QTest::newRow("quoted") << "/d/\"out\"" << "/d/out.csv";
        QTest::newRow("quoted with extension") << "/d/\"out.mdb\"" << "/d/out.mdb";
        QTest::newRow("dotted folder") << "/d.x/out" << "/d.x/out.csv";
    }

    void typeExtensionAddedWhereTheNameHasNone()
    {
        QFETCH(QString, typed);
        QFETCH(QString, saved);
        QCOMPARE(withTypeExtension(typed, QStringLiteral("CSV (Comma delimited) (*.csv)")), saved);
    }

    void busyInputDropsWhatWaitedMeanwhile()
    {
        QPushButton button(QStringLiteral("Check All"));
        button.show();
        int clicks = 0;
        connect(&button, &QPushButton::clicked, [&] { ++clicks; });
        const QPointF at(5, 5);
        auto post = [&](QEvent::Type type) {
            QCoreApplication::postEvent(&button, new QMouseEvent(type, at, button.mapToGlobal(at), Qt::LeftButton,
                                                                 type == QEvent::MouseButtonPress ? Qt::LeftButton
                                                                                                  : Qt::NoButton,
                                                                 Qt::NoModifier));
        };
        {
            const BusyInput busy;
            QVERIFY(QApplication::overrideCursor());
            post(QEvent::MouseButtonPress);
            post(QEvent::MouseButtonRelease);
        }
        QVERIFY(!QApplication::overrideCursor());
        QCoreApplication::processEvents();
        QCOMPARE(clicks, 0);
        post(QEvent::MouseButtonPress);
        post(QEvent::MouseButtonRelease);
        QCoreApplication::processEvents();
        QCOMPARE(clicks, 1);
    }

    void scriptedAnswersInOrderThenCancel()
    {
        ScriptedUiServices ui;
        ui.answerOpen(QStringLiteral("/a.dwg"));
        ui.cancelOpen();
        ui.answerSave(QStringLiteral("/b.csv"), 3);
        QCOMPARE(ui.openFile({}).path, QStringLiteral("/a.dwg"));
        QVERIFY(!ui.openFile({}).accepted);
        QVERIFY(!ui.openFile({}).accepted);
        const auto saved = ui.saveFile({});
        QVERIFY(saved.accepted);
        QCOMPARE(saved.filterIndex, 3);
        QCOMPARE(int(ui.openRequests.size()), 3);
        QVERIFY(!ui.question(QStringLiteral("?")));
    }
};

QTEST_MAIN(TestUiServices)
#include "tst_uiservices.moc"
