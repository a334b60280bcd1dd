#pragma once
// Helpers both template test programs use.

#include "templates/templatefile.h"

#include <QByteArray>
#include <QFile>
#include <QString>

inline templates::TemplateItem row(bool checked, const QString& field, const QString& tag, const QString& value,
                                   const QString& space = QStringLiteral("M"))
{
    return templates::TemplateItem{checked, field, tag, value, space};
}

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

inline bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}
