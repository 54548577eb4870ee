#pragma once

#include "platform/Error.h"

namespace tarnwick {

// The errors of the transcode engine; description() is the text the user sees.
class TranscodeError : public Error {
public:
    enum class Kind {
        fileNotFound,
        cannotReadAsset,
        noVideoTrack,
        cannotCreateWriter,
        encodingFailed,
        ffmpegFailed,
        protectedSource,
        ffmpegNotFound,
        cancelled,
        sourceChanged, // another file took the source's name, or the source was written to
        nowInUse,      // a loaded project came to use it (more) after it was staged
    };

    TranscodeError(Kind kind, QString payload = {});

    Kind kind() const { return m_kind; }
    const QString& payload() const { return m_payload; }
    // The per-file error line: "name: reason", the file named once (a payload that is the file's
    // name or path is left out of the reason).
    QString lineFor(const QString& fileName) const;

    static TranscodeError fileNotFound(const QString& path) { return {Kind::fileNotFound, path}; }
    static TranscodeError cannotReadAsset(const QString& t) { return {Kind::cannotReadAsset, t}; }
    static TranscodeError noVideoTrack(const QString& name) { return {Kind::noVideoTrack, name}; }
    static TranscodeError cannotCreateWriter(const QString& t) { return {Kind::cannotCreateWriter, t}; }
    static TranscodeError encodingFailed(const QString& t) { return {Kind::encodingFailed, t}; }
    static TranscodeError ffmpegFailed(const QString& t) { return {Kind::ffmpegFailed, t}; }
    static TranscodeError protectedSource(const QString& name) { return {Kind::protectedSource, name}; }
    static TranscodeError ffmpegNotFound() { return {Kind::ffmpegNotFound}; }
    static TranscodeError cancelled() { return {Kind::cancelled}; }
    static TranscodeError sourceChanged() { return {Kind::sourceChanged}; }
    static TranscodeError nowInUse() { return {Kind::nowInUse}; }

private:
    Kind m_kind;
    QString m_payload;
};

} // namespace tarnwick
