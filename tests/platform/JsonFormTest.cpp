#include "platform/JsonForm.h"

#include <QTimeZone>
#include <gtest/gtest.h>

#include <cmath>
#include <type_traits>

namespace json = tarnwick::json;

TEST(JsonForm, EncodesCompactlyWithEscapedSlashes) {
    const QJsonObject o{{"path", "/Volumes/Media/a.mov"}, {"note", "a/b \"c\""}};
    const QByteArray bytes = json::encode(o);
    EXPECT_FALSE(bytes.contains('\n'));
    EXPECT_TRUE(bytes.contains(R"("path":"\/Volumes\/Media\/a.mov")")) << bytes.constData();
    EXPECT_TRUE(bytes.contains(R"("note":"a\/b \"c\"")")) << bytes.constData();
    EXPECT_EQ(json::encode(QJsonArray{"x/y"}), QByteArray(R"(["x\/y"])"));
}

TEST(JsonForm, RoundTripsWhatItWrites) {
    const QJsonObject o{{"path", "/a/b/\u00e9 & \"q\""}, {"n", 42}, {"list", QJsonArray{"/x", 1.5}}};
    const std::optional<QJsonDocument> back = json::decode(json::encode(o));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->object(), o);
}

TEST(JsonForm, DecodesTheOtherEncodersFormAndRejectsDamage) {
    const auto doc = json::decode(R"({"path":"\/Users\/ana\/a.mov","unknown":{"x":[1]},"gone":null})");
    ASSERT_TRUE(doc.has_value());
    EXPECT_EQ(json::optString(doc->object(), "path"), QStringLiteral("/Users/ana/a.mov"));
    EXPECT_EQ(json::optString(doc->object(), "gone"), std::nullopt);
    EXPECT_FALSE(json::decode("{\"path\":").has_value());
    EXPECT_FALSE(json::decode("").has_value());
    EXPECT_FALSE(json::decode("not json").has_value());
}

TEST(JsonForm, DatesCountSecondsFrom2001InUtc) {
    const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    EXPECT_DOUBLE_EQ(json::fromDate(reference), 0.0);
    EXPECT_DOUBLE_EQ(json::fromDate(reference.addSecs(86400)), 86400.0);
    EXPECT_DOUBLE_EQ(json::fromDate(QDateTime(QDate(1970, 1, 1), QTime(0, 0), QTimeZone::utc())),
                     -978307200.0);
    // A local-time date is the same instant.
    const QDateTime berlin(QDate(2001, 1, 1), QTime(1, 0), QTimeZone("Europe/Berlin"));
    EXPECT_DOUBLE_EQ(json::fromDate(berlin), 0.0);

    const QDateTime back = json::toDate(757382400.5);
    EXPECT_EQ(back, QDateTime(QDate(2025, 1, 1), QTime(0, 0, 0, 500), QTimeZone::utc()));
    EXPECT_EQ(back.timeSpec(), Qt::UTC);
    EXPECT_FALSE(json::toDate(1e300).isValid());
    EXPECT_FALSE(json::toDate(std::nan("")).isValid());
}

TEST(JsonForm, UuidsAreWrittenUpperCaseAndReadInEitherCase) {
    const QUuid id = QUuid::fromString(QStringLiteral("6f9619ff-8b86-d011-b42d-00c04fc964ff"));
    EXPECT_EQ(json::fromUuid(id), QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF"));
    EXPECT_EQ(json::toUuid("6F9619FF-8B86-D011-B42D-00C04FC964FF"), id);
    EXPECT_EQ(json::toUuid("6f9619ff-8b86-d011-b42d-00c04fc964ff"), id);
    EXPECT_EQ(json::toUuid("00000000-0000-0000-0000-000000000000"), QUuid());
    EXPECT_FALSE(json::toUuid("not-a-uuid").has_value());
    EXPECT_FALSE(json::toUuid("").has_value());
}

TEST(JsonForm, OptionalFieldsAreAbsentWhenMissingNullOrMistyped) {
    const QJsonObject o{{"s", "text"}, {"i", 7},    {"big", qint64(9007199254740993LL)},
                        {"f", 2.5},    {"b", true}, {"n", QJsonValue::Null},
                        {"d", 86400.0}};
    EXPECT_EQ(json::optString(o, "s"), QStringLiteral("text"));
    EXPECT_EQ(json::optString(o, "i"), std::nullopt);
    EXPECT_EQ(json::optString(o, "n"), std::nullopt);
    EXPECT_EQ(json::optString(o, "missing"), std::nullopt);
    EXPECT_EQ(json::optInt64(o, "i"), 7);
    EXPECT_EQ(json::optInt64(o, "big"), 9007199254740993LL);
    EXPECT_EQ(json::optInt64(o, "f"), std::nullopt); // a fraction is no integer
    EXPECT_EQ(json::optInt64(o, "s"), std::nullopt);
    EXPECT_EQ(json::optDouble(o, "f"), 2.5);
    EXPECT_EQ(json::optDouble(o, "b"), std::nullopt);
    EXPECT_EQ(json::optBool(o, "b"), true);
    EXPECT_EQ(json::optBool(o, "i"), std::nullopt);
    EXPECT_EQ(json::optDate(o, "d"), QDateTime(QDate(2001, 1, 2), QTime(0, 0), QTimeZone::utc()));
    EXPECT_EQ(json::optDate(o, "n"), std::nullopt);
    EXPECT_EQ(json::optDate(QJsonObject{{"d", 1e300}}, "d"), std::nullopt);
}

TEST(JsonForm, IntegersSurviveTheRoundTrip) {
    const QJsonObject o{{"size", qint64(9007199254740993LL)}, {"neg", qint64(-5)}};
    const auto back = json::decode(json::encode(o));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(json::optInt64(back->object(), "size"), 9007199254740993LL);
    EXPECT_EQ(json::optInt64(back->object(), "neg"), -5);
}

TEST(JsonForm, FieldsReadARecordWholeOrRefuseIt) {
    const QJsonObject o{{"s", "text"}, {"list", QJsonArray{"a", "b"}}, {"n", QJsonValue::Null}, {"i", 3}};
    json::Fields whole(o);
    EXPECT_EQ(whole.string("s"), QStringLiteral("text"));
    EXPECT_EQ(whole.strings("list"), QStringList({"a", "b"}));
    EXPECT_EQ(whole.optionalString("n"), std::nullopt); // null and absent optionals are fine
    EXPECT_EQ(whole.optionalString("absent"), std::nullopt);
    EXPECT_TRUE(whole.ok());

    json::Fields missing(o);
    missing.string("s");
    missing.int64("absent");
    missing.string("s"); // a later good field does not undo the refusal
    EXPECT_FALSE(missing.ok());

    json::Fields mistypedOptional(o);
    EXPECT_EQ(mistypedOptional.optionalString("i"), std::nullopt);
    EXPECT_FALSE(mistypedOptional.ok());

    const QJsonObject mixed{{"list", QJsonArray{"a", 1}}};
    json::Fields mixedList(mixed);
    EXPECT_TRUE(mixedList.strings("list").isEmpty());
    EXPECT_FALSE(mixedList.ok());

    // It keeps a reference: no temporary, const or not, may be read from.
    static_assert(!std::is_constructible_v<json::Fields, QJsonObject>);
    static_assert(!std::is_constructible_v<json::Fields, const QJsonObject>);
    static_assert(std::is_constructible_v<json::Fields, const QJsonObject&>);
}
