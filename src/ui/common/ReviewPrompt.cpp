#include "ui/common/ReviewPrompt.h"

#include "platform/Preferences.h"
#include "ui/common/SupportMail.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace tarnwick {

ReviewPrompt::ReviewPrompt(Preferences& preferences, Clock clock, URLOpener openURL, QObject* parent)
    : QObject(parent), m_preferences(preferences), m_clock(std::move(clock)), m_openURL(std::move(openURL)) {}

#ifndef TARNWICK_RATING_APP_ID
#define TARNWICK_RATING_APP_ID ""
#endif

std::shared_ptr<ReviewPrompt> ReviewPrompt::shared() {
    static const std::shared_ptr<ReviewPrompt> prompt = [] {
        auto made = std::make_shared<ReviewPrompt>(
            Preferences::shared(), [] { return QDateTime::currentDateTimeUtc(); }, desktopURLOpener());
        RatingLink link;
        link.appId = QStringLiteral(TARNWICK_RATING_APP_ID);
        made->setRatingLink(std::move(link));
        return made;
    }();
    return prompt;
}

void ReviewPrompt::recordSuccess(AuditAction action) {
    count(action == AuditAction::restored ? 0 : 1);
}

void ReviewPrompt::recordSuccesses(const QList<AuditAction>& actions) {
    count(std::count_if(actions.cbegin(), actions.cend(),
                        [](AuditAction action) { return action != AuditAction::restored; }));
}

// The asking rule only opens as the count grows, so asking after the last of a run's entries
// decides as asking after each would.
void ReviewPrompt::count(qint64 counted) {
    if (counted <= 0)
        return;
    m_preferences.increment(successCountKey, counted);
    if (!shouldAsk())
        return;
    setAskedThisSession(true);
    m_preferences.setValue(lastAskedAtKey, m_clock());
    QPointer<ReviewPrompt> self(this);
    QTimer::singleShot(m_delayMs, this, [self] {
        if (self && !self->m_isPresenting)
            self->setIsPresenting(true);
    });
}

bool ReviewPrompt::shouldAsk() const {
    if (m_askedThisSession)
        return false;
    if (m_preferences.value(answeredKey, false).toBool())
        return false;
    if (m_preferences.integer(successCountKey) <= 1)
        return false;
    const QVariant stored = m_preferences.value(lastAskedAtKey);
    if (stored.metaType() != QMetaType::fromType<QDateTime>() || !stored.toDateTime().isValid())
        return true;
    return stored.toDateTime().secsTo(m_clock()) >= askIntervalSeconds;
}

QUrl ReviewPrompt::ratingURL(const QString& scheme) const {
    if (!hasRatingLink())
        return {};
    QUrl url;
    url.setScheme(scheme);
    url.setHost(m_ratingLink.host);
    url.setPath(QStringLiteral("/app/id") + m_ratingLink.appId);
    url.setQuery(QStringLiteral("action=write-review"));
    return url;
}

void ReviewPrompt::rateApp() {
    if (!hasRatingLink())
        return; // the sheet offers no rating then
    markAnswered();
    if (!m_ratingLink.storeScheme.isEmpty()) {
        const QUrl storeURL = ratingURL(m_ratingLink.storeScheme);
        if (storeURL.isValid() && m_openURL(storeURL))
            return;
    }
    m_openURL(ratingURL(QStringLiteral("https")));
}

void ReviewPrompt::sendFeedback() {
    markAnswered();
    if (const auto url = feedbackMailURL(AppVersionInfo::current(), operatingSystemVersionText()))
        m_openURL(*url);
}

void ReviewPrompt::markAnswered() {
    m_preferences.setValue(answeredKey, true);
    setIsPresenting(false);
}

void ReviewPrompt::setIsPresenting(bool presenting) {
    if (presenting == m_isPresenting)
        return;
    m_isPresenting = presenting;
    Q_EMIT isPresentingChanged(presenting);
}

void ReviewPrompt::setAskedThisSession(bool asked) {
    if (asked == m_askedThisSession)
        return;
    m_askedThisSession = asked;
    Q_EMIT askedThisSessionChanged(asked);
}

} // namespace tarnwick
