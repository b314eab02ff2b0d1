#pragma once

#include "shell/Registry.h"

#include <QString>

namespace kelvar::test {

// What the settings file holds, read by a store of its own (not a cache).
inline QString StoredSetting(const QString& file, const QString& section, const QString& key) {
    cRegistry reader(file);
    reader.setSection(section);
    reader.setKey(key);
    reader.RegGet();
    return reader.Setting();
}

} // namespace kelvar::test
