#include "tests/fakes/GatedSource.h"

#include <chrono>

namespace mdi {

void Gate::release() {
  std::lock_guard lk(m_m);
  m_released = true;
  m_cv.notify_all();
}

bool Gate::held() const {
  std::lock_guard lk(m_m);
  return m_held;
}

bool Gate::released() const {
  std::lock_guard lk(m_m);
  return m_released;
}

bool Gate::waitGone(int seconds) {
  std::unique_lock lk(m_m);
  return m_cv.wait_for(lk, std::chrono::seconds(seconds), [&] { return m_attached == 0; });
}

void Gate::hold() {
  std::unique_lock lk(m_m);
  m_held = true;
  m_cv.notify_all();
  m_cv.wait(lk, [&] { return m_released; });
}

void Gate::attach() {
  std::lock_guard lk(m_m);
  ++m_attached;
}

void Gate::detach() {
  std::lock_guard lk(m_m);
  --m_attached;
  m_cv.notify_all();
}

}  // namespace mdi
