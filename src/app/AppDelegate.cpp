#include "app/AppDelegate.h"

#include "platform/AppLog.h"
#include "platform/ProVideoFormats.h"
#include "stores/SecurityScopedAccess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFontDatabase>

namespace tarnwick {

AppDelegate::AppDelegate(Environment environment) : m_environment(std::move(environment)) {}

QString AppDelegate::bundledFontFolder() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/fonts");
}

void AppDelegate::applicationWillFinishLaunching() {
    registerBundledFonts(m_environment.fontFolder);
}

void AppDelegate::applicationDidFinishLaunching() {
    registerProVideoFormats();
}

int AppDelegate::registerBundledFonts(const QString& folder) {
    if (folder.isEmpty())
        return 0;
    const QDir dir(folder);
    const QStringList names =
        dir.entryList({QStringLiteral("*.ttf")}, QDir::Files | QDir::Readable, QDir::Name);
    if (names.isEmpty())
        return 0;
    for (const auto& name : names)
        QFontDatabase::addApplicationFont(dir.filePath(name));
    AppLog::info(QStringLiteral("Registered ") + QString::number(names.size()) +
                 QStringLiteral(" bundled font file(s)"));
    return static_cast<int>(names.size());
}

void AppDelegate::registerProVideoFormats() {
    if (m_environment.grants)
        m_environment.grants->restoreGrants();
    // The media libraries carry their MXF demuxer and decoders built in; nothing to register.
    AppLog::info(QStringLiteral("Registered Professional Video Workflow format readers and decoders"));
    bool installed = true;
    if (!m_environment.sandboxed) {
        installed = m_environment.mediaLibrariesCanReadMxf ? m_environment.mediaLibrariesCanReadMxf()
                                                           : mediaLibrariesCanReadMxf();
    }
    AppLog::info(QStringLiteral("Pro Video Formats installed: ") +
                 (installed ? QStringLiteral("true") : QStringLiteral("false")));
}

} // namespace tarnwick
