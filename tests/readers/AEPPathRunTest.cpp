#include "readers/AEPPathRun.h"

#include "readers/AEPParser.h"
#include "readers/AEPPathText.h"
#include "support/AEPRifxBuilder.h"

#include <QRandomGenerator>
#include <QStringList>

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::aeptest;

namespace {

// Pieces of scripts the platform clusters by syllable or cell rules of their own (Devanagari,
// Bengali, Tamil, Sinhala, Thai, Khmer, Myanmar, Tibetan), with the marks, joiners and signs that
// attach across script changes, mixed with the characters tails start at.
const QStringList& mixedPieces() {
    static const QStringList pieces{
        QStringLiteral("/"),          QStringLiteral("/"),          QStringLiteral("\\"),
        QStringLiteral("\\\\"),       QStringLiteral("a"),          QStringLiteral("Z"),
        QStringLiteral("C:"),         QStringLiteral("."),          QStringLiteral("7"),
        QStringLiteral(" "),          QStringLiteral("~"),          QStringLiteral(":"),
        QStringLiteral("\u0915"),     QStringLiteral("\u093F"),     QStringLiteral("\u094D"),
        QStringLiteral("\u0937"),     QStringLiteral("\u0902"),     QStringLiteral("\u093C"),
        QStringLiteral("\u0905"),     QStringLiteral("\u0951"),     QStringLiteral("\u0964"),
        QStringLiteral("\u0966"),     QStringLiteral("\u0995"),     QStringLiteral("\u09CD"),
        QStringLiteral("\u09AF"),     QStringLiteral("\u09B0"),     QStringLiteral("\u0985"),
        QStringLiteral("\u09BE"),     QStringLiteral("\u0B95"),     QStringLiteral("\u0BCD"),
        QStringLiteral("\u0BC6"),     QStringLiteral("\u0BBE"),     QStringLiteral("\u0DA7"),
        QStringLiteral("\u0DCA"),     QStringLiteral("\u0E01"),     QStringLiteral("\u0E31"),
        QStringLiteral("\u0E48"),     QStringLiteral("\u0E33"),     QStringLiteral("\u0E40"),
        QStringLiteral("\u1780"),     QStringLiteral("\u17D2"),     QStringLiteral("\u179A"),
        QStringLiteral("\u17B6"),     QStringLiteral("\u17C9"),     QStringLiteral("\u1000"),
        QStringLiteral("\u1039"),     QStringLiteral("\u103A"),     QStringLiteral("\u0F40"),
        QStringLiteral("\u0F71"),     QStringLiteral("\u0301"),     QStringLiteral("\u200D"),
        QStringLiteral("\u200C"),     QStringLiteral("\u25CC"),     QStringLiteral("\u0600"),
        QStringLiteral("\u0627"),     QStringLiteral("\u041F"),     QStringLiteral("\u00E9"),
        QStringLiteral("\u1100"),     QStringLiteral("\u1161"),     QStringLiteral("\U0001F3AC"),
        QStringLiteral("\U000111E1"), QStringLiteral("\U0001F1EF"), QStringLiteral("\t"),
        QStringLiteral("\r\n"),
    };
    return pieces;
}

QString randomRun(QRandomGenerator& rng, int maxPieces) {
    const QStringList& pieces = mixedPieces();
    QString run;
    const int count = rng.bounded(1, maxPieces);
    for (int k = 0; k < count; ++k)
        run += pieces[rng.bounded(static_cast<int>(pieces.size()))];
    // Mostly a footage extension at the end, so the run is judged at all.
    static const QStringList endings{".mov", ".mxf", "/", ".\u0915\u093F", ".aep", ""};
    run += endings[rng.bounded(static_cast<int>(endings.size()))];
    return run;
}

// Where the scans start tails: a slash, a backslash or a drive letter.
bool isTailStart(char16_t c, char16_t next) {
    return c == u'/' || c == u'\\' || (c < 0x80 && aep::isAsciiLetter(static_cast<uchar>(c)) && next == u':');
}

bool hasFootageExtension(const QString& text) {
    return aep::qualifiesAsFootageExtension(aep::pathExtension(text));
}

// The tail judged on its own: decoded strictly and put through the footage path test.
std::optional<QString> aloneVerdict(const std::optional<QString>& decoded) {
    QSet<QString> found;
    aep::addIfPlausible(decoded, found);
    return found.isEmpty() ? std::nullopt : std::optional<QString>(*found.begin());
}

} // namespace

// Every tail of a run judged from the run prepared once, against segmenting and judging each tail
// on its own, on random runs of scripts with clustering rules of their own. UTF-16 runs may hold
// unpaired surrogates; UTF-8 runs invalid bytes.
TEST(AEPPathRun, TailsOfIndicThaiAndKhmerRunsAreJudgedAsOnTheirOwn) {
    QRandomGenerator rng(20261207);
    AEPPathRun run;
    int judged = 0;
    int plausible = 0;
    for (int round = 0; round < 6000; ++round) {
        QString text = randomRun(rng, round % 10 == 0 ? 200 : 40);
        if (round % 2 == 0) {
            if (round % 14 == 0)
                text.insert(rng.bounded(static_cast<int>(text.size()) + 1), QChar(0xDC00));
            const QByteArray bytes = utf16BE(text);
            run.assignUtf16BE(bytes);
            for (qsizetype k = 0; k < text.size(); ++k) {
                if (text[k].unicode() >= 0x80)
                    continue;
                const std::optional<QString> alone = aep::decodeUtf16BE(QByteArrayView(bytes).sliced(2 * k));
                // Only runs with a footage extension are prepared; unpaired surrogates count too.
                if (hasFootageExtension(text.mid(k))) {
                    ASSERT_EQ(run.tailCharacters(k), aep::characterCount(text.mid(k)))
                        << k << " " << bytes.toHex().toStdString();
                }
                if (!isTailStart(text[k].unicode(), k + 1 < text.size() ? text[k + 1].unicode() : 0))
                    continue;
                const std::optional<QString> expected = aloneVerdict(alone);
                ASSERT_EQ(run.plausibleTail(k), expected) << k << " " << bytes.toHex().toStdString();
                ++judged;
                plausible += expected ? 1 : 0;
            }
        } else {
            QByteArray bytes = text.toUtf8();
            if (round % 14 == 1)
                bytes.insert(rng.bounded(static_cast<int>(bytes.size()) + 1), '\xE0');
            if (static_cast<uchar>(bytes[0]) >= 0x80)
                bytes.prepend('/');
            run.assignUtf8(bytes);
            for (qsizetype b = 0; b < bytes.size(); ++b) {
                if (static_cast<uchar>(bytes[b]) >= 0x80)
                    continue;
                const std::optional<QString> alone = aep::decodeUtf8(QByteArrayView(bytes).sliced(b));
                const qsizetype unit = run.unitOf(b);
                if (alone && hasFootageExtension(*alone)) {
                    ASSERT_EQ(run.tailCharacters(unit), aep::characterCount(*alone))
                        << b << " " << bytes.toHex().toStdString();
                }
                if (!isTailStart(static_cast<uchar>(bytes[b]),
                                 b + 1 < bytes.size() ? static_cast<uchar>(bytes[b + 1]) : 0))
                    continue;
                const std::optional<QString> expected = aloneVerdict(alone);
                ASSERT_EQ(run.plausibleTail(unit), expected) << b << " " << bytes.toHex().toStdString();
                ++judged;
                plausible += expected ? 1 : 0;
            }
        }
    }
    // The rounds reach both verdicts often.
    EXPECT_GT(judged, 15000);
    EXPECT_GT(plausible, 2000);
}
