#include "app/frmmain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(frmMain::applicationTitle());
    frmMain window;
    window.show();
    return QApplication::exec();
}
