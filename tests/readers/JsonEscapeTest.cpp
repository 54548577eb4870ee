#include "readers/JsonEscape.h"

#include <QString>

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

QString decoded(const QString& text, JsonControlEscapes controls = JsonControlEscapes::all) {
    const std::optional<JsonEscape> escape = jsonEscapeAt(text, 0, controls);
    return escape ? escape->decoded().toString() + u'#' + QString::number(escape->length)
                  : QStringLiteral("none");
}

} // namespace

// The Premiere reader takes "\b" and "\f" as the letters; the After Effects reader as control escapes.
TEST(JsonEscape, TheControlSetDecidesBackspaceAndFormFeed) {
    EXPECT_EQ(decoded(QStringLiteral(R"(\b)")), QStringLiteral("\b#2"));
    EXPECT_EQ(decoded(QStringLiteral(R"(\f)")), QStringLiteral("\f#2"));
    EXPECT_EQ(decoded(QStringLiteral(R"(\b)"), JsonControlEscapes::lineBreaksAndTab), QStringLiteral("none"));
    EXPECT_EQ(decoded(QStringLiteral(R"(\n)"), JsonControlEscapes::lineBreaksAndTab), QStringLiteral("\n#2"));
    EXPECT_TRUE(jsonEscapeAt(QStringLiteral(R"(\t)"), 0, JsonControlEscapes::all)->control);
    EXPECT_FALSE(jsonEscapeAt(QStringLiteral(R"(\/)"), 0, JsonControlEscapes::all)->control);
}

TEST(JsonEscape, ASurrogatePairIsOneEscapeAndAnUnpairedHalfNone) {
    EXPECT_EQ(decoded(QStringLiteral(R"(\ud83c\udfacx)")), QString::fromUtf8("🎬#12"));
    EXPECT_EQ(decoded(QStringLiteral(R"(\u00E9)")), QStringLiteral("é#6"));
    EXPECT_EQ(decoded(QStringLiteral(R"(\ud83c\u0041)")), QStringLiteral("none"));
    EXPECT_EQ(decoded(QStringLiteral(R"(\udfac)")), QStringLiteral("none"));
    EXPECT_EQ(decoded(QStringLiteral(R"(\u00e)")), QStringLiteral("none"));
    EXPECT_EQ(decoded(QStringLiteral(R"(\q)")), QStringLiteral("none"));
    EXPECT_EQ(decoded(QStringLiteral("\\")), QStringLiteral("none"));
}
