#include "ui/common/Sheet.h"

#include <QVBoxLayout>

namespace tarnwick {

Sheet::Sheet(QWidget* window, QWidget* content) : QDialog(window, Qt::Sheet), m_content(content) {
    setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    content->setParent(this);
    layout->addWidget(content);
}

Sheet* Sheet::present(QWidget* window, QWidget* content) {
    auto* sheet = new Sheet(window, content);
    sheet->open();
    return sheet;
}

void Sheet::done(int result) {
    QDialog::done(result);
    if (!m_dismissed) {
        m_dismissed = true;
        Q_EMIT dismissed();
    }
}

} // namespace tarnwick
