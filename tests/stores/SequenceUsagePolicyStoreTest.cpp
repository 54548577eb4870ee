#include "stores/SequenceUsagePolicyStore.h"
#include "platform/Preferences.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

using namespace tarnwick;

namespace {

using Decision = SequenceUsageDecision;

class SequenceUsagePolicyStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_iniPath = m_dir.filePath(QStringLiteral("prefs.ini"));
        m_prefs = std::make_unique<Preferences>(m_iniPath);
    }

    // What another process would read from the preference file right now.
    std::optional<QByteArray> storedBytes() const {
        Preferences reader(m_iniPath);
        return reader.bytes(SequenceUsagePolicyStore::storageKey);
    }
    QJsonObject storedJson() const {
        const auto bytes = storedBytes();
        return bytes ? QJsonDocument::fromJson(*bytes).object() : QJsonObject{};
    }
    static QStringList patterns(const SequenceUsagePolicyStore& store) {
        QStringList out;
        for (const auto& rule : store.rules())
            out << text(rule.action) + QLatin1Char(':') + rule.pattern;
        return out;
    }

    QTemporaryDir m_dir;
    QString m_iniPath;
    std::unique_ptr<Preferences> m_prefs;
};

TEST_F(SequenceUsagePolicyStoreTest, FreshInstallationHasOnlyTheBuiltInFinalRule) {
    SequenceUsagePolicyStore store(*m_prefs);
    ASSERT_EQ(store.rules().size(), 1);
    EXPECT_EQ(store.rules()[0].pattern, QStringLiteral("final"));
    EXPECT_EQ(store.rules()[0].action, SequenceRuleAction::protect);
    EXPECT_TRUE(SequenceUsagePolicyStore::isBuiltInProtectRule(store.rules()[0]));
    EXPECT_TRUE(store.overrides().isEmpty());
    EXPECT_FALSE(storedBytes()) << "loading writes nothing";
}

TEST_F(SequenceUsagePolicyStoreTest, RefusesEmptyDuplicateAndIgnoreOfProtectedPatterns) {
    SequenceUsagePolicyStore store(*m_prefs);
    ASSERT_TRUE(store.addRule(QStringLiteral("Café"), SequenceRuleAction::ignore));
    const struct {
        const char* pattern;
        SequenceRuleAction action;
    } refused[] = {
        {"  Final \n", SequenceRuleAction::protect}, // same normalised pattern and action
        {"FINAL", SequenceRuleAction::ignore},       // cannot ignore a protected pattern
        {"", SequenceRuleAction::protect},           {"   ", SequenceRuleAction::ignore},
        {"cafe", SequenceRuleAction::ignore}, // diacritics folded
        {"CAFÉ", SequenceRuleAction::ignore},
    };
    const auto before = store.rules();
    const auto bytesBefore = storedBytes();
    for (const auto& r : refused) {
        EXPECT_FALSE(store.addRule(QString::fromUtf8(r.pattern), r.action)) << r.pattern;
        EXPECT_EQ(store.rules(), before) << r.pattern;
    }
    EXPECT_EQ(storedBytes(), bytesBefore) << "a refused rule writes nothing";
}

TEST_F(SequenceUsagePolicyStoreTest, ProtectRuleReplacesIgnoreRuleForTheSamePattern) {
    SequenceUsagePolicyStore store(*m_prefs);
    ASSERT_TRUE(store.addRule(QStringLiteral("Dailies"), SequenceRuleAction::ignore));
    ASSERT_TRUE(store.addRule(QStringLiteral("dailies"), SequenceRuleAction::protect));
    EXPECT_EQ(patterns(store), (QStringList{"protect:dailies", "protect:final"}));
}

TEST_F(SequenceUsagePolicyStoreTest, KeepsIgnoreRulesBeforeProtectRulesEachSortedByPattern) {
    SequenceUsagePolicyStore store(*m_prefs);
    for (const char* p : {"zeta", "Alpha", "grade"})
        ASSERT_TRUE(store.addRule(QString::fromUtf8(p), SequenceRuleAction::protect));
    for (const char* p : {"sync", "Stringout", "dailies"})
        ASSERT_TRUE(store.addRule(QString::fromUtf8(p), SequenceRuleAction::ignore));
    EXPECT_EQ(patterns(store),
              (QStringList{"ignore:dailies", "ignore:Stringout", "ignore:sync", "protect:Alpha",
                           "protect:final", "protect:grade", "protect:zeta"}));
    // The stored order is the loaded order.
    SequenceUsagePolicyStore reloaded(*m_prefs);
    EXPECT_EQ(reloaded.rules(), store.rules());
}

