#pragma once
// Qt implementations of the GUI-side platform services.
#include "platform/EventPump.h"
#include "platform/Launcher.h"
#include "platform/LocaleInfo.h"
#include "platform/MessageBox.h"
#include "platform/Pickers.h"

class QWidget;

namespace mdi {

// Application-modal QMessageBox with the given title, icon and buttons.
class QtMessageBox final : public MessageBox {
 public:
  explicit QtMessageBox(QWidget* parent) : m_parent(parent) {}
  MsgAnswer show(const Message& m) override;
 private:
  QWidget* m_parent;
};

class QtPickers final : public Pickers {
 public:
  explicit QtPickers(QWidget* parent) : m_parent(parent) {}
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
