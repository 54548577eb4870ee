#pragma once

#include "readers/ResolveCSV.h"

#include <QByteArrayView>

namespace tarnwick::testing {

// A plain reading of a DaVinci Resolve CSV to check the streaming reader against: the whole file
// decoded into one QString, split into a list of records of every cell, then the rows picked out.
// Throws ResolveCSVError like the reader.
ResolveCSVParse referenceParseResolveCSV(QByteArrayView data);

} // namespace tarnwick::testing
