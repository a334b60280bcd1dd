#pragma once

#include <QIcon>
#include <QPixmap>

// The program's icon, drawn rather than shipped as a file: a drawing sheet
// whose tags flow into a table.
QPixmap programPixmap(int size);
QIcon programIcon();
