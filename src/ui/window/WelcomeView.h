#pragma once

#include "ui/window/WelcomeDot.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QWidget>

#include <functional>

class QKeyEvent;
class QLabel;
class QPushButton;

namespace tarnwick {

// The six-step introduction drawn as a card over the window. It only pages; completing (Skip
// or Get Started) calls the owner's action, which stores the preference.
class WelcomeView : public QWidget {
    Q_OBJECT
public:
    struct Step {
        QString icon;
        QString title;
        QString description;
    };
    static const QList<Step>& steps();
    static QColor stepColor(int index);

    explicit WelcomeView(std::function<void()> onComplete, QWidget* parent = nullptr);

    int currentStep() const { return m_currentStep; }
    void nextStep();
    void previousStep();
    void jumpToStep(int index);

    QPushButton* skipButton() const { return m_skip; }
    QPushButton* backButton() const { return m_back; }
    QPushButton* forwardButton() const { return m_forward; } // "Next" or "Get Started"
    QList<WelcomeDot*> dots() const { return m_dots; }
    QString shownTitle() const;
    QString shownDescription() const;
    QColor shownIconColor() const { return stepColor(m_currentStep); }
    QLabel* descriptionLabel() const { return m_description; }

    // The guide's keys while it owns the keyboard: Right = Next, Left = Back, Escape = Skip (Return
    // presses the focused button or page dot, else "Next" or "Get Started"). True when the key was
    // one of them.
    bool handleKey(const QKeyEvent& key);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void showStep(int index);
    void complete();

    std::function<void()> m_onComplete;
    int m_currentStep = 0;
    QLabel* m_icon = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_description = nullptr;
    QPushButton* m_skip = nullptr;
    QPushButton* m_back = nullptr;
    QPushButton* m_forward = nullptr;
    QList<WelcomeDot*> m_dots;
};

} // namespace tarnwick
