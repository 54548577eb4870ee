#pragma once

#include "analysis/FilterSettings.h"

#include <QtGlobal>

namespace tarnwick {

// Everything the filtered media list depends on: the three list versions and the filter settings
// (ignoreFileExtension among them: it changes no row, a change of it only builds the list again).
struct FilterCacheKey {
    qint64 mediaFilesVersion = 0;
    qint64 recycleBinVersion = 0;
    qint64 projectsVersion = 0;
    FilterSettings filters;

    friend bool operator==(const FilterCacheKey&, const FilterCacheKey&) = default;
};

} // namespace tarnwick
