#pragma once

#include <QMediaPlayer>
#include <QPointer>
#include <QWidget>

class QLabel;

class QSlider;
class QSpacerItem;
class QTimer;
class QToolButton;
class QVideoWidget;

namespace tarnwick {

// "m:ss", or "h:mm:ss" from an hour on, for the controls bar.
QString playerTimeText(qint64 milliseconds);

// The picture of a player, fitted and letterboxed, above a small bar: play/pause, position,
// time, full screen. The player belongs to the caller (the scrub sheet's controller). A player
// without a sound output (the system has none) plays its picture silently and the bar says
// "No audio output"; with neither sound nor picture there is nothing to play. A file the player
// cannot read or decode says so in place of the picture. Full screen, a click or Space plays and
// pauses; returning to the application, or pressing the full-screen button again, brings the
// full-screen picture back to the front.
class MediaPlayerView : public QWidget {
    Q_OBJECT
public:
    explicit MediaPlayerView(QMediaPlayer* player, QWidget* parent = nullptr);
    ~MediaPlayerView() override;

    QMediaPlayer* player() const { return m_player; }
    // The same player again leaves the view untouched; another one replaces it.
    void setPlayer(QMediaPlayer* player);
    int playerChanges() const { return m_playerChanges; }
    // Without the picture (a sound) the view is the bar alone, centred in its height.
    void setShowsPicture(bool shows);

    QVideoWidget* videoWidget() const { return m_video; }
    QToolButton* playButton() const { return m_play; }
    QSlider* positionSlider() const { return m_position; }
    QLabel* timeLabel() const { return m_time; }
    QToolButton* fullScreenButton() const { return m_fullScreen; }
    // The full-screen window while the picture is shown full screen, else null.
    QWidget* fullScreenWindow() const { return m_fullScreenWindow.data(); }
    bool isFullScreen() const { return !m_fullScreenWindow.isNull(); }
    void setFullScreen(bool fullScreen);
    QLabel* noAudioNote() const { return m_noAudio; }
    // The player could not play its file: the note shown in place of the picture, and why.
    bool failed() const { return m_failed; }
    QLabel* failureNote() const { return m_failure; }

    bool eventFilter(QObject* watched, QEvent* event) override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void attach();
    void refreshPosition();
    void refreshPlayButton();
    void refreshNoAudioLook();
    void enterFullScreen();
    void leaveFullScreen();
    void bringFullScreenForward();
    void togglePlayback();
    void refreshFailure();
    void setFailed(bool failed);
    void refreshLayout();
    bool fullScreenEvent(QEvent* event);

    QPointer<QMediaPlayer> m_player;
    QVideoWidget* m_video;
    QToolButton* m_play;
    QSlider* m_position;
    QLabel* m_time;
    QToolButton* m_fullScreen;
    QLabel* m_noAudio;
    QLabel* m_failure;
    bool m_failed = false;
    bool m_showsPicture = true;
    // A window of its own for the full screen, with its own picture: the card's picture never
    // leaves the card, so leaving full screen cannot strand it as a window.
    QPointer<QWidget> m_fullScreenWindow;
    QVideoWidget* m_fullScreenVideo = nullptr;
    // A click plays or pauses once the double-click time has passed without a second click, which
    // leaves full screen instead.
    QTimer* m_clickTimer;
    QPointer<QWidget> m_home; // the window watched for the application's return
    QSpacerItem* m_barAbove;  // owned by the layout
    QSpacerItem* m_barBelow;
    QList<QMetaObject::Connection> m_connections;
    int m_playerChanges = 0;
    bool m_sliderHeld = false;
};

} // namespace tarnwick
