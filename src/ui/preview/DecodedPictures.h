#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <qcoro/qcorotask.h>

#include <atomic>
#include <memory>
#include <optional>

class QThreadPool;

namespace tarnwick {

class VideoDecoder;

// A clip's pictures from the previews' own decoder, for a player that cannot show them. The file
// is opened and every picture decoded on the decoding pool, never on the GUI thread; the decoder
// stays open between pictures, so pictures asked for in playing order decode straight on, and closes
// on the release thread. One
// decode runs at a time: of the times asked for meanwhile, only the newest waits its turn.
class DecodedPictures : public QObject {
    Q_OBJECT
public:
    DecodedPictures(QString path, QThreadPool& pool, QObject* parent = nullptr);
    ~DecodedPictures() override;

    // Opens the file; opened() follows.
    void open();
    bool isOpen() const { return m_open; }
    // Known once opened: the decoded pixel format ("yuv422p10le"), the clip's length, and where the
    // video's clock starts (a transport stream's well after 0); times count from that start.
    const QString& pixelFormat() const { return m_pixelFormat; }
    qint64 durationMs() const { return m_durationMs; }
    qint64 startMs() const { return m_startMs; }
    // The pixels the pictures are fitted into (never enlarged past the clip's own size).
    void setBox(QSize box) { m_box = box; }
    // The picture at `ms`; picture() follows.
    void showAt(qint64 ms);

Q_SIGNALS:
    void opened(bool readable);
    void picture(const QImage& image, qint64 ms);

private:
    struct Decoded;
    QCoro::Task<> openTask();
    QCoro::Task<> decodeTask(qint64 ms);

    QString m_path;
    QThreadPool& m_pool;
    QSize m_box{1280, 720};
    std::shared_ptr<VideoDecoder> m_decoder; // here between decodes, on the pool during one
    // Set when this goes: a picture still decoding stops.
    std::shared_ptr<std::atomic_bool> m_gone = std::make_shared<std::atomic_bool>(false);
    bool m_opening = false;
    bool m_open = false;
    bool m_busy = false;
    std::optional<qint64> m_pending;
    QString m_pixelFormat;
    qint64 m_durationMs = 0;
    qint64 m_startMs = 0;
};

} // namespace tarnwick
