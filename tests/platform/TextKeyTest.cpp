#include "platform/TextKey.h"

#include <QLocale>
#include <gtest/gtest.h>

using tarnwick::text;

namespace {

const QString composed = QStringLiteral("Caf\u00e9");    // é as one code point
const QString decomposed = QStringLiteral("Cafe\u0301"); // e + combining acute

class LocalePin {
public:
    explicit LocalePin(const QLocale& locale) { QLocale::setDefault(locale); }
    ~LocalePin() { QLocale::setDefault(m_previous); }

private:
    QLocale m_previous;
};

} // namespace

TEST(TextKey, ComposedAndDecomposedAccentsAreEqualAndHashAlike) {
    EXPECT_TRUE(text::canonicalEquals(composed, decomposed));
    EXPECT_EQ(text::canonicalHash(composed), text::canonicalHash(decomposed));
    EXPECT_EQ(text::nfc(decomposed), composed);
    EXPECT_FALSE(text::canonicalEquals(QStringLiteral("Cafe"), composed));
    EXPECT_FALSE(text::canonicalEquals(QStringLiteral("a"), QStringLiteral("A")));
}

TEST(TextKey, ListsCompareElementWiseInOrder) {
    EXPECT_TRUE(text::canonicalEquals(QStringList{composed, QStringLiteral("b")},
                                      QStringList{decomposed, QStringLiteral("b")}));
    EXPECT_FALSE(text::canonicalEquals(QStringList{QStringLiteral("b"), composed},
                                       QStringList{decomposed, QStringLiteral("b")}));
    EXPECT_FALSE(text::canonicalEquals(QStringList{composed}, QStringList{composed, composed}));
}

TEST(TextKey, PlainOrderIsUnicodeScalarOrder) {
    struct Case {
        QString a;
        QString b;
        int expected;
    };
    const Case cases[] = {
        {QStringLiteral("B"), QStringLiteral("a"), -1}, // upper-case before lower-case
        {QStringLiteral("a"), QStringLiteral("ab"), -1},
        {QStringLiteral("ab"), QStringLiteral("ab"), 0},
        {decomposed, composed, 0},
        // U+1F600 (a surrogate pair in UTF-16) sorts after U+FF5E, unlike UTF-16 unit order.
        {QStringLiteral("\U0001F600"), QStringLiteral("\uFF5E"), 1},
        {QStringLiteral("z"), QStringLiteral("\u00e9"), -1},
    };
    for (const Case& c : cases) {
        const int r = text::compareScalars(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.expected) << c.a.toStdString() << " vs " << c.b.toStdString();
        const int back = text::compareScalars(c.b, c.a);
        EXPECT_EQ((back > 0) - (back < 0), -c.expected);
    }
}

TEST(TextKey, LocalizedOrderIgnoresCaseButNotLetters) {
    LocalePin pin(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(text::localizedCaseInsensitiveCompare(QStringLiteral("a"), QStringLiteral("A")), 0);
    EXPECT_LT(text::localizedCaseInsensitiveCompare(QStringLiteral("a"), QStringLiteral("B")), 0);
    EXPECT_GT(text::localizedCaseInsensitiveCompare(QStringLiteral("b"), QStringLiteral("A")), 0);
    EXPECT_LT(text::localizedCaseInsensitiveCompare(QStringLiteral("clip 2"), QStringLiteral("Clip 3")), 0);
    EXPECT_EQ(text::localizedCaseInsensitiveCompare(composed, decomposed), 0);
}

TEST(TextKey, LocalizedOrderFollowsTheDefaultLocale) {
    // Swedish sorts "ö" after "z"; German sorts it with "o".
    {
        LocalePin pin(QLocale(QLocale::Swedish, QLocale::Sweden));
        EXPECT_GT(text::localizedCaseInsensitiveCompare(QStringLiteral("\u00f6"), QStringLiteral("z")), 0);
    }
    {
        LocalePin pin(QLocale(QLocale::German, QLocale::Germany));
        EXPECT_LT(text::localizedCaseInsensitiveCompare(QStringLiteral("\u00f6"), QStringLiteral("z")), 0);
    }
}

TEST(TextKey, LoweringNeverFollowsTheLocale) {
    LocalePin pin(QLocale(QLocale::Turkish, QLocale::Turkey));
    EXPECT_EQ(text::lowered(QStringLiteral("/Volumes/MEDIA/CLIP.MOV")),
              QStringLiteral("/volumes/media/clip.mov"));
    EXPECT_EQ(text::lowered(QStringLiteral("I")), QStringLiteral("i")); // not dotless ı
    EXPECT_EQ(text::lowered(QStringLiteral("\u00c9T\u00c9")), QStringLiteral("\u00e9t\u00e9"));
    // Full mapping: dotted capital I becomes i plus a combining dot, whatever the locale.
    EXPECT_EQ(text::lowered(QStringLiteral("\u0130")), QStringLiteral("i\u0307"));
}

TEST(TextKey, EqualLoweredAgreesWithLowering) {
    const QStringList samples = {QStringLiteral("/Media/A.mov"),
                                 QStringLiteral("/media/a.MOV"),
                                 QStringLiteral("/media/a.mov "),
                                 QStringLiteral("Straße"),
                                 QStringLiteral("STRASSE"),
                                 QStringLiteral("straße"),
                                 QStringLiteral("İ"),
                                 QStringLiteral("i\u0307"),
                                 QStringLiteral("Ω"),
                                 QStringLiteral("ω"),
                                 QString()};
    for (const QString& a : samples) {
        for (const QString& b : samples)
            EXPECT_EQ(text::equalLowered(a, b), text::lowered(a) == text::lowered(b))
                << qPrintable(a + " | " + b);
    }
}
