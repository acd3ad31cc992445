#pragma once
// The thread of one mail check's POP3 session. Every blocking call of the
// session runs on it, one at a time, while the user-interface thread waits in
// a local event loop (windows repaint, timers tick, the pilgrim walks), the
// way common/background.h runs one call. One thread serves the whole check
// instead of one thread per call: a check makes a few calls per mail, and
// starting a thread costs about as much as a POP3 command on this machine.
#include <QSemaphore>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>

class QEventLoop;
class QObject;
class QThread;

namespace korvane::mail {

class SessionThread {
public:
    SessionThread();
    // Ends the thread once its calls are done. A thread left running by a
    // call that did not end in time ends by itself after that call.
    ~SessionThread();
    SessionThread(const SessionThread &) = delete;
    SessionThread &operator=(const SessionThread &) = delete;

    // Runs `call` on the session thread and returns when it has finished;
    // an exception it throws is thrown here.
    void run(const std::function<void()> &call);

    struct Call;
    // Starts `call` and returns at once; calls run in the order started.
    // finish() waits for it (as run() does) and throws what it threw. A
    // started call must be finished before what it uses goes away.
    std::shared_ptr<Call> start(std::function<void()> call);
    void finish(const std::shared_ptr<Call> &call);

    // Runs `call` and waits at most `ms` milliseconds. False when it has not
    // finished by then: it goes on alone, so it must hold (by value) all it
    // uses; the thread then ends after it and this object must not be used
    // for another call.
    bool runWithin(std::function<void()> call, int ms);

    // True once a wait found the program ending (its main window closed):
    // the local event loop no longer runs, so the check should wind up.
    // True once the program has been told to end (its main window closed).
    // Asked of a short event loop, which ends at once while the program is
    // quitting, so the answer does not depend on a call having waited.
    bool applicationQuitting();

    // Called on the user-interface thread as soon as a wait finds the
    // program ending: it makes the running call give up, so that the
    // program never waits on a slow server.
    void setCancel(std::function<void()> cancel) { cancel_ = std::move(cancel); }

    struct Call {
        std::function<void()> work;
        QSemaphore finished;
        std::exception_ptr failure;
        QEventLoop *waiting = nullptr;  // touched on the user-interface thread only
    };

private:
    void post(const std::shared_ptr<Call> &call);
    bool wait(const std::shared_ptr<Call> &call, int ms);

    QThread *thread_ = nullptr;
    QObject *context_ = nullptr;  // lives on the session thread
    bool abandoned_ = false;
    bool quitting_ = false;
    std::function<void()> cancel_;
    void noticeQuitting();
};

}  // namespace korvane::mail
