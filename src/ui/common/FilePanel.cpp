#include "ui/common/FilePanel.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QTreeView>

namespace tarnwick {

namespace {

class SystemFilePanel : public FilePanel {
public:
    QList<QUrl> runOpenPanel(QWidget* parent, const OpenPanelRequest& request) override {
        QFileDialog dialog(parent, request.message);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        if (request.canChooseDirectories && !request.canChooseFiles) {
            dialog.setFileMode(QFileDialog::Directory);
            dialog.setOption(QFileDialog::ShowDirsOnly);
            if (request.allowsMultipleSelection) {
                // The desktop's folder dialog picks one folder; Qt's own one can pick several
                // once its views allow extended selection.
                dialog.setOption(QFileDialog::DontUseNativeDialog);
                for (auto* view : dialog.findChildren<QAbstractItemView*>())
                    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
            }
        } else {
            dialog.setFileMode(request.allowsMultipleSelection ? QFileDialog::ExistingFiles
                                                               : QFileDialog::ExistingFile);
        }
        if (!request.nameFilters.isEmpty())
            dialog.setNameFilters(request.nameFilters);
        if (!request.startFolder.isEmpty())
            dialog.setDirectory(request.startFolder);
        dialog.setLabelText(QFileDialog::Accept,
                            request.prompt.isEmpty() ? QObject::tr("Open") : request.prompt);
        // Qt's own dialog opens too narrow for long media names and elides the dates; widen it
        // and let the name column take the room the other columns do not need.
        dialog.resize(dialog.sizeHint().expandedTo(QSize(860, 540)));
        if (auto* list = dialog.findChild<QTreeView*>()) {
            QHeaderView* header = list->header();
            header->setStretchLastSection(false);
            for (int column = 1; column < header->count(); ++column)
                header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
            header->setSectionResizeMode(0, QHeaderView::Stretch);
        }
        if (dialog.exec() != QDialog::Accepted)
            return {};
        auto urls = dialog.selectedUrls();
        if (!request.allowsMultipleSelection && urls.size() > 1)
            urls = urls.mid(0, 1);
        return urls;
    }
};

} // namespace

FilePanel& FilePanel::system() {
    static SystemFilePanel panel;
    return panel;
}

} // namespace tarnwick
