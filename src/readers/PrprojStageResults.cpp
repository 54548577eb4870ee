#include "readers/PrprojStageResults.h"

#include "platform/TextKey.h"

namespace tarnwick::prproj {

QString MediaTables::accept(const QString& path) {
    const QString key = text::nfc(path);
    const auto it = spellingByKey.constFind(key);
    if (it != spellingByKey.constEnd())
        return *it;
    spellingByKey.insert(key, path);
    allPaths.insert(path);
    return path;
}

QString MediaTables::titleKey(const QString& title) { return text::nfc(text::lowered(title)); }

} // namespace tarnwick::prproj
