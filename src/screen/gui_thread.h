// Running a piece of work on the thread of a Qt object (the window's thread), from any thread.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <utility>

namespace edi::screen {

// Runs f on the object's thread: at once when called there, else queued (in posting order).
template <class F>
void PostToGui(QObject* context, F&& f) {
  if (QThread::currentThread() == context->thread())
    f();
  else
    QMetaObject::invokeMethod(context, std::forward<F>(f), Qt::QueuedConnection);
}

// Runs f on the object's thread and waits until it has run (for message boxes whose answer
// the calling thread waits for). Earlier queued work of the same caller runs first.
template <class F>
void RunOnGuiAndWait(QObject* context, F&& f) {
  if (QThread::currentThread() == context->thread())
    f();
  else
    QMetaObject::invokeMethod(context, std::forward<F>(f), Qt::BlockingQueuedConnection);
}

}  // namespace edi::screen