TEST_F(SequenceUsagePolicyStoreTest, TurkishLocaleDoesNotLetUpperCaseFinalEscapeTheBuiltInRule) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
    EXPECT_EQ(SequenceUsagePolicyStore::normalizedName(QStringLiteral("FINAL")), QStringLiteral("final"));
    EXPECT_EQ(SequenceUsagePolicyStore::normalizedName(QStringLiteral("FİNAL")), QStringLiteral("final"));
    EXPECT_EQ(SequenceUsagePolicyStore::normalizedName(QStringLiteral("  Café \n")), QStringLiteral("cafe"));
    SequenceUsagePolicyStore store(*m_prefs);
    EXPECT_FALSE(store.addRule(QStringLiteral("FINAL"), SequenceRuleAction::ignore));
    const auto snapshot = store.snapshot(QUrl::fromLocalFile(QStringLiteral("/p/a.prproj")));
    EXPECT_EQ(SequenceUsagePolicyStore::decision(QStringLiteral("s1"), QStringLiteral("FINAL CUT"), snapshot),
              Decision::protected_);
    QLocale::setDefault(saved);
}

TEST_F(SequenceUsagePolicyStoreTest, DecisionPrecedenceProtectThenOverrideThenIgnore) {
    SequenceUsagePolicyStore store(*m_prefs);
    const QUrl project = QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("Feature.prproj")));
    ASSERT_TRUE(store.addRule(QStringLiteral("stringout"), SequenceRuleAction::ignore));
    ASSERT_TRUE(store.addRule(QStringLiteral("grade"), SequenceRuleAction::ignore));
    auto decide = [&](const char* id, const char* name) {
        return SequenceUsagePolicyStore::decision(QString::fromUtf8(id), QString::fromUtf8(name),
                                                  store.snapshot(project));
    };
    EXPECT_EQ(decide("s1", "Stringout Two"), Decision::ignored);
    store.setOverride(true, QStringLiteral("s1"), project);
    EXPECT_EQ(decide("s1", "Stringout Two"), Decision::counted);
    EXPECT_EQ(decide(" S1 ", "Stringout Two"), Decision::counted) << "identifier trimmed, case ignored";
    store.clearOverride(QStringLiteral("s1"), project);
    EXPECT_EQ(decide("s1", "Stringout Two"), Decision::ignored);

    store.setOverride(false, QStringLiteral("s2"), project);
    EXPECT_EQ(decide("s2", "Final Grade"), Decision::protected_) << "protect beats override and ignore";

    EXPECT_EQ(decide("s3", "  "), Decision::counted) << "a blank name matches no rule";
    store.setOverride(false, QStringLiteral("s3"), project);
    EXPECT_EQ(decide("s3", "  "), Decision::ignored);
    EXPECT_EQ(decide("s4", "Assembly"), Decision::counted);
}

TEST_F(SequenceUsagePolicyStoreTest, HonoursOverridesStoredUnderANameKey) {
    const QString key =
        SequenceUsagePolicyStore::projectKey(QUrl::fromLocalFile(QStringLiteral("/p/a.prproj")));
    SequenceUsagePolicyStore::State state;
    state.rules = {
        SequenceNameRule{QUuid::createUuid(), QStringLiteral("final"), SequenceRuleAction::protect}};
    state.overrides[key].insert(QStringLiteral("assembly"), ProjectSequenceOverride::ignored);
    m_prefs->setValue(SequenceUsagePolicyStore::storageKey, state.encode());
    SequenceUsagePolicyStore store(*m_prefs);
    const auto snapshot = store.snapshot(QUrl::fromLocalFile(QStringLiteral("/p/a.prproj")));
    EXPECT_EQ(SequenceUsagePolicyStore::decision(QStringLiteral("x"), QStringLiteral("Assembly"), snapshot),
              Decision::ignored);
}

TEST_F(SequenceUsagePolicyStoreTest, WritesTheExactJsonFormAtOnceAndReadsItBack) {
    const QUrl project = QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("Feature.prproj")));
    {
        SequenceUsagePolicyStore store(*m_prefs);
        ASSERT_TRUE(store.addRule(QStringLiteral("Dailies"), SequenceRuleAction::ignore));
        store.setOverride(false, QStringLiteral("AbC-1"), project);
        const QJsonObject root = storedJson();
        ASSERT_EQ(root.keys(), (QStringList{"overrides", "rules"}));
        const QJsonArray rules = root.value(QStringLiteral("rules")).toArray();
        ASSERT_EQ(rules.size(), 2);
        const QJsonObject first = rules[0].toObject();
        EXPECT_EQ(first.keys(), (QStringList{"action", "id", "pattern"}));
        EXPECT_EQ(first.value(QStringLiteral("action")).toString(), QStringLiteral("ignore"));
        EXPECT_EQ(first.value(QStringLiteral("pattern")).toString(), QStringLiteral("Dailies"));
        const QString id = first.value(QStringLiteral("id")).toString();
        EXPECT_EQ(id, id.toUpper());
        EXPECT_EQ(QUuid::fromString(id), store.rules()[0].id);
        const QJsonObject overrides = root.value(QStringLiteral("overrides")).toObject();
        const QString key = SequenceUsagePolicyStore::projectKey(project);
        EXPECT_EQ(overrides.keys(), QStringList{key});
        EXPECT_EQ(overrides.value(key).toObject().value(QStringLiteral("id:abc-1")).toString(),
                  QStringLiteral("ignored"));
        EXPECT_TRUE(storedBytes()->contains(QByteArrayLiteral("\\/"))) << "solidus escaped";
    }
    SequenceUsagePolicyStore reloaded(*m_prefs);
    EXPECT_EQ(patterns(reloaded), (QStringList{"ignore:Dailies", "protect:final"}));
    EXPECT_EQ(SequenceUsagePolicyStore::decision(QStringLiteral("abc-1"), QStringLiteral("x"),
                                                 reloaded.snapshot(project)),
              Decision::ignored);
}

