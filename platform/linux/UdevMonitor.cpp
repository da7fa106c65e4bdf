#include "platform/linux/UdevMonitor.h"

#include <libudev.h>
#include <unistd.h>
#include <cstring>

namespace mdi {

struct UdevMonitor::Impl {
  udev* u = nullptr;
  udev_monitor* mon = nullptr;
  ~Impl() {
    if (mon) udev_monitor_unref(mon);
    if (u) udev_unref(u);
  }
};

UdevMonitor::UdevMonitor() : m(std::make_unique<Impl>()) {
  m->u = udev_new();
  if (!m->u) return;
  // udevd's events when it runs; without it only the kernel's arrive.
  const char* source = ::access("/run/udev/control", F_OK) == 0 ? "udev" : "kernel";
  m->mon = udev_monitor_new_from_netlink(m->u, source);
  if (!m->mon) return;
  if (udev_monitor_filter_add_match_subsystem_devtype(m->mon, "block", "disk") < 0 ||
      udev_monitor_enable_receiving(m->mon) < 0) {
    udev_monitor_unref(m->mon);
    m->mon = nullptr;
  }
}

UdevMonitor::~UdevMonitor() = default;

int UdevMonitor::fd() const { return m->mon ? udev_monitor_get_fd(m->mon) : -1; }

bool UdevMonitor::takeEvents() {
  if (!m->mon) return false;
  bool any = false;
  // The socket is non-blocking: receive until nothing waits.
  while (udev_device* d = udev_monitor_receive_device(m->mon)) {
    const char* action = udev_device_get_action(d);
    if (action &&
        (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0 || std::strcmp(action, "change") == 0))
      any = true;
    udev_device_unref(d);
  }
  return any;
}

}  // namespace mdi
