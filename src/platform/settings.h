#pragma once
// The per-user settings store, read only: the program never writes to it.

#include <QString>

namespace platform {

// The stored text under application name, section and key, or defaultValue
// when the store holds none. Each application name is one store (on Windows
// the registry key HKCU\Software\<application>, elsewhere <application>.conf
// in the user's configuration folder) and the section is a group in it.
QString readSetting(const QString& application, const QString& section, const QString& key,
                    const QString& defaultValue);

}  // namespace platform
