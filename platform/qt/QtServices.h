#pragma once
// Qt implementations of the GUI-side platform services.
#include "platform/EventPump.h"
#include "platform/Launcher.h"
#include "platform/LocaleInfo.h"
#include "platform/MessageBox.h"
#include "platform/Pickers.h"

class QWidget;

namespace mdi {

// Application-modal QMessageBox with the given title, icon and buttons,
// over the window it belongs to. The window is built with these services,
// so it may be named after they were made.
class QtMessageBox final : public MessageBox {
 public:
  explicit QtMessageBox(QWidget* parent = nullptr) : m_parent(parent) {}
  void setWindow(QWidget* window) { m_parent = window; }
  MsgAnswer show(const Message& m) override;

 private:
  QWidget* m_parent;
};

// File dialogs over the window they belong to, named as for QtMessageBox.
class QtPickers final : public Pickers {
 public:
  explicit QtPickers(QWidget* parent = nullptr) : m_parent(parent) {}
  void setWindow(QWidget* window) { m_parent = window; }
  std::string chooseFolder(const std::string& title) override;
  std::vector<std::string> chooseFiles(const std::string& title, const std::string& startFolder) override;

 private:
  QWidget* m_parent;
};

class QtEventPump final : public EventPump {
 public:
  void processEvents() override;
};

class QtLauncher final : public Launcher {
 public:
  bool startDetached(const std::string& program, const std::vector<std::string>& args) override;
};

class QtLocale final : public LocaleInfo {
 public:
  Separators separators() const override;
};

}  // namespace mdi
