#include "ui/brand/BrandFonts.h"

#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <gtest/gtest.h>

using namespace tarnwick;
using W = Font::Weight;

TEST(BrandFonts, TextFaceFollowsTheWeight) {
    const QList<std::pair<W, QString>> cases{
        {W::ultraLight, "DMSans9pt-Regular"}, {W::thin, "DMSans9pt-Regular"},
        {W::light, "DMSans9pt-Regular"},      {W::regular, "DMSans9pt-Regular"},
        {W::medium, "DMSans9pt-Medium"},      {W::semibold, "DMSans9pt-SemiBold"},
        {W::bold, "DMSans9pt-Bold"},          {W::heavy, "DMSans9pt-Bold"},
        {W::black, "DMSans9pt-Bold"},
    };
    for (const auto& [weight, face] : cases)
        EXPECT_EQ(Font::brandFace(weight), face) << int(weight);
}

TEST(BrandFonts, MonospacedFaceIsBoldFromSemiboldUp) {
    const QList<std::pair<W, QString>> cases{
        {W::ultraLight, "SpaceMono-Regular"}, {W::thin, "SpaceMono-Regular"},
        {W::light, "SpaceMono-Regular"},      {W::regular, "SpaceMono-Regular"},
        {W::medium, "SpaceMono-Regular"},     {W::semibold, "SpaceMono-Bold"},
        {W::bold, "SpaceMono-Bold"},          {W::heavy, "SpaceMono-Bold"},
        {W::black, "SpaceMono-Bold"},
    };
    for (const auto& [weight, face] : cases)
        EXPECT_EQ(Font::brandMonoFace(weight), face) << int(weight);
}

TEST(BrandFonts, SizesComeOutAsThatManyPixels) {
    for (const qreal size : {9.0, 12.0, 13.0, 17.0}) {
        EXPECT_EQ(QFontInfo(Font::brand(size)).pixelSize(), qRound(size)) << size;
        EXPECT_EQ(QFontInfo(Font::brandMono(size, W::bold)).pixelSize(), qRound(size)) << size;
    }
}

TEST(BrandFonts, BuiltFontCarriesTheFaceWeight) {
    EXPECT_EQ(Font::brand(13, W::semibold).weight(), QFont::DemiBold);
    EXPECT_EQ(Font::brand(13, W::medium).weight(), QFont::Medium);
    EXPECT_EQ(Font::brand(13, W::heavy).weight(), QFont::Bold);
    EXPECT_EQ(Font::brand(13, W::light).weight(), QFont::Normal);
    EXPECT_EQ(Font::brandMono(10, W::semibold).weight(), QFont::Bold);
}

// With the downloaded files registered the faces resolve to their families; without them the
// system fonts stand in.
TEST(BrandFonts, ResolvesTheBundledFamiliesOrFallsBack) {
    const QString folder = QStringLiteral(TARNWICK_FIXTURES_DIR "/../../.fonts");
    const QStringList files = QDir(folder).entryList({QStringLiteral("*.ttf")}, QDir::Files);
    const bool haveFonts = !files.isEmpty();
    for (const auto& file : files)
        QFontDatabase::addApplicationFont(folder + u'/' + file);
    if (Font::isFaceAvailable(QStringLiteral("DMSans9pt-Bold"))) {
        EXPECT_EQ(QFontInfo(Font::brand(13, W::bold)).family(), QStringLiteral("DM Sans"));
        EXPECT_EQ(QFontInfo(Font::brandMono(10, W::bold)).family(), QStringLiteral("Space Mono"));
        EXPECT_TRUE(QFontInfo(Font::brandMono(10)).fixedPitch());
    } else {
        EXPECT_FALSE(haveFonts);
        EXPECT_EQ(Font::brand(13).family(), QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
        EXPECT_EQ(Font::brandMono(10).family(), QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
    }
}

TEST(BrandFonts, UnknownFaceFallsBackToTheSystemFont) {
    EXPECT_FALSE(Font::isFaceAvailable(QStringLiteral("NoSuchFace-Bold")));
    EXPECT_EQ(Font::face(QStringLiteral("NoSuchFace-Bold"), 12).family(),
              QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
}
