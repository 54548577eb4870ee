#include "stores/ProtectedFolders.h"

#include "platform/JsonForm.h"
#include "platform/PathText.h"
#include "platform/StoreFolder.h"
#include "platform/TextKey.h"

#include <QDir>
#include <QJsonArray>

#include <algorithm>

namespace tarnwick {

ProtectedFolders& ProtectedFolders::shared() {
    static ProtectedFolders instance(storeFolder());
    return instance;
}

ProtectedFolders::ProtectedFolders(const QString& folder)
    : m_file(QDir(folder).filePath(QStringLiteral("protected_folders.json"))) {
    QDir().mkpath(folder);
    const auto read = m_file.readArray();
    if (!read)
        return;
    QStringList folders;
    const QJsonArray& array = *read;
    for (const QJsonValue& value : array) {
        if (!value.isString()) {
            m_file.markDamaged();
            return;
        }
        folders.append(value.toString());
    }
    m_folders = folders;
}

void ProtectedFolders::add(const QString& path) {
    const QString normalised = path::resolvingSymlinksInPath(path);
    // One folder in composed and decomposed form is one folder.
    if (std::any_of(m_folders.cbegin(), m_folders.cend(),
                    [&](const QString& f) { return text::canonicalEquals(f, normalised); }))
        return;
    m_folders.append(normalised);
    std::stable_sort(m_folders.begin(), m_folders.end(), [](const QString& a, const QString& b) {
        return text::localizedCaseInsensitiveCompare(a, b) < 0;
    });
    save();
}

void ProtectedFolders::remove(const QString& path) {
    m_folders.removeIf([&](const QString& f) { return text::canonicalEquals(f, path); });
    save();
}

void ProtectedFolders::save() {
    m_file.write(json::encode(QJsonArray::fromStringList(m_folders)));
}

} // namespace tarnwick
