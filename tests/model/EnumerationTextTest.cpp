#include "model/AuditAction.h"
#include "model/MediaFileStatus.h"
#include "model/MediaUsageType.h"
#include "model/StorageType.h"
#include "platform/JsonForm.h"

#include <QSet>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

// Every case's text reads back as that case, and no two cases share a text.
template <typename E>
void expectRoundTrip(std::initializer_list<E> all, std::optional<E> (*fromText)(const QString&)) {
    QSet<QString> seen;
    for (E value : all) {
        EXPECT_EQ(fromText(text(value)), value) << text(value).toStdString();
        EXPECT_FALSE(seen.contains(text(value)));
        seen.insert(text(value));
        EXPECT_EQ(qHash(value, 7), qHash(text(value), 7));
    }
}

} // namespace

TEST(EnumerationText, TextsAreTheDisplayTexts) {
    EXPECT_EQ(text(MediaFileStatus::checking), "Checking...");
    EXPECT_EQ(text(MediaFileStatus::networkOffline), "Network Offline");
    EXPECT_EQ(text(MediaFileStatus::inRecycleBin), "In Virtual Recycle Bin");
    EXPECT_EQ(text(MediaFileStatus::error), "Error");
    EXPECT_EQ(text(MediaUsageType::videoAndAudio), "Video + Audio");
    EXPECT_EQ(text(MediaUsageType::usedInAfterEffects), "Used in AE");
    EXPECT_EQ(text(StorageType::googleDrive), "Google Drive");
    EXPECT_EQ(text(StorageType::iCloud), "iCloud");
    EXPECT_EQ(text(StorageType::unknown), "Unknown");
    EXPECT_EQ(text(AuditAction::transcoded), "Transcoded & Replaced");
    EXPECT_EQ(text(AuditAction::deletedPermanently), "Deleted Permanently");
}

TEST(EnumerationText, EveryCaseRoundTrips) {
    using S = MediaFileStatus;
    expectRoundTrip({S::checking, S::online, S::matching, S::offline, S::networkOffline, S::needsAccess,
                     S::inRecycleBin, S::deleted, S::moved, S::transcoded, S::error},
                    &mediaFileStatusFromText);
    using U = MediaUsageType;
    expectRoundTrip({U::unused, U::videoAndAudio, U::videoOnly, U::audioOnly, U::usedInAfterEffects},
                    &mediaUsageTypeFromText);
    using T = StorageType;
    expectRoundTrip({T::local, T::network, T::dropbox, T::googleDrive, T::iCloud, T::oneDrive, T::unknown},
                    &storageTypeFromText);
    using A = AuditAction;
    expectRoundTrip({A::movedToTrash, A::deletedPermanently, A::movedToFolder, A::restored, A::transcoded},
                    &auditActionFromText);
}

TEST(EnumerationText, OnlyTheExactTextNamesACase) {
    EXPECT_EQ(mediaFileStatusFromText("Checking..."), MediaFileStatus::checking);
    EXPECT_EQ(mediaFileStatusFromText("Checking"), std::nullopt);
    EXPECT_EQ(mediaFileStatusFromText("online"), std::nullopt);
    EXPECT_EQ(mediaFileStatusFromText("Online "), std::nullopt);
    EXPECT_EQ(mediaFileStatusFromText(""), std::nullopt);
    EXPECT_EQ(mediaUsageTypeFromText("Used in After Effects"), std::nullopt);
    EXPECT_EQ(mediaUsageTypeFromText("Used in AE"), MediaUsageType::usedInAfterEffects);
    EXPECT_EQ(storageTypeFromText("icloud"), std::nullopt);
}

TEST(EnumerationText, AuditActionRoundTripsThroughJsonWithItsAmpersand) {
    const QByteArray bytes = json::encode(QJsonObject{{"action", text(AuditAction::transcoded)}});
    EXPECT_EQ(bytes, QByteArray(R"({"action":"Transcoded & Replaced"})"));
    const auto doc = json::decode(bytes);
    ASSERT_TRUE(doc.has_value());
    EXPECT_EQ(auditActionFromText(doc->object().value("action").toString()), AuditAction::transcoded);
}

// A value cast from a stray integer (a damaged store) still has a text: the catch-all case's.
TEST(EnumerationText, AStrayValueReadsAsTheCatchAllCase) {
    EXPECT_EQ(text(static_cast<MediaFileStatus>(99)), "Error");
    EXPECT_EQ(text(static_cast<MediaUsageType>(-1)), "Used in AE");
    EXPECT_EQ(text(static_cast<StorageType>(99)), "Unknown");
    EXPECT_EQ(text(static_cast<AuditAction>(99)), "Transcoded & Replaced");
}