TEST_F(SequenceUsagePolicyStoreTest, UnreadableStoredValuesLoadAsTheDefaultPolicy) {
    const QByteArray cases[] = {
        R"({"rules":[]})",
        R"({"overrides":{}})",
        R"({"rules":[{"id":"6B1F0E0C-5B0B-4C8C-9E5C-1F6E0A2B3C4D","pattern":"x","action":"hide"}],"overrides":{}})",
        R"({"rules":[{"id":"6B1F0E0C-5B0B-4C8C-9E5C-1F6E0A2B3C4D","pattern":"x"}],"overrides":{}})",
        R"({"rules":[],"overrides":{"\/p":{"id:a":"maybe"}}})",
        "not json",
        "",
    };
    for (const QByteArray& bytes : cases) {
        m_prefs->setValue(SequenceUsagePolicyStore::storageKey, bytes);
        SequenceUsagePolicyStore store(*m_prefs);
        EXPECT_EQ(patterns(store), QStringList{"protect:final"}) << bytes.constData();
        EXPECT_TRUE(store.overrides().isEmpty());
        EXPECT_EQ(storedBytes(), bytes) << "the unreadable value stays until the next save";
    }
}

TEST_F(SequenceUsagePolicyStoreTest, AppendsTheBuiltInRuleWhenTheStoredRulesLackIt) {
    SequenceUsagePolicyStore::State state;
    state.rules = {SequenceNameRule{QUuid::createUuid(), QStringLiteral("zz"), SequenceRuleAction::protect},
                   SequenceNameRule{QUuid::createUuid(), QStringLiteral("aa"), SequenceRuleAction::ignore}};
    m_prefs->setValue(SequenceUsagePolicyStore::storageKey, state.encode());
    SequenceUsagePolicyStore store(*m_prefs);
    EXPECT_EQ(patterns(store), (QStringList{"protect:zz", "ignore:aa", "protect:final"}))
        << "stored order kept, built-in appended";
}

TEST_F(SequenceUsagePolicyStoreTest, NeverRemovesTheBuiltInRule) {
    SequenceUsagePolicyStore store(*m_prefs);
    store.removeRule(store.rules()[0].id);
    EXPECT_EQ(store.rules().size(), 1);
    EXPECT_FALSE(storedBytes()) << "refusal writes nothing";
    ASSERT_TRUE(store.addRule(QStringLiteral("sync"), SequenceRuleAction::ignore));
    store.removeRule(store.rules()[0].id);
    EXPECT_EQ(patterns(store), QStringList{"protect:final"});
    EXPECT_EQ(storedJson().value(QStringLiteral("rules")).toArray().size(), 1);
}

TEST_F(SequenceUsagePolicyStoreTest, OverridesFollowTheProjectThroughLinksAndLetterCase) {
    const QString folder = m_dir.filePath(QStringLiteral("Me"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString real = folder + QStringLiteral("/Project.prproj");
    QFile file(real);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString link = m_dir.filePath(QStringLiteral("link.prproj"));
    ASSERT_TRUE(QFile::link(real, link));

    SequenceUsagePolicyStore store(*m_prefs);
    store.setOverride(false, QStringLiteral("s1"), QUrl::fromLocalFile(real));
    for (const QString& other : {real.toLower(), link, real}) {
        EXPECT_EQ(SequenceUsagePolicyStore::decision(QStringLiteral("s1"), QStringLiteral("Edit"),
                                                     store.snapshot(QUrl::fromLocalFile(other))),
                  Decision::ignored)
            << other.toStdString();
    }
    store.clearOverride(QStringLiteral("s1"), QUrl::fromLocalFile(link));
    EXPECT_TRUE(store.overrides().isEmpty());
    EXPECT_TRUE(storedJson().value(QStringLiteral("overrides")).toObject().isEmpty())
        << "the last override removes the project's entry";
}

} // namespace
