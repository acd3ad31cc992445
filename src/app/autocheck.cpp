#include "autocheck.h"

#include "common/dialogs.h"
#include "common/windows.h"
#include "compose/backform.h"
#include "compose/writeform.h"
#include "mailcheck/mailcheck.h"

#include <QApplication>
#include <QScopeGuard>

namespace korvane::app {

// The dialog service while an automatic check runs: a message of the check
// (over the main window) that an earlier automatic check has shown already
// is not shown again; everything else, and the messages of other windows
// the user works in meanwhile, go on to the service in use.
class FilteringDialogs : public Dialogs {
public:
    FilteringDialogs(Dialogs &inner, QSet<QString> &shown, const QWidget *checkWindow)
        : inner_(inner), shown_(shown), checkWindow_(checkWindow)
    {
    }

    void notice(QWidget *parent, const QString &text, const QString &title, Icon icon) override
    {
        if (parent && parent != checkWindow_) {
            inner_.notice(parent, text, title, icon);
            return;
        }
        noticed_ = true;
        if (shown_.contains(text))
            return;
        shown_.insert(text);
        inner_.notice(parent, text, title, icon);
    }
    bool question(QWidget *parent, const QString &text, const QString &title, Icon icon, bool defaultYes) override
    {
        return inner_.question(parent, text, title, icon, defaultYes);
    }
    std::optional<QString> input(QWidget *parent, const QString &prompt, const QString &title,
                                 const QString &defaultText) override
    {
        return inner_.input(parent, prompt, title, defaultText);
    }
    QString openFile(QWidget *parent, const QString &caption, const QString &folder,
                     const QString &filter) override
    {
        return inner_.openFile(parent, caption, folder, filter);
    }
    QString saveFile(QWidget *parent, const QString &caption, const QString &folder,
                     const QString &filter) override
    {
        return inner_.saveFile(parent, caption, folder, filter);
    }
    bool print(QWidget *parent, QPrinter *printer) override { return inner_.print(parent, printer); }

    bool noticed() const { return noticed_; }

private:
    Dialogs &inner_;
    QSet<QString> &shown_;
    const QWidget *checkWindow_;
    bool noticed_ = false;
};

AutoCheck::AutoCheck(std::function<void()> startCheck, QObject *parent)
    : QObject(parent), startCheck_(std::move(startCheck))
{
    setObjectName(QStringLiteral("AutoCheck"));
    timer_.setObjectName(QStringLiteral("AutoCheckTimer"));
    connect(&timer_, &QTimer::timeout, this, &AutoCheck::tick);
}

void AutoCheck::setIntervalMinutes(int minutes)
{
    minutes_ = std::max(minutes, 0);
    restart();
}

void AutoCheck::setMinuteLength(int ms)
{
    minuteMs_ = std::max(ms, 1);
    restart();
}

void AutoCheck::restart()
{
    if (minutes_ <= 0) {
        timer_.stop();
        return;
    }
    timer_.start(int(std::min<qint64>(qint64(minutes_) * minuteMs_, std::numeric_limits<int>::max())));
}

bool AutoCheck::programBusy()
{
    if (mail::isCheckRunning() || QApplication::activeModalWidget())
        return true;
    if (auto *w = Windows::loaded<compose::WriteForm>(QStringLiteral("WriteForm")); w && w->isSending())
        return true;
    if (auto *b = Windows::loaded<compose::BackForm>(QStringLiteral("BackForm")); b && b->isSending())
        return true;
    return false;
}

void AutoCheck::tick()
{
    if (automatic_ || programBusy()) {
        emit skipped();
        return;
    }
    Dialogs *outer = &Dialogs::instance();
    FilteringDialogs filter(*outer, shownErrors_, Windows::loaded(QStringLiteral("Mainform")));
    Dialogs::install(&filter);
    automatic_ = true;
    auto restore = qScopeGuard([&] {
        automatic_ = false;
        Dialogs::install(outer);
    });
    startCheck_();
    // A check that went through without a message: a later error is news.
    if (!filter.noticed())
        shownErrors_.clear();
}

void AutoCheck::manualCheckStarted()
{
    shownErrors_.clear();
}

}  // namespace korvane::app
