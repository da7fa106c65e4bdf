#pragma once
// What the Xvfb tests do with the screen: let the window system settle, and
// keep screenshots only when MDI_SHOT_DIR names a folder (for a person to
// look at); otherwise nothing is written.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QString>
#include <cstdlib>

namespace mdi {

inline void saveShot(const QImage& img, const char* name) {
  const char* dir = std::getenv("MDI_SHOT_DIR");
  if (dir && *dir) img.save(QString::fromLocal8Bit(dir) + "/" + name);
}
inline void saveScreenShot(const char* name) {
  saveShot(QGuiApplication::primaryScreen()->grabWindow(0).toImage(), name);
}

// Runs the event loop for `ms` milliseconds.
inline void settle(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

}  // namespace mdi
