#include "platform/settings.h"

#include <QSettings>

namespace platform {

QString readSetting(const QString& application, const QString& section, const QString& key, const QString& defaultValue)
{
    // QSettings only writes back what was changed, so reading leaves the store untouched.
    const QSettings store(QSettings::NativeFormat, QSettings::UserScope, application);
    const QVariant value = store.value(section + QLatin1Char('/') + key);
    if (!value.isValid())
        return defaultValue;
    return value.toString();
}

}  // namespace platform
