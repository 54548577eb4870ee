#include "ui/scrub/ScrubStrips.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

using namespace tarnwick;
using namespace tarnwick::stripGeometry;

TEST(ScrubStrips, SeekFractionClamps) {
    EXPECT_EQ(seekFraction(0, 200), 0);
    EXPECT_EQ(seekFraction(200, 200), 1);
    EXPECT_EQ(seekFraction(50, 200), 0.25);
    EXPECT_EQ(seekFraction(-10, 200), 0);
    EXPECT_EQ(seekFraction(300, 200), 1);
    EXPECT_EQ(seekFraction(0.4, 1), 0.4);
}

TEST(ScrubStrips, BarsAndCells) {
    EXPECT_DOUBLE_EQ(waveformBarWidth(740, 220), 740.0 / 220 - 1);
    EXPECT_DOUBLE_EQ(waveformBarWidth(740, 0), 739);
    EXPECT_DOUBLE_EQ(waveformBarWidth(100, 220), 1); // never under 1
    EXPECT_DOUBLE_EQ(filmstripCellWidth(740, 1), 739);
    EXPECT_DOUBLE_EQ(filmstripCellWidth(740, 20), 36);
    EXPECT_TRUE(waveformBarPlayed(0, 1, 0)); // one bar is always played
    EXPECT_TRUE(waveformBarPlayed(110, 221, 0.5));
    EXPECT_FALSE(waveformBarPlayed(111, 221, 0.5));
}

TEST(ScrubStrips, ClicksGiveTheFraction) {
    WaveformStrip strip;
    strip.resize(200, 76);
    strip.setSamples({0.f, 0.5f, 1.f});
    strip.show();
    QSignalSpy seeks(&strip, &ScrubStrip::seekRequested);
    QTest::mouseClick(&strip, Qt::LeftButton, {}, QPoint(0, 30));
    QTest::mouseClick(&strip, Qt::LeftButton, {}, QPoint(50, 30));
    QTest::mouseClick(&strip, Qt::LeftButton, {}, QPoint(150, 70));
    ASSERT_EQ(seeks.count(), 3);
    EXPECT_DOUBLE_EQ(seeks[0][0].toDouble(), 0);
    EXPECT_DOUBLE_EQ(seeks[1][0].toDouble(), 0.25);
    EXPECT_DOUBLE_EQ(seeks[2][0].toDouble(), 0.75);

    FilmstripStrip film;
    film.resize(400, 68);
    film.show();
    QSignalSpy filmSeeks(&film, &ScrubStrip::seekRequested);
    QTest::mouseClick(&film, Qt::LeftButton, {}, QPoint(100, 10));
    ASSERT_EQ(filmSeeks.count(), 1);
    EXPECT_DOUBLE_EQ(filmSeeks[0][0].toDouble(), 0.25);
    // Painting an empty strip and a strip with samples does not fault.
    EXPECT_FALSE(strip.grab().isNull());
    EXPECT_FALSE(film.grab().isNull());
}
