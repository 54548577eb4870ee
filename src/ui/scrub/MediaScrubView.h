#pragma once

#include "ui/scrub/ScrubController.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QStackedWidget;

namespace tarnwick {

class FilmstripStrip;
class MediaPlayerView;
class WaveformStrip;

// The scrub sheet: one audio or video file in a large player, with a waveform or a filmstrip under
// it that follows the playhead and seeks on a click. Loading starts when the sheet is first shown;
// the controller is torn down when it is hidden or closed.
class MediaScrubView : public QWidget {
    Q_OBJECT
public:
    MediaScrubView(QString filePath, QString fileName, bool isAudio, ScrubSheetServices services,
                   QWidget* parent = nullptr);
    ~MediaScrubView() override;

    ScrubController* controller() const { return m_ctrl; }
    QString kindText() const;
    QString hintText() const;
    QPushButton* doneButton() const { return m_done; }
    MediaPlayerView* playerView() const { return m_playerView; }
    FilmstripStrip* filmstrip() const { return m_filmstrip; }
    WaveformStrip* waveform() const { return m_waveform; }
    bool showsStripSpinner() const;
    bool showsPlayerSpinner() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refreshPlayer();
    void refreshStrip();

    QString m_filePath;
    QString m_fileName;
    bool m_isAudio;
    bool m_started = false;
    ScrubController* m_ctrl;
    QPushButton* m_done;
    QStackedWidget* m_playerArea;
    MediaPlayerView* m_playerView;
    QStackedWidget* m_stripArea;
    FilmstripStrip* m_filmstrip = nullptr;
    WaveformStrip* m_waveform = nullptr;
};

// The application's scrub sheet for a file (the shared generator's loaders).
QWidget* createMediaScrubView(const QString& filePath, const QString& fileName, bool isAudio);

} // namespace tarnwick
