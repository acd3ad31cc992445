#include "mailcheck_session.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QThread>
#include <QTimer>

namespace korvane::mail {
namespace {

// A call on its way to the thread.
class CallEvent final : public QEvent {
public:
    static QEvent::Type type()
    {
        static const QEvent::Type registered = QEvent::Type(QEvent::registerEventType());
        return registered;
    }
    explicit CallEvent(std::shared_ptr<SessionThread::Call> call) : QEvent(type()), call(std::move(call)) {}
    std::shared_ptr<SessionThread::Call> call;
};

// Lives on the thread and runs the calls it is sent.
class CallRunner final : public QObject {
protected:
    bool event(QEvent *event) override
    {
        if (event->type() != CallEvent::type())
            return QObject::event(event);
        const std::shared_ptr<SessionThread::Call> call = static_cast<CallEvent *>(event)->call;
        try {
            call->work();
        } catch (...) {
            call->failure = std::current_exception();
        }
        call->work = nullptr;  // what it held goes with the call
        call->finished.release();
        return true;
    }
};

}  // namespace

SessionThread::SessionThread(const QString &name)
{
    thread_ = new QThread;
    thread_->setObjectName(name);
    context_ = new CallRunner;
    context_->moveToThread(thread_);
    thread_->start();
}

SessionThread::~SessionThread()
{
    if (abandoned_) {
        // A call still runs: the thread and its context go when it is over.
        QObject::connect(thread_, &QThread::finished, context_, &QObject::deleteLater);
        QObject::connect(thread_, &QThread::finished, thread_, &QObject::deleteLater);
        thread_->quit();
        return;
    }
    thread_->quit();
    thread_->wait();
    delete context_;
    delete thread_;
}

void SessionThread::post(const std::shared_ptr<Call> &call, bool first)
{
    QCoreApplication::postEvent(context_, new CallEvent(call), first ? Qt::HighEventPriority : Qt::NormalEventPriority);
}

bool SessionThread::runEvents()
{
    // The loop ends with a code of its own once the events have run. An
    // event loop ends at once (-1) while the program is quitting, and with
    // the program's exit code when it is told to quit meanwhile (the main
    // window closed by one of these events).
    constexpr int EventsRan = 0x4b76;
    QEventLoop probe;
    QTimer::singleShot(0, &probe, [&probe] { probe.exit(EventsRan); });
    const bool ending = probe.exec(QEventLoop::AllEvents) != EventsRan;
    sinceEvents_.start();
    if (ending)
        noticeQuitting();
    return quitting_;
}

bool SessionThread::applicationQuitting()
{
    return quitting_ || runEvents();
}

void SessionThread::noticeQuitting()
{
    if (quitting_)
        return;
    quitting_ = true;
    if (cancel_)
        cancel_();
}

bool SessionThread::wait(const std::shared_ptr<Call> &call, int ms)
{
    const QDeadlineTimer deadline = ms < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(ms);
    for (;;) {
        // Sleeps on the call until the next frame is due.
        qint64 slice = sinceEvents_.isValid() ? qMax<qint64>(0, FrameMs - sinceEvents_.elapsed()) : 0;
        if (!deadline.isForever())
            slice = qMin(slice, deadline.remainingTime());
        if (call->finished.tryAcquire(1, int(slice)))
            return true;
        if (deadline.hasExpired())
            return false;
        if (quitting_ || runEvents()) {
            // The call was told to give up; with a limit, the caller decides
            // what to do about it. Without one it is still waited for, so
            // that nothing it uses goes away under it.
            if (ms >= 0)
                return call->finished.tryAcquire();
            call->finished.acquire();
            return true;
        }
    }
}

void SessionThread::run(const std::function<void()> &work)
{
    finish(start(work));
}

std::shared_ptr<SessionThread::Call> SessionThread::start(std::function<void()> work, Order order)
{
    auto call = std::make_shared<Call>();
    call->work = std::move(work);
    post(call, order == Order::BeforeWaiting);
    return call;
}

bool SessionThread::awaitOnWorker(const std::shared_ptr<Call> &call)
{
    call->finished.acquire();
    call->finished.release();
    return !call->failure;
}

void SessionThread::finish(const std::shared_ptr<Call> &call)
{
    wait(call, -1);
    if (call->failure)
        std::rethrow_exception(call->failure);
}

bool SessionThread::runWithin(std::function<void()> work, int ms)
{
    auto call = std::make_shared<Call>();
    call->work = std::move(work);
    post(call);
    if (!wait(call, ms)) {
        abandoned_ = true;
        return false;
    }
    return true;
}

}  // namespace korvane::mail
