#pragma once

#include <QSet>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace tarnwick {

struct MediaFile;

// How a clip card shows a file. These extension sets are the cards' own; the media table and the
// transcoding dialogs keep different ones.
enum class ClipKind { video, image, audio, other };

const QSet<QString>& clipVideoExtensions(); // 11
const QSet<QString>& clipImageExtensions(); // 16
const QSet<QString>& clipAudioExtensions(); // 8

ClipKind mediaKind(const MediaFile& file);

// The URL to open a path through: its saved grant's, else the plain file URL.
using PlayableURLResolver = std::function<QUrl(const QString& path)>;
QUrl grantedFileURL(const QString& path);

// The proxy when it exists, else the file (or its match) when on disk with a video extension.
std::optional<QUrl> playableVideoURL(const MediaFile& file,
                                     const PlayableURLResolver& resolve = grantedFileURL,
                                     const std::function<bool(const QString&)>& exists = {});
// The video URL when there is one, else the file (or its match) when on disk with an audio extension.
std::optional<QUrl> playableAudioURL(const MediaFile& file,
                                     const PlayableURLResolver& resolve = grantedFileURL,
                                     const std::function<bool(const QString&)>& exists = {});

} // namespace tarnwick
