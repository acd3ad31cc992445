#include "mailcheck_session.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <condition_variable>
#include <deque>
#include <mutex>

namespace korvane::mail {

// The calls waiting for the thread: those put before the waiting ones come
// first, in the order they came.
struct SessionThread::Queue {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::shared_ptr<Call>> calls;
    std::size_t first = 0;  // how many of the calls at the front were put first
    bool ending = false;

    // Runs the calls as they come until the thread is told to end; the calls
    // still waiting then are not run (nothing waits for them).
    void runCalls()
    {
        for (;;) {
            std::shared_ptr<Call> call;
            {
                std::unique_lock lock(mutex);
                ready.wait(lock, [this] { return ending || !calls.empty(); });
                if (ending)
                    return;
                call = std::move(calls.front());
                calls.pop_front();
                if (first > 0)
                    --first;
            }
            try {
                call->work();
            } catch (...) {
                call->failure = std::current_exception();
            }
            call->work = nullptr;  // what it held goes with the call
            call->finished.release();
        }
    }
};

SessionThread::SessionThread(const QString &name) : queue_(std::make_shared<Queue>())
{
    thread_ = QThread::create([queue = queue_] { queue->runCalls(); });
    thread_->setObjectName(name);
    thread_->start();
}

SessionThread::~SessionThread()
{
    {
        std::lock_guard lock(queue_->mutex);
        queue_->ending = true;
    }
    queue_->ready.notify_all();
    if (abandoned_) {
        // A call still runs: the thread goes when it is over.
        QObject::connect(thread_, &QThread::finished, thread_, &QObject::deleteLater);
        return;
    }
    thread_->wait();
    delete thread_;
}

void SessionThread::post(const std::shared_ptr<Call> &call, bool first)
{
    {
        std::lock_guard lock(queue_->mutex);
        if (first) {
            queue_->calls.insert(queue_->calls.begin() + qsizetype(queue_->first), call);
            ++queue_->first;
        } else {
            queue_->calls.push_back(call);
        }
    }
    queue_->ready.notify_one();
}

bool SessionThread::runEvents()
{
    // The loop ends with a code of its own once the events have run. An
    // event loop ends at once (-1) while the program is quitting, and with
    // the program's exit code when it is told to quit meanwhile (the main
    // window closed by one of these events).
    constexpr int EventsRan = 0x4b76;
    if (quitBefore_) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        sinceEvents_.start();
        return false;
    }
    QEventLoop probe;
    QTimer::singleShot(0, &probe, [&probe] { probe.exit(EventsRan); });
    const int code = probe.exec(QEventLoop::AllEvents);
    const bool first = !sinceEvents_.isValid();
    sinceEvents_.start();
    if (code == -1 && first) {
        // No event loop runs at all, already before this thread's first
        // wait: the quit was asked before (a main window closed where no
        // loop of the application ran, which Qt remembers until one runs).
        // It is not this check's end: the events run without a loop, and
        // the check goes on and tells what it finds.
        quitBefore_ = true;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return false;
    }
    if (code != EventsRan)
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
