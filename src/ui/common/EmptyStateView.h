#pragma once

#include <QWidget>

namespace tarnwick {

// An empty pane's state: a quiet symbol, a title and one line, centred.
class EmptyStateView : public QWidget {
    Q_OBJECT
public:
    EmptyStateView(const QString& symbol, const QString& title, const QString& message,
                   QWidget* parent = nullptr);

    QString title() const { return m_title; }

private:
    QString m_title;
};

} // namespace tarnwick
