#pragma once

#include <QWidget>

namespace tarnwick {

// The window's empty state: a quiet symbol, a title and one line, centred. Stands in for views
// that have not been built yet and for empty panes.
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
