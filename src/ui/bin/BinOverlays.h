#pragma once

#include "model/TranscodeCompleteResult.h"
#include "ui/bin/BinTexts.h"
#include "ui/bin/BinWidgets.h"

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QScrollArea;

namespace tarnwick {

class CleanupRunner;
class ProjectManagerFace;

// A progress card: symbol, title, the file in work, the bar, counter columns, the percentage and
// Cancel, showing a BinTexts::ProgressView.
class ProgressOverlay : public BinWidgets::ModalCard {
    Q_OBJECT
public:
    QLabel* currentFile() const { return m_file; }
    QProgressBar* bar() const { return m_bar; }
    QLabel* counter(qsizetype column) const { return m_counters.at(column); }
    QLabel* percent() const { return m_percent; }
    QPushButton* cancelButton() const { return m_cancel; }

protected:
    struct Column {
        QString caption;
        QColor color; // invalid: the label's own
    };
    struct Look {
        QString symbol;
        QColor tint;
        QString title;
        QList<Column> columns;
        int gapBeforeCancel = 0;
        int cancelMinimumHeight = 0;
    };
    ProgressOverlay(const Look& look, QWidget* parent);
    void showProgress(const BinTexts::ProgressView& view);

private:
    QLabel* m_file = nullptr;
    QProgressBar* m_bar = nullptr;
    QList<QLabel*> m_counters;
    QLabel* m_percent = nullptr;
    QPushButton* m_cancel = nullptr;
};

// While a move to a folder runs: the file in work, progress, files, bytes, speed and Cancel.
class MoveProgressOverlay : public ProgressOverlay {
    Q_OBJECT
public:
    // Cancel asks the runner to stop the move that goes.
    MoveProgressOverlay(ProjectManagerFace& manager, CleanupRunner& runner, QWidget* parent = nullptr);
    QLabel* files() const { return counter(0); }
    QLabel* bytes() const { return counter(1); }
    QLabel* speed() const { return counter(2); }
};

// While a transcode run goes on: the file in work, progress, files done, space saved and Cancel.
class TranscodeProgressOverlay : public ProgressOverlay {
    Q_OBJECT
public:
    // Cancel asks the runner to stop the transcode.
    TranscodeProgressOverlay(ProjectManagerFace& manager, CleanupRunner& runner, QWidget* parent = nullptr);
    QLabel* files() const { return counter(0); }
    QLabel* saved() const { return counter(1); }
};

// The outcome of a transcode run, closed by Done. Its error list scrolls inside what the window
// leaves, so Done stays on screen however many files failed.
class TranscodeCompleteOverlay : public BinWidgets::ModalCard {
    Q_OBJECT
public:
    TranscodeCompleteOverlay(const TranscodeCompleteResult& result, std::function<void()> onDismiss,
                             QWidget* parent = nullptr);
    const BinTexts::TranscodeResultLook& look() const { return m_look; }
    QLabel* icon() const { return m_icon; }
    QLabel* title() const { return m_title; }
    QList<QLabel*> columnValues() const { return m_values; }
    QList<QLabel*> columnCaptions() const { return m_captions; }
    QScrollArea* errorScroll() const { return m_errorScroll; }
    QList<QLabel*> errorLines() const { return m_errorLines; }
    QLabel* note() const { return m_note; }
    QLabel* unrecorded() const { return m_unrecorded; }
    QPushButton* doneButton() const { return m_done; }

private:
    BinTexts::TranscodeResultLook m_look;
    QLabel* m_icon = nullptr;
    QLabel* m_title = nullptr;
    QList<QLabel*> m_values;
    QList<QLabel*> m_captions;
    QScrollArea* m_errorScroll = nullptr;
    QList<QLabel*> m_errorLines;
    QLabel* m_note = nullptr;
    QLabel* m_unrecorded = nullptr;
    QPushButton* m_done = nullptr;
};

} // namespace tarnwick
