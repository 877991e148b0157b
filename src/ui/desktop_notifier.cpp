#include "ui/desktop_notifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

bool serviceRuns() {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() != nullptr &&
           bus.interface()->isServiceRegistered(kService).value();
}

}  // namespace

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent) {
    QDBusConnection::sessionBus().connect(kService, kPath, kService,
                                          QStringLiteral("ActionInvoked"), this,
                                          SLOT(actionInvoked(uint, QString)));
}

void DesktopNotifier::notify(const QString& summary, const QString& body) {
    if (!serviceRuns()) {
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    call << QStringLiteral("Tarvik Zarvo Pro") << m_lastId << QStringLiteral("com.tarvik.zarvopro")
         << summary << body << QStringList{QStringLiteral("default"), QStringLiteral("Show")}
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("com.tarvik.zarvopro")}}
         << -1;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 2000);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
        m_lastId = reply.arguments().constFirst().toUInt();
    }
}

void DesktopNotifier::actionInvoked(uint id, const QString& action) {
    if (id == m_lastId && action == QLatin1String("default")) {
        Q_EMIT clicked();
    }
}
