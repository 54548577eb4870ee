#pragma once

#include <QString>
#include <QWidget>

#include <optional>

namespace tarnwick {

// An upper-cased monospaced section title in tertiary grey, with an optional symbol before it.
class BrandSectionHeader : public QWidget {
    Q_OBJECT
public:
    BrandSectionHeader(const QString& title, std::optional<QString> systemImage, QWidget* parent = nullptr);

    QString title() const { return m_title; }
    std::optional<QString> systemImage() const { return m_systemImage; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    static QFont titleFont();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_title;
    std::optional<QString> m_systemImage;
};

} // namespace tarnwick
