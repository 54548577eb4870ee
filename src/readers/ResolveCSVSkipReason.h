#pragma once

#include <QHashFunctions>
#include <QString>

#include <optional>

namespace tarnwick {

enum class ResolveCSVSkipReason { emptyFileName, emptyDirectory, notMediaFile };

QString text(ResolveCSVSkipReason reason);
std::optional<ResolveCSVSkipReason> resolveCSVSkipReasonFromText(const QString& text);

inline size_t qHash(ResolveCSVSkipReason reason, size_t seed = 0) noexcept {
    return ::qHash(static_cast<int>(reason), seed);
}

// A data record that did not become a clip row, and why.
struct ResolveCSVSkippedRow {
    qint64 lineNumber = 0; // among non-blank records, header = 1
    QString rawFileName;   // trimmed "File Name" cell
    ResolveCSVSkipReason reason = ResolveCSVSkipReason::emptyFileName;

    bool operator==(const ResolveCSVSkippedRow&) const = default;
};

} // namespace tarnwick
