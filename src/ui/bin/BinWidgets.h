#pragma once

#include <QColor>
#include <QFrame>
#include <QPushButton>
#include <QString>
#include <QStringList>

class QLabel;
class QScrollArea;
class QVBoxLayout;

namespace tarnwick::BinWidgets {

// A 48-pixel symbol in a colour.
QLabel* symbolLabel(const QString& symbol, const QColor& color, int size = 48, QWidget* parent = nullptr);

// A box of error lines (verbatim, caption size, red) on a red tint, scrolling inside `maxHeight`
// (0: grows with its lines until the owner caps it). Every line is kept.
struct ErrorBox {
    QFrame* frame = nullptr;
    QScrollArea* scroll = nullptr;
    QList<QLabel*> lines;
};
ErrorBox errorBox(const QStringList& errors, int maxHeight, const QString& heading = {},
                  const QColor& lineColor = QColor(), int maxLines = 0);

// A filled, tinted button: "bordered" (tint fill at low opacity, tint label) or "prominent" (tint fill,
// dark label).
QPushButton* tintedButton(const QString& title, const QColor& tint, bool prominent,
                          const QString& symbol = {}, QWidget* parent = nullptr);

// The frame every modal progress and result card shares: a dim layer over the whole window with
// a centred card that takes every click meant for the window behind.
class ModalCard : public QWidget {
    Q_OBJECT
public:
    explicit ModalCard(QWidget* parent = nullptr);
    QVBoxLayout* cardLayout() const { return m_layout; }
    QFrame* card() const { return m_card; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QFrame* m_card = nullptr;
    QVBoxLayout* m_layout = nullptr;
};

} // namespace tarnwick::BinWidgets
