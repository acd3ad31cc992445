#pragma once
// The thread of one mail check's POP3 session. Every blocking call of the
// session runs on it, one at a time, while the user-interface thread waits
// for it. One thread serves the whole check instead of one thread per call: a
// check makes a few calls per mail, and starting a thread costs about as much
// as a POP3 command on this machine. The calls need no event loop of their
// own: the thread takes them from a queue of its own, which costs a fraction
// of what an event posted to a thread's event loop does.
//
// The windows go on while the check runs: a wait runs the events that have
// come (the windows' drawing, the pilgrim's walk, a click) about 60 times a
// second and sleeps on the call in between, so that a call's end is seen at
// once.
#include <QElapsedTimer>
#include <QSemaphore>
#include <QString>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>

class QThread;

namespace korvane::mail {

class SessionThread {
public:
    explicit SessionThread(const QString &name = QStringLiteral("pop3 session"));
    // Ends the thread once its calls are done. A thread left running by a
    // call that did not end in time ends by itself after that call.
    ~SessionThread();
    SessionThread(const SessionThread &) = delete;
    SessionThread &operator=(const SessionThread &) = delete;

    // Runs `call` on the session thread and returns when it has finished;
    // an exception it throws is thrown here.
    void run(const std::function<void()> &call);

    struct Call;
    // Where a started call goes: after every call started before it, or
    // before those that have not begun yet (after the one running and other
    // such calls).
    enum class Order { InTurn, BeforeWaiting };
    // Starts `call` and returns at once. finish() waits for it (as run()
    // does) and throws what it threw. A started call must be finished before
    // what it uses goes away.
    std::shared_ptr<Call> start(std::function<void()> call, Order order = Order::InTurn);
    void finish(const std::shared_ptr<Call> &call);
    // Blocks until `call` has ended, on a thread other than the one that
    // started it (a worker that needs its outcome); it is still to be
    // finished there, but only once this has returned. False when it failed.
    static bool awaitOnWorker(const std::shared_ptr<Call> &call);
    // True once `call` has ended (finish() then returns at once).
    static bool done(const std::shared_ptr<Call> &call) { return call->finished.available() > 0; }

    // Runs `call` and waits at most `ms` milliseconds. False when it has not
    // finished by then: it goes on alone, so it must hold (by value) all it
    // uses; the thread then ends after it and this object must not be used
    // for another call.
    bool runWithin(std::function<void()> call, int ms);

    // True once the program has been told to end (its main window closed).
    // Asked of a short event loop, which ends at once while the program is
    // quitting, so the answer does not depend on a call having waited; the
    // events that have come run meanwhile.
    bool applicationQuitting();

    // How often the events run during a wait.
    static constexpr int FrameMs = 16;

    // Called on the user-interface thread as soon as a wait finds the
    // program ending: it makes the running call give up, so that the
    // program never waits on a slow server.
    void setCancel(std::function<void()> cancel) { cancel_ = std::move(cancel); }

    struct Call {
        std::function<void()> work;
        QSemaphore finished;
        std::exception_ptr failure;
    };

    struct Queue;

private:
    void post(const std::shared_ptr<Call> &call, bool first = false);
    bool wait(const std::shared_ptr<Call> &call, int ms);

    QThread *thread_ = nullptr;
    std::shared_ptr<Queue> queue_;  // shared with the thread, which may outlive this
    bool abandoned_ = false;
    bool quitting_ = false;
    bool quitBefore_ = false;  // the program was told to quit before the first wait
    QElapsedTimer sinceEvents_;  // since the events last ran
    std::function<void()> cancel_;
    void noticeQuitting();
    // Runs the events that have come, once; true when the program is ending.
    bool runEvents();
};

}  // namespace korvane::mail
