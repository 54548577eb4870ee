#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// Media made at test time by the system's ffmpeg (never checked in). Each file is made once per
// test executable and reused; an empty path means ffmpeg is missing or could not make it.
namespace tarnwick::testmedia {

inline const QString systemFFmpeg = QStringLiteral("/usr/bin/ffmpeg");

inline bool haveFFmpeg() {
    return QFileInfo(systemFFmpeg).isExecutable();
}

inline QTemporaryDir& folder() {
    static QTemporaryDir dir;
    return dir;
}

inline bool runFFmpeg(const QStringList& arguments) {
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(systemFFmpeg, QStringList{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                                            QStringLiteral("error"), QStringLiteral("-y")} +
                                    arguments);
    return process.waitForFinished(900'000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// Made once: `name` in the shared folder from `arguments` (the output path is appended).
inline QString made(const QString& name, const QStringList& arguments) {
    static QHash<QString, QString> done;
    if (auto it = done.constFind(name); it != done.cend())
        return *it;
    QString path;
    if (haveFFmpeg() && folder().isValid()) {
        const QString out = folder().filePath(name);
        if (runFFmpeg(arguments + QStringList{out}))
            path = out;
    }
    done.insert(name, path);
    return path;
}

inline QStringList testsrc(const QString& size, double seconds) {
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("testsrc2=size=%1:rate=25:duration=%2").arg(size).arg(seconds)};
}

inline QStringList sine(double seconds, int rate = 48000) {
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("sine=frequency=440:sample_rate=%1:duration=%2").arg(rate).arg(seconds)};
}

// 5 s of 320 × 180 H.264 (GOP 12) with AAC sound.
inline QString h264() {
    return made(QStringLiteral("clip h264.mp4"), testsrc(QStringLiteral("320x180"), 5) + sine(5) +
                                                     QStringList{"-c:v", "libx264", "-g", "12", "-pix_fmt",
                                                                 "yuv420p", "-c:a", "aac", "-shortest"});
}

inline QString prores() {
    return made(QStringLiteral("clip prores.mov"),
                testsrc(QStringLiteral("320x180"), 3) + QStringList{"-c:v", "prores_ks", "-profile:v", "0"});
}

inline QString mxf() {
    return made(QStringLiteral("clip.mxf"),
                testsrc(QStringLiteral("320x180"), 3) +
                    QStringList{"-c:v", "mpeg2video", "-pix_fmt", "yuv422p", "-b:v", "4M"});
}

// A camera file as the demo library holds one: MPEG-2 4:2:2 with PCM sound in MXF, under a
// Japanese name (the player's backend cannot open such a path by its name).
inline QString cameraMxf() {
    return made(
        QStringLiteral("東京 camera.mxf"),
        testsrc(QStringLiteral("320x180"), 3) + sine(3) +
            QStringList{"-c:v", "mpeg2video", "-pix_fmt", "yuv422p", "-b:v", "4M", "-c:a", "pcm_s16le"});
}

// 320 × 180 stored with a red square at the top left, shown turned a quarter (180 × 320).
inline QString rotated() {
    const QString plain =
        made(QStringLiteral("clip unturned.mp4"),
             {"-f", "lavfi", "-i",
              "color=c=black:size=320x180:rate=25:duration=2,drawbox=x=0:y=0:w=60:h=60:color=red:t=fill",
              "-c:v", "libx264", "-pix_fmt", "yuv420p"});
    if (plain.isEmpty())
        return {};
    return made(QStringLiteral("clip rotated.mp4"),
                {"-i", plain, "-c", "copy", "-metadata:s:v:0", "rotate=90"});
}

// Every frame's luma is 16 + 2 × its index (near lossless, GOP 12 with B-frames, 25 fps, 4 s): a frame tells
// its own time.
inline QString counting() {
    return made(QStringLiteral("clip counting.mp4"),
                {"-f", "lavfi", "-i", "color=c=black:size=64x64:rate=25:duration=4", "-vf",
                 "format=yuv444p,geq=lum='16+2*N':cb=128:cr=128", "-c:v", "libx264", "-qp", "1", "-g", "12",
                 "-x264-params", "b-adapt=0:bframes=3", "-pix_fmt", "yuv444p"});
}

// counting() as a transport stream with a key frame every `gop` frames (1000: its first only, as
// screen recorders and some cameras write them), its clock starting at 2.87 s (the muxer's own 1.4 s
// and an offset of 1.47 s). `m2ts`: 192-byte packets.
inline QString countingTransportStream(int gop, bool m2ts = false) {
    QStringList arguments = {"-f",
                             "lavfi",
                             "-i",
                             "color=c=black:size=64x64:rate=25:duration=4",
                             "-vf",
                             "format=yuv444p,geq=lum='16+2*N':cb=128:cr=128",
                             "-c:v",
                             "libx264",
                             "-qp",
                             "1",
                             "-g",
                             QString::number(gop),
                             "-keyint_min",
                             QString::number(gop),
                             "-sc_threshold",
                             "0",
                             "-x264-params",
                             "b-adapt=0:bframes=3",
                             "-pix_fmt",
                             "yuv444p",
                             "-f",
                             "mpegts",
                             "-output_ts_offset",
                             "1.47"};
    if (m2ts)
        arguments << "-mpegts_m2ts_mode"
                  << "1";
    return made(QStringLiteral("clip gop %1.%2").arg(gop).arg(m2ts ? "m2ts" : "mts"), arguments);
}

inline QString wav() {
    return made(QStringLiteral("tone.wav"), sine(3) + QStringList{"-ac", "2", "-c:a", "pcm_s16le"});
}

// Sound with cover art: a video stream that is only an attached picture.
inline QString audioWithCover() {
    return made(QStringLiteral("song.m4a"),
                sine(2) + QStringList{"-f", "lavfi", "-i", "color=c=red:size=64x64:duration=1", "-map", "0:a",
                                      "-map", "1:v", "-frames:v", "1", "-c:a", "aac", "-c:v", "png",
                                      "-disposition:v", "attached_pic"});
}

// counting() as intra-only ProRes.
inline QString countingProRes() {
    return made(QStringLiteral("clip counting.mov"),
                {"-f", "lavfi", "-i", "color=c=black:size=64x64:rate=25:duration=4", "-vf",
                 "format=yuv444p,geq=lum='16+2*N':cb=128:cr=128", "-c:v", "prores_ks", "-profile:v", "3",
                 "-pix_fmt", "yuv422p10le"});
}

// The luma index a frame of counting() carries.
inline int countingIndex(const QImage& frame) {
    const QColor centre = frame.pixelColor(frame.width() / 2, frame.height() / 2);
    // Studio-range luma 16 + 2N comes out as grey 2N × 255 / 219.
    return qRound(qGray(centre.rgb()) * 219.0 / 255.0 / 2.0);
}

// A JPEG stored `stored` wide and high with the EXIF orientation `orientation` (6: turn right).
inline QString exifJpeg(const QString& dir, QSize stored, quint16 orientation) {
    QImage image(stored, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPEG");
    }
    // APP1 "Exif", big-endian TIFF header, one IFD entry: Orientation (0x0112), SHORT, 1.
    QByteArray tiff = QByteArray::fromHex("4d4d002a00000008"
                                          "0001"
                                          "0112"
                                          "0003"
                                          "00000001");
    tiff.append(char(orientation >> 8)).append(char(orientation & 0xff)).append(QByteArray(2, '\0'));
    tiff.append(QByteArray(4, '\0'));
    QByteArray app1 = QByteArray("Exif", 4) + QByteArray(2, '\0') + tiff;
    const quint16 length = quint16(app1.size() + 2);
    QByteArray segment = QByteArray::fromHex("ffe1");
    segment.append(char(length >> 8)).append(char(length & 0xff)).append(app1);
    jpeg.insert(2, segment);
    const QString path = QDir(dir).filePath(QStringLiteral("turned.jpg"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size())
        return {};
    return path;
}

// How many of this process's descriptors have `path` open.
inline int openDescriptors(const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    int count = 0;
    QDirIterator fds(QStringLiteral("/proc/self/fd"), QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    while (fds.hasNext())
        count += QFileInfo(fds.next()).symLinkTarget() == target ? 1 : 0;
    return count;
}

} // namespace tarnwick::testmedia
