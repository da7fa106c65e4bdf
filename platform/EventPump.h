#pragma once

namespace mdi {

// Lets the window handle its pending events once (timer ticks, Stop,
// check-box clicks). The copy loops call it once per cycle.
class EventPump {
 public:
  virtual ~EventPump() = default;
  virtual void processEvents() = 0;
  // The same, while a copy loop waits for a drive within a cycle.
  virtual void processEventsWhileWaiting() { processEvents(); }
};

}  // namespace mdi
