#pragma once

#include <QList>
#include <QString>

#include <atomic>
#include <cstdint>

namespace tarnwick {

// The peak of each of `bucketCount` stretches of a clip's 16-bit samples (all channels, interleaved,
// counted one by one), then scaled so that the loudest is 1. Memory does not grow with the clip.
class WaveformLevels {
public:
    // `expectedSamples` = channels × (rate × duration); samples past it go to the last bucket.
    WaveformLevels(int bucketCount, double expectedSamples);

    void add(const int16_t* samples, qsizetype count);
    QList<float> normalised() const;

    double samplesPerBucket() const { return m_perBucket; }

private:
    QList<float> m_levels;
    double m_perBucket = 1;
    qint64 m_index = 0;
};

// The levels of the first audio stream of a file, decoded to signed 16-bit at the stream's own rate
// and channels; empty when there is no audio or it cannot be decoded. Stops early, returning the
// levels so far, when `cancel` becomes true.
QList<float> extractWaveformLevels(const QString& path, int bucketCount,
                                   const std::atomic_bool* cancel = nullptr);

} // namespace tarnwick
