#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>

// The program's icon, drawn rather than shipped as a file: a drawing sheet
// whose tags flow into a table. The image needs no window system, so the
// build draws the desktop's icon files with it (tools/make-icons).
QImage programImage(int size);
QPixmap programPixmap(int size);
QIcon programIcon();
