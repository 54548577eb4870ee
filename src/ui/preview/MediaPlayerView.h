#pragma once

#include <QElapsedTimer>
#include <QMediaPlayer>
#include <QPointer>
#include <QVideoFrame>
#include <QWidget>

class QLabel;
class QSlider;
class QSpacerItem;
class QThreadPool;
class QTimer;
class QToolButton;
class QVideoSink;
class QVideoWidget;

namespace tarnwick {

// "m:ss", or "h:mm:ss" from an hour on, for the controls bar.
QString playerTimeText(qint64 milliseconds);

class DecodedPictures;
struct PlayerClock;

// The picture of a player, fitted and letterboxed, above a small bar: play/pause, position,
// time, full screen. The player belongs to the caller (the scrub sheet's controller). A player
// without a sound output (the system has none) plays its picture silently and the bar says
// "No audio output"; with neither sound nor picture there is nothing to play. Given the file it
// plays (setPictureSource), the view shows that file's pictures from the previews' own decoder
// where the player gets them wrong (Qt 6.4 shows only 8-bit 4:2:0 truly everywhere: 10-bit 4:2:2
// comes out in false colours, 8-bit 4:2:2 brings down its drawing without a GPU), with the player's
// sound and time; and where the
// player cannot read the file at all, the decoder plays it silently on a clock of its own. Only a
// file neither can read says so in place of the picture. Full screen, a click or Space plays and
// pauses; returning to the application, or pressing the full-screen button again, brings the
// full-screen picture back to the front. The player draws into the view's own sink, whose every
// frame goes to the picture shown, in the card and full screen alike.
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
    // The file the player plays (its source set just before), decoded on `pool` where needed.
    void setPictureSource(const QString& path, QThreadPool& pool);
    // Whether the player shows the pictures of this pixel format ("yuv420p") itself, truly.
    static bool playerShowsPixelFormat(const QString& name);
    // The pictures come from the previews' decoder; without the player when it cannot read the file.
    bool showsDecodedPictures() const { return m_pictures == Pictures::decoded; }
    bool playsWithoutPlayer() const { return m_standalone; }
    DecodedPictures* decodedPictures() const { return m_decoded; }
    // Where the player draws.
    QVideoSink* playerSink() const { return m_sink; }
    // Where the clip is and how long it is, in milliseconds from the clip's start, by the player or
    // the decoder's clock.
    qint64 position() const;
    qint64 duration() const;
    void seek(qint64 ms);

    QVideoWidget* videoWidget() const { return m_video; }
    QToolButton* playButton() const { return m_play; }
    QSlider* positionSlider() const { return m_position; }
    QLabel* timeLabel() const { return m_time; }
    QToolButton* fullScreenButton() const { return m_fullScreen; }
    // The full-screen window while the picture is shown full screen, else null.
    QWidget* fullScreenWindow() const { return m_fullScreenWindow.data(); }
    bool isFullScreen() const { return !m_fullScreenWindow.isNull(); }
    QLabel* noAudioNote() const { return m_noAudio; }
    // The player could not play its file: the note shown in place of the picture, and why.
    bool failed() const { return m_failed; }
    QLabel* failureNote() const { return m_failure; }

    bool eventFilter(QObject* watched, QEvent* event) override;

Q_SIGNALS:
    // The player could not read the file: the decoder plays it from now on.
    void playingWithoutPlayer();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    enum class Pictures { player, waiting, decoded };

    void attach();
    void playerFrame(const QVideoFrame& frame);
    void showFrame(const QVideoFrame& frame);
    void pictureSourceOpened(bool readable);
    void startStandalone();
    void resetPictures();
    void askPicture();
    QSize pictureBox() const;
    PlayerClock playerClock() const;
    bool playing() const;
    void setClockRunning(bool running);
    void tick();
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
    QVideoSink* m_sink;
    Pictures m_pictures = Pictures::player;
    QVideoFrame m_heldFrame; // the player's, while the route of its pictures is being decided
    DecodedPictures* m_decoded = nullptr;
    bool m_playerBroken = false; // the player cannot read the file
    bool m_standalone = false;   // so the decoder plays it, on the clock below
    bool m_playRequested = false;
    QElapsedTimer m_clock;
    qint64 m_clockBase = 0;
    bool m_clockRunning = false;
    QTimer* m_pictureTimer; // asks for the decoder's pictures while playing
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
