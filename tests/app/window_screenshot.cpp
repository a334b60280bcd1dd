// Renders the main window as it opens, tall enough to show the whole page,
// into a PNG: the picture in the README. Dialogs are never shown.
#include "app/frmmain.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_screenshot OUTPUT.png\n");
        return 2;
    }
    QTemporaryDir folder;
    ScriptedUiServices ui;
    frmMain window(&ui, folder.path());
    // The page is 11430 twips high and starts 60 below the client area's top.
    window.resize(window.width(), window.twipsToPixelsY(60 + 11430 + 60));
    window.show();
    QApplication::processEvents();
    // Without a window manager there is no title bar to grab; draw a plain
    // one so the caption shows.
    const QPixmap client = window.grab();
    const int bar = 26;
    QImage image(client.width() + 2, client.height() + bar + 1, QImage::Format_RGB888);
    image.fill(QColor(96, 96, 96));
    {
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
    }
    if (!image.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
