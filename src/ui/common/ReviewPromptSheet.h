#pragma once

#include <QWidget>

class QAbstractButton;

namespace tarnwick {

class ReviewPrompt;

// "Are you liking the app?": rate, send feedback, or maybe later. Each answer runs on the prompt
// and then asks the sheet around it to close.
class ReviewPromptSheet : public QWidget {
    Q_OBJECT
public:
    explicit ReviewPromptSheet(ReviewPrompt& prompt, QWidget* parent = nullptr);

    QAbstractButton* rateButton() const { return m_rate; }
    QAbstractButton* feedbackButton() const { return m_feedback; }
    QAbstractButton* maybeLaterButton() const { return m_maybeLater; }

    void maybeLater();

Q_SIGNALS:
    void dismissRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void performAndDismiss(void (ReviewPrompt::*action)());

    ReviewPrompt& m_prompt;
    QAbstractButton* m_rate = nullptr;
    QAbstractButton* m_feedback = nullptr;
    QAbstractButton* m_maybeLater = nullptr;
};

} // namespace tarnwick
