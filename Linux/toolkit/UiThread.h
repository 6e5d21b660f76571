#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <functional>
#include <optional>
#include <utility>

// The one way from a worker onto the thread of a window. On that thread the
// code runs at once; from a worker it is queued to the window's event loop.
// A null window stands for the application.

inline QObject* UiTarget(QObject* window)
{
    return window ? window : QCoreApplication::instance();
}

// Progress and texts: queued, the worker goes on at once.
inline void PostToUiThread(QObject* window, std::function<void()> fn)
{
    QObject* target = UiTarget(window);
    if (QThread::currentThread() == target->thread())
        fn();
    else
        QMetaObject::invokeMethod(target, std::move(fn), Qt::QueuedConnection);
}

// Messages and choices: the worker waits until the code has run. A window
// destroyed meanwhile drops the call, and the worker goes on.
inline void RunOnUiThread(QObject* window, const std::function<void()>& fn)
{
    QObject* target = UiTarget(window);
    if (QThread::currentThread() == target->thread())
        fn();
    else
        QMetaObject::invokeMethod(target, fn, Qt::BlockingQueuedConnection);
}

// A question answered on the window's thread; the worker waits for the
// answer. A call dropped with its window answers `unanswered`.
template <typename Answer>
Answer AskOnUiThread(QObject* window, const std::function<Answer()>& ask, Answer unanswered)
{
    std::optional<Answer> answer;
    RunOnUiThread(window, [&] { answer = ask(); });
    return answer ? *answer : unanswered;
}
