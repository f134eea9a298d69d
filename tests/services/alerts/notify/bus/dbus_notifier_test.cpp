#include "services/alerts/notify/dbus_notifier.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QVariantMap>

#include "tests/support/qt_application.h"

namespace tev::alerts {
namespace {

// A notification server as small as the test needs: it keeps what it was asked to show.
class FakeNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    struct Shown {
        QString app, summary, body;
    };
    std::vector<Shown> shown;

  public slots:
    uint Notify(const QString& app, uint, const QString&, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap&, int) {
        shown.push_back({app, summary, body});
        return static_cast<uint>(shown.size());
    }
};

// A private session bus for one test: no service files, so nothing is started on demand.
class SessionBus {
  public:
    SessionBus() {
        EXPECT_TRUE(dir_.isValid());
        const QString config = dir_.filePath("session.conf");
        QFile f(config);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\""
            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig><type>session</type><listen>unix:dir=" +
            dir_.path().toUtf8() +
            "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
            "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
            "<allow own=\"*\"/></policy></busconfig>\n");
        f.close();
        daemon_.start(DBUS_DAEMON_PATH,
                      {"--config-file=" + config, "--nofork", "--print-address=1"});
        EXPECT_TRUE(daemon_.waitForStarted(10000)) << "dbus-daemon did not start";
        EXPECT_TRUE(daemon_.waitForReadyRead(10000)) << "dbus-daemon gave no address";
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~SessionBus() {
        for (const QString& name : names_) QDBusConnection::disconnectFromBus(name);
        daemon_.terminate();
        daemon_.waitForFinished(5000);
    }
    QDBusConnection connect(const QString& name) {
        names_.push_back(name);
        return QDBusConnection::connectToBus(address_, name);
    }

  private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

TEST(DbusNotifier, ANotificationServerOnTheSessionBusGetsSummaryAndBody) {
    testing::qtApplication();
    SessionBus bus;
    QDBusConnection serverSide = bus.connect("server");
    ASSERT_TRUE(serverSide.isConnected());
    FakeNotificationServer server;
    ASSERT_TRUE(serverSide.registerObject("/org/freedesktop/Notifications", &server,
                                          QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(serverSide.registerService("org.freedesktop.Notifications"));

    DbusNotifier notifier(bus.connect("client"));
    notifier.notify("Alert: current L2", "Meter HOQ000000001: current L2 = 41.2 A (limit 40.0 A)");
    notifier.notify("Alert over: current L2", "Meter \xE9\x9B\xBB\xE9\x8C\xB6");
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.shown.size() == 2; }, 10000));
    EXPECT_EQ(server.shown[0].app, "TEV3P");
    EXPECT_EQ(server.shown[0].summary, "Alert: current L2");
    EXPECT_EQ(server.shown[0].body, "Meter HOQ000000001: current L2 = 41.2 A (limit 40.0 A)");
    EXPECT_EQ(server.shown[1].body, QString::fromUtf8("Meter \xE9\x9B\xBB\xE9\x8C\xB6"));
}

TEST(DbusNotifier, WithoutAServerOrWithoutABusNothingIsShownAndNothingFails) {
    testing::qtApplication();
    SessionBus bus;
    DbusNotifier notifier(bus.connect("lonely"));
    notifier.notify("Alert: demand", "nobody listens");
    QTest::qWait(100);  // the bus answers "no such service"; nobody waits for it
    EXPECT_EQ(notifier.sent(), 1);

    DbusNotifier noBus(QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "nobus"));
    noBus.notify("Alert: demand", "no bus at all");
    EXPECT_EQ(noBus.sent(), 0);
    QDBusConnection::disconnectFromBus("nobus");
}

}  // namespace
}  // namespace tev::alerts

#include "dbus_notifier_test.moc"
