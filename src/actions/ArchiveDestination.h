#pragma once

#include <QString>

#include <optional>

namespace tarnwick {

// Where moving to a folder puts a file: the chosen folder plus the file's whole former path, and
// the numbered names tried when that name is taken.
class ArchiveDestination {
public:
    // How a taken name is numbered.
    enum class Numbering {
        binFile,       // stem of the staged file's name, "_n", its path's extension lower-cased
        listFile,      // stem of the destination's name, "_n", its extension as it is
        listContainer, // stem of the destination's name, "_n", ".RDC"
    };

    // folder + source without its leading "/". The source is cleaned lexically first ("." and ".."
    // resolved) and the result must lie inside folder: nothing otherwise, so a path like
    // "/a/../../../x/clip.mov" can never land outside the chosen folder.
    static std::optional<QString> destinationFor(const QString& source, const QString& folder);

    // The n-th candidate (n from 1) beside `destination`; stagedPath is the staged file's path,
    // read only by binFile.
    static QString candidate(const QString& destination, int n, Numbering numbering,
                             const QString& stagedPath);

    // The text after "name: " when a source would leave the destination folder.
    static QString outsideFolderText();

    // "clip.MOV" → {"clip", "MOV"}; no extension for "README", ".hidden" or "name.".
    static std::pair<QString, QString> splitExtension(const QString& name);
};

} // namespace tarnwick
