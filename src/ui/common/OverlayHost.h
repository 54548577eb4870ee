#pragma once

#include <QPointer>
#include <QWidget>

namespace tarnwick {

// Lays one overlay widget over the whole of a window's content, following its size, above every
// other child. The overlay blocks clicks to what lies beneath it while shown.
class OverlayHost : public QObject {
    Q_OBJECT
public:
    explicit OverlayHost(QWidget* window);

    // Shows `overlay` (taken over; a previous overlay is deleted). nullptr hides.
    void setOverlay(QWidget* overlay);
    void clear() { setOverlay(nullptr); }
    QWidget* overlay() const { return m_overlay.data(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fit();

    QPointer<QWidget> m_window;
    QPointer<QWidget> m_overlay;
};

} // namespace tarnwick
