#pragma once

#include "platform/ChildProcess.h"
#include "platform/FFmpegLocation.h"
#include "transcode/InProcessRoute.h"
#include "transcode/TranscodeEngine.h"
#include "transcode/support/PosixFileOperations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <memory>

namespace tarnwick::testing {

inline const QString realFFmpeg = QStringLiteral("/usr/bin/ffmpeg");

inline bool haveRealFFmpeg() {
    return QFileInfo::exists(realFFmpeg) && QFileInfo::exists(ffprobeBeside(realFFmpeg));
}

// Runs the real ffmpeg (quietly, overwriting); true on exit 0.
inline bool runFFmpeg(QStringList arguments) {
    arguments.prepend(QStringLiteral("error"));
    arguments.prepend(QStringLiteral("-loglevel"));
    arguments.prepend(QStringLiteral("-y"));
    ChildProcess child;
    return child.run(realFFmpeg, arguments, {}, {}).succeeded();
}

inline QStringList lavfiVideo(const QString& size, double seconds) {
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("testsrc=size=%1:rate=25:duration=%2").arg(size).arg(seconds)};
}
inline QStringList lavfiAudio(double seconds, int rate = 48000,
                              const QString& layout = QStringLiteral("stereo")) {
    return {QStringLiteral("-f"),
            QStringLiteral("lavfi"),
            QStringLiteral("-i"),
            QStringLiteral("sine=frequency=440:sample_rate=%1:duration=%2").arg(rate).arg(seconds),
            QStringLiteral("-ac"),
            QString::number(layout == QLatin1String("mono") ? 1 : 2)};
}

// Our temporary outputs (and their mark sidecars) in the folder of `path`.
inline QStringList temporariesBeside(const QString& path) {
    return QDir(QFileInfo(path).path())
        .entryList({QStringLiteral("*_transcoding*.mov"), QStringLiteral(".*tarnwick-mark")},
                   QDir::Files | QDir::Hidden | QDir::System);
}

// Media made once per process with the real ffmpeg, shared read-only by the tests (copy before use).
class GeneratedMedia {
public:
    static GeneratedMedia& instance() {
        static GeneratedMedia media;
        return media;
    }
    // Lossless H.264 + AAC, 64x64, `seconds` long: large enough that HEVC is much smaller.
    QString h264Aac(double seconds = 1.0) {
        return make(QStringLiteral("h264aac_%1.mp4").arg(seconds), [&](const QString& out) {
            return runFFmpeg(lavfiVideo(QStringLiteral("64x64"), seconds) + lavfiAudio(seconds) +
                             QStringList{QStringLiteral("-c:v"), QStringLiteral("libx264"),
                                         QStringLiteral("-qp"), QStringLiteral("0"), QStringLiteral("-c:a"),
                                         QStringLiteral("aac"), QStringLiteral("-shortest"), out});
        });
    }
    // A real HEVC .mov as the route would write it (with or without its AAC audio).
    QString hevcOutput(bool withAudio, double seconds = 1.0) {
        return make(QStringLiteral("hevc_%1_%2.mov").arg(withAudio).arg(seconds), [&](const QString& out) {
            QStringList args = lavfiVideo(QStringLiteral("64x64"), seconds);
            if (withAudio)
                args += lavfiAudio(seconds);
            args += {QStringLiteral("-c:v"),         QStringLiteral("libx265"),
                     QStringLiteral("-x265-params"), QStringLiteral("log-level=error"),
                     QStringLiteral("-tag:v"),       QStringLiteral("hvc1")};
            if (withAudio)
                args += {QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-shortest")};
            args += out;
            return runFFmpeg(args);
        });
    }
    // MPEG-2 4:2:2 in MXF, as cameras write it, with or without PCM audio.
    QString mpeg2Mxf(bool withAudio) {
        return make(QStringLiteral("mpeg2_422_%1.mxf").arg(withAudio), [&](const QString& out) {
            QStringList args = lavfiVideo(QStringLiteral("64x64"), 1.0);
            if (withAudio)
                args += lavfiAudio(1.0);
            args += {QStringLiteral("-c:v"), QStringLiteral("mpeg2video"), QStringLiteral("-pix_fmt"),
                     QStringLiteral("yuv422p")};
            if (withAudio)
                args += {QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"), QStringLiteral("-shortest")};
            args += out;
            return runFFmpeg(args);
        });
    }
    const QString& folder() const { return m_folder; }

private:
    GeneratedMedia() : m_dir(QDir::tempPath() + QStringLiteral("/tarnwick-transcode-media-XXXXXX")) {
        m_folder = m_dir.path();
    }
    template <class F> QString make(const QString& name, F f) {
        const QString path = QDir(m_folder).filePath(name);
        if (!QFileInfo::exists(path) && !f(path))
            return {};
        return path;
    }
    QTemporaryDir m_dir;
    QString m_folder;
};

// A folder with fake ffmpeg and ffprobe scripts; the engine finds them through the override.
class FakeTools {
public:
    FakeTools() { QDir().mkpath(folder()); }
    QString folder() const { return m_dir.filePath(QStringLiteral("bin")); }
    // Written by the fake ffmpeg when it starts, to prove a child ran.
    QString startedMarker() const { return m_dir.filePath(QStringLiteral("ffmpeg-started")); }
    QString argumentsFile() const { return m_dir.filePath(QStringLiteral("ffmpeg-arguments")); }

    // `body` runs with $out set to the output path (the last argument without "file:").
    void setFFmpeg(const QString& body) {
        write(QStringLiteral("ffmpeg"),
              QStringLiteral(
                  "for last; do :; done\nout=\"${last#file:}\"\n: > '%1'\nprintf '%s\\n' \"$@\" > '%2'\n")
                      .arg(startedMarker(), argumentsFile()) +
                  body);
    }
    void setFFprobeJson(const QByteArray& json) {
        const QString jsonFile = m_dir.filePath(QStringLiteral("probe.json"));
        QFile f(jsonFile);
        f.open(QIODevice::WriteOnly);
        f.write(json);
        f.close();
        write(QStringLiteral("ffprobe"), QStringLiteral("cat '%1'\n").arg(jsonFile));
    }
    void setFFprobe(const QString& body) { write(QStringLiteral("ffprobe"), body); }
    void removeFFprobe() { QFile::remove(QDir(folder()).filePath(QStringLiteral("ffprobe"))); }
    bool ffmpegStarted() const { return QFileInfo::exists(startedMarker()); }
    QStringList ffmpegArguments() const {
        QFile f(argumentsFile());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

private:
    void write(const QString& name, const QString& body) {
        const QString path = QDir(folder()).filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(QByteArray("#!/bin/sh\n") + body.toUtf8());
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QTemporaryDir m_dir;
};

// Probe JSON for a source with H.264 video and, optionally, AAC audio.
inline QByteArray probeJson(double duration, bool audio = true, const char* videoCodec = "h264") {
    QByteArray streams = QByteArray(R"({"codec_type":"video","codec_name":")") + videoCodec +
                         R"(","width":64,"height":64,"pix_fmt":"yuv420p","bit_rate":"1000"})";
    if (audio)
        streams +=
            R"(,{"codec_type":"audio","codec_name":"aac","sample_rate":"48000","channels":2,"channel_layout":"stereo"})";
    return QByteArray(R"({"streams":[)") + streams +
           R"(],"format":{"format_name":"mov,mp4,m4a,3gp,3g2,mj2","duration":")" +
           QByteArray::number(duration) + R"("}})";
}

