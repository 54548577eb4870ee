#pragma once

#include "readers/ProjectParser.h"

#include <QString>

namespace tarnwick::testing {

// A plain, slow reading of a project's XML to check the fast reader against: the whole text as a
// QString, split into a list of lines, one QRegularExpression per value, each stage its own pass.
// It logs and reports progress like the reader, so both can be compared call for call.
ProjectParser::ParseResult referenceParseXml(const QString& xml, const QString& filePath,
                                             const ProjectParser::Progress& progress = {});

} // namespace tarnwick::testing
