#pragma once

#include "stores/ReviewHook.h"
#include "ui/common/URLOpener.h"

#include <QDateTime>
#include <QObject>

#include <functional>
#include <memory>

namespace tarnwick {

class Preferences;

// Asks now and then, after successful clean-up actions, for a rating or feedback. The audit log
// reports every stored action; from the second counted one on, the prompt is scheduled at most
// once per session and once per 45 days, and never again once answered.
class ReviewPrompt : public QObject, public ReviewHook {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    static inline const QString successCountKey = QStringLiteral("review.successCount");
    static inline const QString lastAskedAtKey = QStringLiteral("review.lastAskedAt");
    static inline const QString answeredKey = QStringLiteral("review.answered");
    static constexpr qint64 askIntervalSeconds = 3'888'000; // 45 days
    static constexpr int presentationDelayMs = 1200;

    // Where the rating page lives. With a store scheme the store application is tried first,
    // then the same link on the web. Without an application identifier there is no page to rate on.
    struct RatingLink {
        QString storeScheme;
        QString host = QStringLiteral("tarnwick.app");
        QString appId;
    };

    ReviewPrompt(Preferences& preferences, Clock clock, URLOpener openURL, QObject* parent = nullptr);

    // The process's prompt, on the user's preferences and the desktop's URL handler, rating at the
    // identifier the build was configured with (TARNWICK_RATING_APP_ID; none by default).
    static std::shared_ptr<ReviewPrompt> shared();

    void recordSuccess(AuditAction action) override;
    // A run's entries: counted with one settings write, then asked as after the last of them.
    void recordSuccesses(const QList<AuditAction>& actions) override;
    bool shouldAsk() const;

    bool isPresenting() const { return m_isPresenting; }
    // Only false takes effect from outside: the prompt alone decides to present itself.
    void dismiss() { setIsPresenting(false); }
    bool askedThisSession() const { return m_askedThisSession; }

    void rateApp();
    void sendFeedback();

    void setRatingLink(RatingLink link) { m_ratingLink = std::move(link); }
    bool hasRatingLink() const { return !m_ratingLink.appId.isEmpty() && !m_ratingLink.host.isEmpty(); }
    void setPresentationDelayMs(int delayMs) { m_delayMs = delayMs; }

    // Empty without a rating link.
    QUrl ratingURL(const QString& scheme) const;

Q_SIGNALS:
    void isPresentingChanged(bool presenting);
    void askedThisSessionChanged(bool asked);

private:
    void setIsPresenting(bool presenting);
    void setAskedThisSession(bool asked);
    void count(qint64 counted);
    void markAnswered();

    Preferences& m_preferences;
    Clock m_clock;
    URLOpener m_openURL;
    RatingLink m_ratingLink;
    int m_delayMs = presentationDelayMs;
    bool m_isPresenting = false;
    bool m_askedThisSession = false;
};

} // namespace tarnwick
