#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QString>

#include <optional>

namespace tarnwick::testing {

// A child that its harness kills never removes the temporary folders and files it made. Its
// temporary folder (TMPDIR) is therefore one inside the harness's own temporary folder, so the
// harness's removal takes whatever the child left.
inline QString childTemporaryFolder(const QString& harnessFolder) {
    const QString folder = harnessFolder + QStringLiteral("/child temporaries");
    QDir().mkpath(folder);
    return folder;
}

inline void keepChildTemporariesIn(QProcessEnvironment& environment, const QString& harnessFolder) {
    environment.insert(QStringLiteral("TMPDIR"), childTemporaryFolder(harnessFolder));
}

// The same for children that inherit this process's environment: TMPDIR points there while this
// lives (the children are started meanwhile), then it is what it was.
class ChildTemporariesScope {
public:
    explicit ChildTemporariesScope(const QString& harnessFolder)
        : m_previous(qEnvironmentVariableIsSet("TMPDIR") ? std::optional(qgetenv("TMPDIR")) : std::nullopt) {
        qputenv("TMPDIR", QFile::encodeName(childTemporaryFolder(harnessFolder)));
    }
    ~ChildTemporariesScope() {
        if (m_previous)
            qputenv("TMPDIR", *m_previous);
        else
            qunsetenv("TMPDIR");
    }
    ChildTemporariesScope(const ChildTemporariesScope&) = delete;
    ChildTemporariesScope& operator=(const ChildTemporariesScope&) = delete;

private:
    std::optional<QByteArray> m_previous;
};

} // namespace tarnwick::testing
