// Runs a blocking job on a worker thread while the calling (user-interface)
// thread waits in a local event loop that repaints and answers the desktop
// but takes no user input: to the caller the job is synchronous.
#pragma once

#include <QEventLoop>
#include <QMetaObject>
#include <optional>
#include <thread>
#include <utility>

namespace zx840 {

template <typename Job>
auto RunWhileResponsive(Job&& job) -> decltype(job()) {
    using Result = decltype(job());
    std::optional<Result> result;
    QEventLoop loop;
    std::thread worker([&] {
        result.emplace(job());
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    return std::move(*result);
}

}  // namespace zx840
