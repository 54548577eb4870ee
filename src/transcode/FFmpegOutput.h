#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace tarnwick {

// Turns ffmpeg's "-progress pipe:1" stream into fractions of the duration, chunk by chunk; only
// the unfinished last line is kept between chunks.
class FFmpegProgressReader {
public:
    FFmpegProgressReader(double duration, std::function<void(double)> onProgress);
    void feed(const char* data, qsizetype size);

    // out_time_ms (microseconds) as a fraction of `duration`, clamped to 0...0.99: ffmpeg writes
    // negative sentinels before the first frame and can run past the probed duration.
    static std::optional<double> fraction(const QString& value, double duration);

private:
    void line(const QString& text);

    double m_duration;
    std::function<void(double)> m_onProgress;
    QString m_buffer;
};

// Keeps only the last `limit` bytes of standard error.
class BoundedTail {
public:
    explicit BoundedTail(qsizetype limit = 262'144) : m_limit(limit) {}
    void feed(const char* data, qsizetype size);
    const QByteArray& data() const { return m_data; }

private:
    qsizetype m_limit;
    QByteArray m_data;
};

namespace ffmpegText {
// The last line that is not empty and not indented, else the first 200 characters.
QString errorMessage(const QString& stderrText);
// ffmpeg's standard error decoded, "Unknown error" when it is not UTF-8.
QString decodeStderr(const QByteArray& data);
// Seconds from ffprobe's JSON "duration" member, else from ffmpeg's "Duration: h:m:s.f" line;
// nothing when neither gives a duration (ffmpegNumbers::duration).
std::optional<double> durationFromText(const QString& text);
} // namespace ffmpegText

} // namespace tarnwick
