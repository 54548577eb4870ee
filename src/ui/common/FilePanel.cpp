#include "ui/common/FilePanel.h"

#include "stores/SecurityScopedAccess.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QPointer>
#include <QTreeView>

namespace tarnwick {

namespace {

class SystemFilePanel : public FilePanel {
public:
    QDialog* open(QWidget* parent, const OpenPanelRequest& request, Chosen chosen) override {
        auto* dialog = new QFileDialog(parent, request.message);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        configure(*dialog, request);
        QObject::connect(dialog, &QDialog::finished, dialog,
                         [dialog, chosen = std::move(chosen)](int result) {
                             chosen(result == QDialog::Accepted ? dialog->selectedUrls() : QList<QUrl>{});
                         });
        if (parent) {
            dialog->open();
        } else {
            dialog->setWindowModality(Qt::ApplicationModal);
            dialog->show();
        }
        return dialog;
    }

private:
    static void configure(QFileDialog& dialog, const OpenPanelRequest& request) {
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
    }
};

} // namespace

FilePanel& FilePanel::system() {
    static SystemFilePanel panel;
    return panel;
}

QDialog* chooseWithAccess(FilePanel& panel, SecurityScopedAccess& grants, QWidget* parent,
                          const OpenPanelRequest& request, QObject* context,
                          std::function<void(const GrantedChoice& choice)> chosen) {
    const bool several = request.allowsMultipleSelection;
    return panel.open(parent, request,
                      [&grants, several, guard = QPointer<QObject>(context),
                       chosen = std::move(chosen)](const QList<QUrl>& urls) {
                          if (!guard || urls.isEmpty() || urls.first().isEmpty())
                              return;
                          GrantedChoice choice;
                          choice.urls = several ? urls : urls.mid(0, 1);
                          choice.refused = grants.grant(choice.urls);
                          chosen(choice);
                      });
}

} // namespace tarnwick
