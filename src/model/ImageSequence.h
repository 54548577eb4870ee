#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace tarnwick {

// A numbered sequence of stills that a project uses as one piece of media: every file in `folder`
// named `prefix`, a frame number, `suffix` (DSC_0001.JPG, DSC_0002.JPG, ...), the number within
// the stored range when the project stores one, or from the first frame on when it stores only that.
struct ImageSequence {
    QString folder; // "/" as separator, none at the end
    QString prefix;
    QString suffix;
    int digits = 0; // width of the frame numbers; 0: any
    // A last frame only with a first one; a first frame alone: that one and every later number.
    std::optional<qint64> firstFrame;
    std::optional<qint64> lastFrame;
    // The path the project gives the media by (its first frame), when it names a frame.
    QString firstFramePath;

    bool operator==(const ImageSequence&) const = default;

    bool hasRange() const { return firstFrame.has_value() && lastFrame.has_value(); }

    // The frame number `fileName` carries when it is a frame of the sequence: the prefix and suffix
    // compared exactly, as given; digits of the width (or more, without a leading zero); within the
    // range (or from the first frame on) when there is one.
    std::optional<qint64> frameNumber(QStringView fileName) const;

    // The sequence as one name: folder/DSC_[0001-0026].JPG, or folder/DSC_[####].JPG without a range.
    QString displayPath() const;

    // The sequence whose first frame is `path`: the last run of digits in the name before its
    // extension is the frame number; the range is the "[first-last]" that `title` holds in place of
    // the number (the frame name otherwise), when it holds the first frame; else `frameCount` frames
    // from the first on; else every number from the first on. None for a name without digits.
    static std::optional<ImageSequence> fromFirstFrame(const QString& path, QStringView title,
                                                       std::optional<qint64> frameCount = std::nullopt);
};

} // namespace tarnwick