// An in-process route that always refuses, as one that cannot read the file would.
class RefusingInProcessRoute : public InProcessRoute {
public:
    RouteResult transcode(TranscodeEngine&, const TranscodeRequest&, const std::atomic_bool&) override {
        ++calls;
        throw TranscodeError::cannotReadAsset(QStringLiteral("refused"));
    }
    int calls = 0;
};

// An engine on fake tools (or the real ones), real POSIX file operations and a folder Trash.
class EngineHarness {
public:
    explicit EngineHarness(bool realTools = false) : m_realTools(realTools) {
        ops = std::make_shared<PosixFileOperations>(dir.filePath(QStringLiteral("Trash")));
        rebuildEngine({});
    }
    // A new engine, with `inProcess` as its in-process route (null: the real one).
    void rebuildEngine(std::shared_ptr<InProcessRoute> inProcess) {
        const bool realTools = m_realTools;
        TranscodeEngineServices services;
        services.inProcessRoute = std::move(inProcess);
        services.fileOperations = ops;
        const QString toolFolder = realTools ? QFileInfo(realFFmpeg).path() : tools.folder();
        services.ffmpegSearch = [toolFolder] {
            FFmpegSearch search;
            search.overrideFolder = toolFolder;
            return search;
        };
        services.availableCapacity = [this](const QString&) { return capacity; };
        services.sandboxed = false;
        services.proVideoFormatsInstalled = proVideoFormatsInstalled;
        engine = std::make_unique<TranscodeEngine>(std::move(services));
    }
    // Copies a generated file into the media folder under `name`.
    QString stage(const QString& generated, const QString& name) {
        const QString path = media(name);
        QFile::copy(generated, path);
        return path;
    }
    QString media(const QString& name) const { return dir.filePath(QStringLiteral("media/") + name); }
    TranscodeRequest request(const QString& path) {
        TranscodeRequest r;
        r.sourcePath = path;
        r.onProgress = [this](double f) { progress.append(f); };
        return r;
    }

    QTemporaryDir dir;
    FakeTools tools;
    std::shared_ptr<PosixFileOperations> ops;
    std::optional<qint64> capacity;
    bool proVideoFormatsInstalled = true; // the libraries read MXF (read by rebuildEngine)
    QList<double> progress;               // written on the calling thread only (transcodeNow)
    std::unique_ptr<TranscodeEngine> engine;

private:
    bool m_realTools = false;
    bool m_made = QDir().mkpath(dir.filePath(QStringLiteral("media")));
};

} // namespace tarnwick::testing
