#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace templates {

// Text files are written in the Windows ANSI code page (1252), as the program
// always has, so that files stay readable by older copies and by Notepad.

// The text in code page 1252, or nothing when some character has no place in it.
std::optional<QByteArray> toWindows1252(const QString& text);

// Never fails: the five byte values 1252 leaves undefined become the control
// characters of the same number, as Windows itself decodes them.
QString fromWindows1252(QByteArrayView bytes);

} // namespace templates
