#include "platform/dbus/UdisksBroker.h"

#include <fcntl.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QList>
#include <QVariantMap>

namespace mdi {
namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
// Resolving a path answers at once; an open waits for the operator at a
// password prompt, who may have stepped away. Stop does not wait for it.
constexpr int kResolveTimeoutMs = 30'000;
constexpr int kPromptTimeoutMs = 10 * 60'000;

using Answer = DeviceBroker::Answer;

DeviceBroker::Result failure(Answer answer, std::string detail) { return {answer, -1, std::move(detail)}; }

DeviceBroker::Result fromError(const QDBusMessage& reply) {
  return udisksAnswerTo(reply.errorName().toStdString(), reply.errorMessage().toStdString());
}

}  // namespace

DeviceBroker::Result udisksAnswerTo(const std::string& name, const std::string& message) {
  if (name == "org.freedesktop.DBus.Error.ServiceUnknown" || name == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
      name == "org.freedesktop.DBus.Error.Disconnected" || name == "org.freedesktop.DBus.Error.NoServer")
    return failure(Answer::Unavailable, "udisks2 is not running");
  if (name == "org.freedesktop.UDisks2.Error.NotAuthorized") return failure(Answer::Refused, "");
  if (name == "org.freedesktop.UDisks2.Error.NotAuthorizedDismissed")
    return failure(Answer::Refused, "the password prompt was cancelled");
  if (name == "org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain")
    return failure(Answer::Refused, "no password prompt could be shown (no polkit agent is running)");
  return failure(Answer::Failed, message);
}

DeviceBroker::Result UdisksBroker::openReadOnly(const std::string& node, bool direct) {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) return failure(Answer::Unavailable, "the system bus could not be reached");

  QDBusMessage resolve = QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/UDisks2/Manager"),
                                                        QStringLiteral("org.freedesktop.UDisks2.Manager"),
                                                        QStringLiteral("ResolveDevice"));
  resolve << QVariantMap{{QStringLiteral("path"), QString::fromStdString(node)}} << QVariantMap{};
  const QDBusMessage found = bus.call(resolve, QDBus::Block, kResolveTimeoutMs);
  if (found.type() == QDBusMessage::ErrorMessage) return fromError(found);
  const auto objects = found.arguments().isEmpty() ? QList<QDBusObjectPath>{}
                                                   : qdbus_cast<QList<QDBusObjectPath>>(found.arguments().first());
  if (objects.isEmpty()) return failure(Answer::Failed, "udisks2 does not know the device");

  QDBusMessage open = QDBusMessage::createMethodCall(
      kService, objects.first().path(), QStringLiteral("org.freedesktop.UDisks2.Block"), QStringLiteral("OpenDevice"));
  QVariantMap options;
  if (direct) options.insert(QStringLiteral("flags"), static_cast<int>(O_DIRECT));
  open << QStringLiteral("r") << options;
  open.setInteractiveAuthorizationAllowed(true);
  const QDBusMessage opened = bus.call(open, QDBus::Block, kPromptTimeoutMs);
  if (opened.type() == QDBusMessage::ErrorMessage) return fromError(opened);
  if (opened.arguments().isEmpty()) return failure(Answer::Failed, "udisks2 sent no descriptor");
  const auto fd = qdbus_cast<QDBusUnixFileDescriptor>(opened.arguments().first());
  // The message owns its descriptor: keep a copy of our own.
  const int own = fd.isValid() ? ::fcntl(fd.fileDescriptor(), F_DUPFD_CLOEXEC, 0) : -1;
  if (own < 0) return failure(Answer::Failed, "udisks2 sent no descriptor");
  return {Answer::Opened, own, {}};
}

}  // namespace mdi
