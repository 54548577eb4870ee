#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The numbers ffmpeg and ffprobe print (C locale), read one way for the previews and the transcode.
namespace tarnwick::ffmpegNumbers {

// Optional sign and ASCII digits only, within 64 bits.
std::optional<qint64> integer(const QString& text);
// A finite number in the C locale that uses the whole text: no blanks, no unit, an optional "+".
std::optional<double> decimal(const QString& text);
// Seconds of media: a finite number that is not negative. Anything else ("inf", "nan", "-5") is
// refused, and the caller decides what an unknown duration means for it.
std::optional<double> duration(double seconds);
std::optional<double> duration(const QString& text);
// Hours, minutes and seconds as ffmpeg's banner writes them ("01:02:03.50").
std::optional<double> durationFromClock(const QString& hours, const QString& minutes, const QString& seconds);

} // namespace tarnwick::ffmpegNumbers
