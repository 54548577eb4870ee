#include "readers/ProjectParser.h"
#include "readers/PrprojDecompression.h"
#include "readers/PrprojUtf8.h"

#include "platform/AppLog.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

using namespace tarnwick;

// Every input is tried both as a project file (decompression, then the scanners on what inflates)
// and, when it is UTF-8, directly as project XML.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        AppLog::setSink([](const AppLog::Record&) {});
        return true;
    }();
    (void)quiet;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString path = QStringLiteral("/fuzz/Input.prproj");
    if (std::optional<QByteArray> xml = prproj::decompressProjectData(bytes))
        ProjectParser::parseXml(*xml, path, [](const QString&, double) {});
    if (prproj::isValidUtf8(std::string_view(bytes.constData(), size)))
        ProjectParser::parseXml(bytes, path);
    return 0;
}
