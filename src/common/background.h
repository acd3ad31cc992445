#pragma once
// Runs a blocking call (a network call of the mail transport) off the
// user-interface thread while the user-interface thread waits in a local
// event loop: windows repaint, timers tick, the pilgrim keeps walking.
// The caller stays strictly sequential: runOffUiThread returns only when the
// call has finished, with its result.
#include <QEventLoop>
#include <QThread>

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

namespace korvane {

template <class F>
auto runOffUiThread(F &&call) -> std::invoke_result_t<F>
{
    using R = std::invoke_result_t<F>;
    if constexpr (std::is_void_v<R>) {
        runOffUiThread([&] {
            call();
            return true;
        });
    } else {
        std::optional<R> result;
        std::exception_ptr failure;
        QEventLoop loop;
        QThread *thread = QThread::create([&] {
            try {
                result.emplace(call());
            } catch (...) {
                failure = std::current_exception();
            }
        });
        QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
        thread->start();
        loop.exec(QEventLoop::AllEvents);
        thread->wait();
        delete thread;
        if (failure)
            std::rethrow_exception(failure);
        return std::move(*result);
    }
}

}  // namespace korvane
