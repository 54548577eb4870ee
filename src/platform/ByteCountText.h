#pragma once

#include <QString>

namespace tarnwick {

// Byte count in the desktop's file style: decimal units, "Zero KB", adaptive digits ("1.2 MB", "12.3 GB").
QString formatFileByteCount(qint64 bytes);

} // namespace tarnwick
