#include "ui/FilePanel.h"

#include <QFileDialog>

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
        } else {
            dialog.setFileMode(request.allowsMultipleSelection ? QFileDialog::ExistingFiles
                                                               : QFileDialog::ExistingFile);
        }
        if (!request.nameFilters.isEmpty())
            dialog.setNameFilters(request.nameFilters);
        dialog.setLabelText(QFileDialog::Accept, QObject::tr("Open"));
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
