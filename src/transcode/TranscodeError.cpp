#include "transcode/TranscodeError.h"

#include <QFileInfo>

namespace tarnwick {

namespace {

QString describe(TranscodeError::Kind kind, const QString& payload) {
    using K = TranscodeError::Kind;
    switch (kind) {
    case K::fileNotFound:
        return QStringLiteral("File not found: ") + payload;
    case K::cannotReadAsset:
        return QStringLiteral("Cannot read asset: ") + payload;
    case K::noVideoTrack:
        return QStringLiteral("No video track: ") + payload;
    case K::cannotCreateWriter:
        return QStringLiteral("Cannot create writer: ") + payload;
    case K::encodingFailed:
        return QStringLiteral("Encoding failed: ") + payload;
    case K::ffmpegFailed:
        return QStringLiteral("ffmpeg error: ") + payload;
    case K::protectedSource:
        return QStringLiteral("Skipped \u2014 in a protected folder: ") + payload;
    case K::ffmpegNotFound:
        // Debian ships it as a package of its own.
        return QStringLiteral("ffmpeg not found. Install it with: sudo apt install ffmpeg");
    case K::cancelled:
        return QStringLiteral("Transcoding was cancelled");
    case K::sourceChanged:
        return QStringLiteral("changed while transcoding \u2014 kept");
    case K::nowInUse:
        // The same words as the other clean-up actions.
        return QStringLiteral("now in use \u2014 skipped");
    }
    return payload;
}

} // namespace

TranscodeError::TranscodeError(Kind kind, QString payload)
    : Error(describe(kind, payload)), m_kind(kind), m_payload(std::move(payload)) {}

QString TranscodeError::lineFor(const QString& fileName) const {
    QString reason = m_description;
    const bool namesTheFile =
        !m_payload.isEmpty() && (m_payload == fileName || QFileInfo(m_payload).fileName() == fileName);
    if (namesTheFile && reason.endsWith(QStringLiteral(": ") + m_payload))
        reason.chop(m_payload.size() + 2);
    return fileName + QStringLiteral(": ") + reason;
}

} // namespace tarnwick
