#pragma once

#include <QString>
#include <QStringList>

namespace tarnwick {

// A path as lower-cased components for matching: "\" read as "/", no empty components.
QStringList pathComponentsHelper(const QString& path);

} // namespace tarnwick
