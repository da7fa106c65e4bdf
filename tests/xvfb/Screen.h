#pragma once
// What the Xvfb tests share: why they skip, when the binary runs on no X
// server of its own (private-x.sh starts one around it), and their
// screenshots, kept only when MDI_SHOT_DIR names a folder (for a person to
// look at); otherwise nothing is written.
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QString>
#include <cstdlib>
#include <string>

namespace mdi {

// Empty when the tests can run; otherwise why they skip.
std::string& xSkipReason();

inline void saveShot(const QImage& img, const char* name) {
  const char* dir = std::getenv("MDI_SHOT_DIR");
  if (dir && *dir) img.save(QString::fromLocal8Bit(dir) + "/" + name);
}
inline void saveScreenShot(const char* name) {
  saveShot(QGuiApplication::primaryScreen()->grabWindow(0).toImage(), name);
}

}  // namespace mdi
