#pragma once
// Work that may wait on a drive, done on a thread of its own so that the
// caller can keep its window alive, and give the work up, meanwhile.
//
// The thread owns everything the work uses (its captures) and the shared
// state the result goes to: an Aside given up, or destroyed before the work
// ends, leaves the thread to finish alone and free them.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/EventPump.h"

namespace mdi {

template <class T>
class Aside {
 public:
  explicit Aside(std::function<T()> work) : m_state(std::make_shared<State>()) {
    std::thread([state = m_state, work = std::move(work)] {
      T result = work();
      std::lock_guard lk(state->m);
      state->result = std::move(result);
      state->cv.notify_all();
    }).detach();
  }
  // The result, once the work has ended; nullopt when `timeout` ran out
  // first. The result is moved out: only the first wait that sees it gets it.
  std::optional<T> wait(std::chrono::milliseconds timeout) {
    std::unique_lock lk(m_state->m);
    if (!m_state->cv.wait_for(lk, timeout, [&] { return m_state->result.has_value(); })) return std::nullopt;
    return std::move(m_state->result);
  }

 private:
  struct State {
    std::mutex m;
    std::condition_variable cv;
    std::optional<T> result;
  };
  std::shared_ptr<State> m_state;
};

// Runs `work` aside while the window keeps its events (`pump`); nullopt
// when `stopped` held first, the work then being left to end alone. Work
// given up must own what it uses: capture values and shared holders, never
// the caller's locals.
template <class T>
std::optional<T> awaitAside(EventPump& pump, const std::function<bool()>& stopped, std::function<T()> work) {
  Aside<T> aside(std::move(work));
  for (;;) {
    if (auto r = aside.wait(std::chrono::milliseconds(20))) return r;
    pump.processEventsWhileWaiting();
    if (stopped()) return std::nullopt;
  }
}

}  // namespace mdi
