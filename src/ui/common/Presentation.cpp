#include "ui/common/Presentation.h"

#include "model/EnumText.h"

#include <algorithm>
#include <array>

namespace tarnwick {

namespace {

using P = Presentation;
using C = Command;

// What the window knows of one presentation: its name and the command that shows it, if one does.
// Its view, for a sheet, is made by the window's factory registered under the same key.
struct Descriptor {
    EnumText<Presentation> name;
    std::optional<Command> shownBy;
};

constexpr Descriptor named(Presentation which, QStringView name) {
    return {{which, name}, std::nullopt};
}

constexpr Descriptor sheet(Presentation which, QStringView name, Command shownBy) {
    return {{which, name}, shownBy};
}

// In the enumeration's order: the alert's title or the sheet's view.
constexpr auto descriptors = std::to_array<Descriptor>({
    named(P::busyAlert, u"busy"),
    named(P::deleteFiles, u"Delete Files"),
    named(P::trashFailure, u"TrashFailureSheet"),
    named(P::permanentDelete, u"PermanentDeleteConfirmSheet"),
    named(P::deletionResult, u"DeletionResultView"),
    named(P::moveResult, u"OperationResultView"),
    named(P::binMoveFolder, u"folderImporter"),
    sheet(P::auditLog, u"AuditLogView", C::viewAuditLog),
    named(P::offlineMedia, u"Offline Media Detected"),
    named(P::missingAEP, u"Missing After Effects Projects"),
    named(P::proVideoFormats, u"Preview These Natively?"),
    named(P::daVinciImportResult, u"DaVinci CSV Import"),
    named(P::daVinciImportConfirm, u"Import DaVinci CSV as Unused?"),
    named(P::csvExported, u"Unused Files Exported"),
    named(P::csvExportFailed, u"CSV Export Failed"),
    named(P::noMailProgram, u"No Mail Program"),
    named(P::noFileManager, u"No File Manager"),
    named(P::grantAccess, u"Grant Access to Your Media"),
    named(P::grantAccessFailure, u"Still Can’t Read That Drive"),
    named(P::binMoveConfirm, u"Move Files to Folder?"),
    sheet(P::searchOffline, u"SearchOfflineFilesSheet", C::searchOfflineFiles),
    sheet(P::stats, u"StatsView", C::showStats),
    sheet(P::protectedFolders, u"ProtectedFoldersSheet", C::manageProtectedFolders),
    sheet(P::sequenceUsage, u"SequenceUsageSheet", C::manageSequenceUsage),
    named(P::transcodeConfirmation, u"TranscodeConfirmationSheet"),
    sheet(P::easyImport, u"EasyImportSheet", C::easyImport),
    named(P::deleteSafety, u"⚠️ Potentially Used Media"),
    named(P::unusedMoveFolder, u"unusedFolderImporter"),
    named(P::unusedMoveConfirm, u"Move Unused Files to Folder?"),
    named(P::reviewPrompt, u"ReviewPromptSheet"),
});

constexpr auto texts = [] {
    std::array<EnumText<Presentation>, descriptors.size()> names{};
    std::transform(descriptors.begin(), descriptors.end(), names.begin(),
                   [](const Descriptor& d) { return d.name; });
    return names;
}();
static_assert(coversInOrder(texts), "one descriptor per presentation, in order");

} // namespace

QString text(Presentation presentation) {
    return enumText(texts, presentation);
}

std::optional<Presentation> presentationShownBy(Command command) {
    const auto shown = std::find_if(descriptors.begin(), descriptors.end(),
                                    [command](const Descriptor& d) { return d.shownBy == command; });
    return shown == descriptors.end() ? std::nullopt : std::optional(shown->name.value);
}

} // namespace tarnwick
