#pragma once

namespace tarnwick {
class ProjectManager;
}

// The screenshot tour's staged libraries, in a state an import could leave: the projects record
// which files they use, the files' counts follow from them, and the bin is empty.
namespace tarnwick::tourLibraries {

// Two hundred similar projects over a shared drive, and one project of camera clips with long names.
void stageLargeLibrary(ProjectManager& manager);
// A feature, a dozen spots and a long tail of small jobs.
void stageLongTailLibrary(ProjectManager& manager);

} // namespace tarnwick::tourLibraries
