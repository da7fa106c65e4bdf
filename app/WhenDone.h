#pragma once
// Work that may wait on a drive, run aside while the window goes on: the
// result is handed to `then` on the window's thread once the work ends,
// and never if the owner is gone by then (the work ends alone).
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>

#include "platform/Aside.h"

namespace mdi {

template <class T>
void whenDone(QObject* owner, std::function<T()> work, std::function<void(T)> then) {
  auto aside = std::make_shared<Aside<T>>(std::move(work));
  auto* poll = new QTimer(owner);
  // The window looks for the result as often as it has its events in a run.
  poll->setInterval(20);
  QObject::connect(poll, &QTimer::timeout, owner, [poll, aside, then = std::move(then)] {
    auto result = aside->wait(std::chrono::milliseconds(0));
    if (!result) return;
    poll->stop();
    poll->deleteLater();
    then(std::move(*result));
  });
  poll->start();
}

}  // namespace mdi
