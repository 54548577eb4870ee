#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <optional>

class QLabel;
class QProgressBar;
class QTimer;

namespace tarnwick {

class ProjectManagerFace;
struct AnalysisProgress;

// Covers the window while the manager imports: progress, the current step, the file count and
// a light-hearted message that changes every 8 seconds (advance() is the timer's tick).
class AnalyzingOverlay : public QWidget {
    Q_OBJECT
public:
    static constexpr int rotationMs = 8000;
    // The width of the step and file-count lines (the card's inner width at its narrowest).
    static constexpr int progressTextWidth = 336;

    explicit AnalyzingOverlay(ProjectManagerFace& manager, QWidget* parent = nullptr);

    static const QStringList& funCallouts();
    // "3 / 12 files"; nothing while the total is 0.
    static std::optional<QString> fileCountText(qint64 index, qint64 total);

    // The bar and the file count, both of the step the task line names.
    struct Figures {
        std::optional<int> permille; // none: the step cannot say how far it is (a busy bar)
        std::optional<QString> fileCount;
        friend bool operator==(const Figures&, const Figures&) = default;
    };
    static Figures figures(const AnalysisProgress& progress);

    int calloutIndex() const { return m_calloutIndex; }
    void advance();

    QString titleText() const;
    QString taskText() const;
    QString calloutText() const;
    std::optional<QString> shownFileCount() const;
    // None while the bar is busy.
    std::optional<int> progressPermille() const;
    QTimer* timer() const { return m_timer; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    QPointer<ProjectManagerFace> m_manager;
    int m_calloutIndex = 0;
    QWidget* m_card = nullptr;
    QLabel* m_title = nullptr;
    QProgressBar* m_bar = nullptr;
    QLabel* m_task = nullptr;
    QLabel* m_count = nullptr;
    QLabel* m_callout = nullptr;
    QTimer* m_timer = nullptr;
};

} // namespace tarnwick
