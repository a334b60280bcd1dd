#include "app/frmmain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(frmMain::applicationTitle());
    QApplication::setDesktopFileName(QStringLiteral("quorvane"));
    frmMain window;
    window.show();
    // "quorvane FILE": a template, file list or sample drawing to start with.
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1)
        window.OpenGivenFile(arguments.at(1));
    return QApplication::exec();
}
