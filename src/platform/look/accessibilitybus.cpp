#include "accessibilitybus.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QEvent>
#include <QPointer>
#include <QVariantMap>

namespace vornex {

namespace {

const QString kBusService = QStringLiteral("org.a11y.Bus");
const QString kStatusInterface = QStringLiteral("org.a11y.Status");
// The slot in which the bridge's connection reads the state and, when it is on, joins the bus.
constexpr char kReadState[] = "serviceRegistered";

// Qt 6.4's AT-SPI bridge reads the state (org.a11y.Status: IsEnabled, ScreenReaderEnabled) only
// when the bus's service appears: a screen reader that turns it on later, as Orca does when it
// starts, goes unheard until the program starts again. So this watch tells the bridge to read
// the state again whenever it changes.
class StatusWatch : public QObject
{
    Q_OBJECT

public:
    StatusWatch(QObject *bridgeConnection, QObject *parent)
        : QObject(parent), m_bridgeConnection(bridgeConnection)
    {}

public slots:
    void propertiesChanged(const QString &interface, const QVariantMap &changed,
                           const QStringList &invalidated)
    {
        if (interface != kStatusInterface || !m_bridgeConnection)
            return;
        for (const char *name : {"IsEnabled", "ScreenReaderEnabled"}) {
            const QString property = QLatin1StringView(name);
            if (changed.contains(property) || invalidated.contains(property)) {
                QMetaObject::invokeMethod(m_bridgeConnection, kReadState);
                return;
            }
        }
    }

private:
    QPointer<QObject> m_bridgeConnection;
};

// The bridge's connection to the bus belongs to no parent and is not exported; the first child
// it makes announces it.
class ConnectionFinder : public QObject
{
public:
    QPointer<QObject> found;

protected:
    bool eventFilter(QObject *receiver, QEvent *event) override
    {
        if (event->type() == QEvent::ChildAdded && !found &&
            QLatin1StringView(receiver->metaObject()->className()).endsWith(u"DBusConnection") &&
            receiver->metaObject()->indexOfMethod(QByteArray(kReadState) + "()") >= 0)
            found = receiver;
        return false;
    }
};

} // namespace

void followAccessibilityBus()
{
    ConnectionFinder finder;
    qApp->installEventFilter(&finder);
    // The platform makes its bridge on the first question about accessibility.
    QAccessible::isActive();
    qApp->removeEventFilter(&finder);
    if (!finder.found)
        return;
    auto *watch = new StatusWatch(finder.found, qApp);
    QDBusConnection::sessionBus().connect(
        kBusService, QStringLiteral("/org/a11y/bus"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"),
        watch, SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
}

} // namespace vornex

#include "accessibilitybus.moc"
