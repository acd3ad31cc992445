#include "mailcheck_session.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QThread>
#include <QTimer>

namespace korvane::mail {

SessionThread::SessionThread()
{
    thread_ = new QThread;
    thread_->setObjectName(QStringLiteral("pop3 session"));
    context_ = new QObject;
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

void SessionThread::post(const std::shared_ptr<Call> &call)
{
    QMetaObject::invokeMethod(
        context_,
        [call] {
            try {
                call->work();
            } catch (...) {
                call->failure = std::current_exception();
            }
            call->work = nullptr;  // what it held goes with the call
            call->finished.release();
            // Wakes the waiting loop, on the user-interface thread.
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [call] {
                    if (call->waiting)
                        call->waiting->quit();
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

bool SessionThread::applicationQuitting()
{
    if (!quitting_) {
        QEventLoop probe;
        QTimer::singleShot(0, &probe, [&probe] { probe.exit(0); });
        if (probe.exec(QEventLoop::AllEvents) == -1)
            noticeQuitting();
    }
    return quitting_;
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
    if (call->finished.tryAcquire())
        return true;
    QEventLoop loop;
    QTimer limit;
    if (ms >= 0) {
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        limit.start(ms);
    }
    call->waiting = &loop;
    if (!call->finished.tryAcquire()) {
        // An event loop ends at once (-1) while the program is quitting, and
        // one that runs ends when the program is told to quit.
        const int rc = loop.exec(QEventLoop::AllEvents);
        call->waiting = nullptr;
        if (ms >= 0) {
            if (rc == -1)
                noticeQuitting();
            return call->finished.tryAcquire();
        }
        // Without a limit the loop ends before its call only when the program
        // is quitting: the call is made to give up, and still waited for, so
        // that nothing it uses goes away under it.
        if (!call->finished.tryAcquire()) {
            noticeQuitting();
            call->finished.acquire();
        }
        return true;
    }
    call->waiting = nullptr;
    return true;
}

void SessionThread::run(const std::function<void()> &work)
{
    finish(start(work));
}

std::shared_ptr<SessionThread::Call> SessionThread::start(std::function<void()> work)
{
    auto call = std::make_shared<Call>();
    call->work = std::move(work);
    post(call);
    return call;
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
