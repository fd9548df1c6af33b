#pragma once
#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <functional>
#include <memory>
#include <utility>

namespace norvex {

// Runs `work` on the global thread pool and then `done(result)` on the UI thread, by queued
// delivery, while `receiver` still exists.  `done` is destroyed on the UI thread either way, so
// what it holds (a busy cursor, say) is released there.
template <typename Result>
void RunOffThread(QObject* receiver, std::function<Result()> work,
                  std::function<void(Result)> done) {
    QPointer<QObject> target(receiver);
    QThreadPool::globalInstance()->start(
        [target, work = std::move(work), done = std::move(done)]() mutable {
            auto result = std::make_shared<Result>(work());
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [target, done = std::move(done), result]() mutable {
                    if (target) done(std::move(*result));
                },
                Qt::QueuedConnection);
        });
}

}  // namespace norvex
