#pragma once
// The automatic mail check: every few minutes (the receive option
// "IntervalMinutes") it starts the same check the receive label starts. It
// never starts a check while one runs, a mail is being sent or a modal box
// waits for the user; that turn is skipped and the next one comes at the
// interval. An error an automatic check reports is shown once: the same
// message is held back at later turns until a check succeeds or the user
// checks by hand.
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>

namespace korvane::app {

class AutoCheck : public QObject {
    Q_OBJECT
public:
    // `startCheck` runs a whole check, as a click on the receive label does.
    explicit AutoCheck(std::function<void()> startCheck, QObject *parent = nullptr);

    // 0 (or less) stops the automatic check.
    void setIntervalMinutes(int minutes);
    int intervalMinutes() const { return minutes_; }
    // The length of a minute in milliseconds (60,000; shorter in tests).
    void setMinuteLength(int ms);
    bool isActive() const { return timer_.isActive(); }

    // One turn of the timer: a check unless something else is under way.
    void tick();
    // True while a check started by tick() runs.
    bool inAutomaticCheck() const { return automatic_; }
    // A check the user started: errors are shown again from now on.
    void manualCheckStarted();

    // Whether anything the automatic check must not disturb is under way.
    static bool programBusy();

signals:
    // A turn did nothing because the program was busy.
    void skipped();

private:
    friend class FilteringDialogs;
    void restart();

    std::function<void()> startCheck_;
    QTimer timer_;
    int minutes_ = 0;
    int minuteMs_ = 60 * 1000;
    bool automatic_ = false;
    QSet<QString> shownErrors_;  // messages automatic checks have shown
};

}  // namespace korvane::app
