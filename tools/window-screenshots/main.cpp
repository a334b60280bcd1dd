// window-screenshots SAMPLES OUTPUT: walks the window through the four steps
// with the shipped sample drawings and saves what it shows at each, as
// OUTPUT/step1.png .. step4.png: the pictures in the README. The window's own
// dialogs are shown off screen and answered by the program.
#include "app/frmmain.h"
#include "drawings/frmbrowse.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <cstdio>
#include <deque>

namespace {

// Without a window manager there is no title bar to grab; draw a plain one
// so the caption shows.
QImage withTitleBar(QWidget& window)
{
    const QPixmap client = window.grab();
    const int bar = 26;
    QImage image(client.width() + 2, client.height() + bar + 1, QImage::Format_RGB888);
    image.fill(QColor(96, 96, 96));
    QPainter p(&image);
    p.fillRect(QRect(1, 1, client.width(), bar - 1), QColor(220, 224, 232));
    p.drawPixmap(6, 5, window.windowIcon().pixmap(16, 16));
    QFont font = window.font();
    font.setPointSize(9);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRect(28, 1, client.width() - 30, bar - 1), Qt::AlignVCenter | Qt::AlignLeft, window.windowTitle());
    p.drawPixmap(1, bar, client);
    return image;
}

bool save(QWidget& window, const QString& path)
{
    // The folder tree lists in the background; let it settle.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 300) QApplication::processEvents(QEventLoop::AllEvents, 50);
    if (withTitleBar(window).save(path))
        return true;
    std::fprintf(stderr, "window-screenshots: cannot write %s\n", qPrintable(path));
    return false;
}

bool copyFolder(const QString& from, const QString& to)
{
    if (!QDir().mkpath(to))
        return false;
    const QStringList names = QDir(from).entryList(QDir::Files);
    for (const QString& name : names) {
        QFile::remove(to + u'/' + name);
        if (!QFile::copy(from + u'/' + name, to + u'/' + name))
            return false;
    }
    return !names.isEmpty();
}

// Answers whatever dialog the window opens, from a timer: a file dialog with
// the next queued path (and its 1-based file type), the folder browser with a
// search of its folder; a message box is noted and closed.
struct DialogAnswers {
    struct Answer {
        QString path;
        int filterIndex;
    };
    std::deque<Answer> files;
    QStringList messages;
    bool browsed = false;

    void answer()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<QFileDialog*>(modal); dialog && !files.empty()) {
            const Answer& next = files.front();
            dialog->selectNameFilter(dialog->nameFilters().value(next.filterIndex - 1));
            // Typed into the name box, as a person would: selectFile() may take
            // a whole path for its folder while the dialog still lists it.
            if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                name->setText(next.path);
            static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept checks the name as a click would
            if (!dialog->isVisible())
                files.pop_front();
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages << box->text();
            box->done(QMessageBox::Ok);
        } else if (auto* browser = qobject_cast<frmBrowse*>(modal)) {
            browsed = true;
            browser->cmdPathControl[0]->click();  // OK: a search of the folder it shows
        }
    }
};

}  // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: window-screenshots SAMPLES_FOLDER OUTPUT_FOLDER\n");
        return 2;
    }
    const QString samples = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[2]);
    // A plain application folder, so the pictures show short paths and no
    // folder of the machine that made them.
    const QString folder = QDir::tempPath() + QStringLiteral("/Quorvane");
    QDir(folder).removeRecursively();
    if (!copyFolder(samples, folder + QStringLiteral("/Samples")) || !QDir().mkpath(output)) {
        std::fprintf(stderr, "window-screenshots: no drawings in %s, or %s cannot be made\n", argv[1], argv[2]);
        return 1;
    }

    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    DialogAnswers answers;
    QTimer answering;
    QObject::connect(&answering, &QTimer::timeout, [&answers] { answers.answer(); });
    answering.start(50);
    bool ok = true;
    {
        frmMain window(nullptr, folder);
        window.show();
        ok = ok && save(window, output + QStringLiteral("/step1.png"));

        // Step 2: the sample sheet's title block, read from paper space.
        const QString sheet = window.folders.samplesFolder() + QStringLiteral("/Ground floor.dwg");
        answers.files.push_back({sheet, 1});
        window.cmdOpenTemplateFile->click();
        window.optSpace[1]->click();
        window.cmdImport->click();
        window.ScrollStepIntoView(2);
        ok = ok && save(window, output + QStringLiteral("/step2.png"));

        // Step 3: the Samples folder searched through the folder browser.
        window.folders.ImportDrawingsFolder = QDir::toNativeSeparators(window.folders.samplesFolder());
        window.cmdOpenDirectory->click();
        ok = ok && answers.browsed;
        window.ScrollStepIntoView(3);
        ok = ok && save(window, output + QStringLiteral("/step3.png"));

        // Step 4: a run to a CSV file, left unopened.
        window.chkOpenDataBase->setChecked(false);
        answers.files.push_back({folder + QStringLiteral("/Register.csv"), 3});
        QEventLoop run;
        QObject::connect(&window, &frmMain::runFinished, &run, &QEventLoop::quit);
        window.cmdProcess->click();
        if (window.isRunning())
            run.exec();
        ok = ok && save(window, output + QStringLiteral("/step4.png"));
        window.hide();
    }
    QDir(folder).removeRecursively();
    for (const QString& message : answers.messages)
        std::fprintf(stderr, "window-screenshots: the window said: %s\n", qPrintable(message));
    return ok ? 0 : 1;
}
