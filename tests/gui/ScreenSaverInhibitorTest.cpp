// The inhibitor against a stand-in org.freedesktop.ScreenSaver on a private
// dbus-daemon started by each test: what reaches the service, in which
// order, and that a missing bus or service stays silent.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QFile>
#include <QObject>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "GuiTestSupport.h"
#include "gui/app/ScreenSaverInhibitor.h"

namespace tapewell::test {
namespace {

using gui::ScreenSaverInhibitor;

constexpr int kWaitMs = 5000;
// How long a test waits to be sure that something does NOT happen.
constexpr int kQuietMs = 300;

// Records every call and hands out cookies 100, 101, ...
class FakeScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    QStringList applicationNames;
    QStringList reasons;
    std::vector<uint> released;
    uint nextCookie = 100;

public Q_SLOTS:
    uint Inhibit(const QString& applicationName, const QString& reason) {
        applicationNames << applicationName;
        reasons << reason;
        return nextCookie++;
    }
    void UnInhibit(uint cookie) { released.push_back(cookie); }
};

// Collects Qt's warnings while it lives, to prove the inhibitor stays quiet.
class MessageRecorder {
public:
    MessageRecorder() {
        Messages().clear();
        m_previous = qInstallMessageHandler(&Record);
    }
    ~MessageRecorder() { qInstallMessageHandler(m_previous); }
    static QStringList& Messages() {
        static QStringList messages;
        return messages;
    }

private:
    static void Record(QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg) {
            Messages() << text;
        }
    }
    QtMessageHandler m_previous = nullptr;
};

// A private session bus with two connections to it: `service` owns
// org.freedesktop.ScreenSaver when asked to, `client` is for the inhibitor.
class PrivateBus {
public:
    PrivateBus() {
        static int serial = 0;
        ++serial;
        m_serviceName = QStringLiteral("screensaver-service-%1").arg(serial);
        m_clientName = QStringLiteral("screensaver-client-%1").arg(serial);
    }
    ~PrivateBus() {
        QDBusConnection::disconnectFromBus(m_serviceName);
        QDBusConnection::disconnectFromBus(m_clientName);
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.kill();
            m_daemon.waitForFinished(kWaitMs);
        }
    }

    static QString FindDaemon() {
        const QString found = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (found.isEmpty() && QFile::exists(QStringLiteral("/usr/bin/dbus-daemon"))) {
            return QStringLiteral("/usr/bin/dbus-daemon");
        }
        return found;
    }

    // An empty string when the bus runs; otherwise why it does not.
    QString Start(const QString& program) {
        m_daemon.start(program, {QStringLiteral("--session"), QStringLiteral("--print-address"),
                                 QStringLiteral("--nofork")});
        if (!m_daemon.waitForStarted(kWaitMs)) {
            return QStringLiteral("dbus-daemon did not start: ") + m_daemon.errorString();
        }
        while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(kWaitMs)) {
        }
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        if (m_address.isEmpty()) {
            return QStringLiteral("dbus-daemon printed no address: ") +
                   QString::fromLocal8Bit(m_daemon.readAllStandardError());
        }
        return {};
    }

    QDBusConnection Service() { return QDBusConnection::connectToBus(m_address, m_serviceName); }
    QDBusConnection Client() { return QDBusConnection::connectToBus(m_address, m_clientName); }

    bool Offer(FakeScreenSaver* saver) {
        QDBusConnection bus = Service();
        return bus.isConnected() &&
               bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), saver,
                                  QDBusConnection::ExportAllSlots) &&
               bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver"));
    }

private:
    QProcess m_daemon;
    QString m_address;
    QString m_serviceName;
    QString m_clientName;
};

class ScreenSaverInhibitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString daemon = PrivateBus::FindDaemon();
        if (daemon.isEmpty()) {
            GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";
        }
        const QString why = bus.Start(daemon);
        ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    }
    PrivateBus bus;
};

TEST_F(ScreenSaverInhibitorTest, InhibitsOnceAndReleasesTheSameCookie) {
    FakeScreenSaver saver;
    ASSERT_TRUE(bus.Offer(&saver));
    ScreenSaverInhibitor inhibitor(bus.Client());
    QSignalSpy states(&inhibitor, &ScreenSaverInhibitor::StateChanged);

    inhibitor.Inhibit();
    EXPECT_FALSE(inhibitor.IsInhibited()) << "nothing is held before the service answers";
    ASSERT_TRUE(WaitFor([&] { return inhibitor.IsInhibited(); }, kWaitMs));
    EXPECT_EQ(saver.applicationNames, QStringList{QStringLiteral("Tapewell")});
    ASSERT_EQ(saver.reasons.size(), 1);
    EXPECT_FALSE(saver.reasons.front().isEmpty());

    inhibitor.Inhibit();
    WaitFor([] { return false; }, kQuietMs);
    EXPECT_EQ(saver.applicationNames.size(), 1) << "a second Inhibit asks the service again";

    inhibitor.UnInhibit();
    EXPECT_FALSE(inhibitor.IsInhibited());
    ASSERT_TRUE(WaitFor([&] { return !saver.released.empty(); }, kWaitMs));
    EXPECT_EQ(saver.released, std::vector<uint>{100});
    inhibitor.UnInhibit();
    WaitFor([] { return false; }, kQuietMs);
    EXPECT_EQ(saver.released.size(), 1u) << "a second UnInhibit releases again";

    // Taken again after a release: a fresh cookie, and every change signalled once.
    inhibitor.Inhibit();
    ASSERT_TRUE(WaitFor([&] { return inhibitor.IsInhibited(); }, kWaitMs));
    EXPECT_EQ(saver.applicationNames.size(), 2);
    ASSERT_EQ(states.size(), 3);
    EXPECT_TRUE(states[0][0].toBool());
    EXPECT_FALSE(states[1][0].toBool());
    EXPECT_TRUE(states[2][0].toBool());
}

TEST_F(ScreenSaverInhibitorTest, ReleasesACookieThatArrivesAfterUnInhibit) {
    FakeScreenSaver saver;
    ASSERT_TRUE(bus.Offer(&saver));
    ScreenSaverInhibitor inhibitor(bus.Client());
    QSignalSpy states(&inhibitor, &ScreenSaverInhibitor::StateChanged);

    inhibitor.Inhibit();
    inhibitor.UnInhibit();
    ASSERT_TRUE(WaitFor([&] { return !saver.released.empty(); }, kWaitMs));
    EXPECT_EQ(saver.released, std::vector<uint>{100});
    EXPECT_FALSE(inhibitor.IsInhibited());
    EXPECT_TRUE(states.isEmpty()) << "no cookie was ever held";

    // Off and on again before the reply: the user wants it on, so it is kept.
    inhibitor.Inhibit();
    inhibitor.UnInhibit();
    inhibitor.Inhibit();
    ASSERT_TRUE(WaitFor([&] { return inhibitor.IsInhibited(); }, kWaitMs));
    WaitFor([] { return false; }, kQuietMs);
    EXPECT_EQ(saver.applicationNames.size(), 2) << "only one call while one is on its way";
    EXPECT_EQ(saver.released.size(), 1u);
}

TEST_F(ScreenSaverInhibitorTest, DestructorReleasesHeldAndPendingCookies) {
    FakeScreenSaver saver;
    ASSERT_TRUE(bus.Offer(&saver));

    auto held = std::make_unique<ScreenSaverInhibitor>(bus.Client());
    held->Inhibit();
    ASSERT_TRUE(WaitFor([&] { return held->IsInhibited(); }, kWaitMs));
    held.reset();
    ASSERT_TRUE(WaitFor([&] { return saver.released.size() == 1; }, kWaitMs));
    EXPECT_EQ(saver.released.back(), 100u);

    // Destroyed before the service answered: the late cookie is released too.
    auto pending = std::make_unique<ScreenSaverInhibitor>(bus.Client());
    pending->Inhibit();
    pending.reset();
    ASSERT_TRUE(WaitFor([&] { return saver.released.size() == 2; }, kWaitMs));
    EXPECT_EQ(saver.released.back(), 101u);
}

TEST_F(ScreenSaverInhibitorTest, WithoutTheServiceStaysUninhibitedAndQuiet) {
    ScreenSaverInhibitor inhibitor(bus.Client());
    QSignalSpy states(&inhibitor, &ScreenSaverInhibitor::StateChanged);
    MessageRecorder messages;

    inhibitor.Inhibit();
    WaitFor([] { return false; }, kQuietMs);
    EXPECT_FALSE(inhibitor.IsInhibited());
    inhibitor.UnInhibit();

    // The service that shows up later is used by the next Inhibit: the failed
    // call left nothing stuck behind.
    FakeScreenSaver saver;
    ASSERT_TRUE(bus.Offer(&saver));
    inhibitor.Inhibit();
    EXPECT_TRUE(WaitFor([&] { return inhibitor.IsInhibited(); }, kWaitMs));
    EXPECT_EQ(states.size(), 1);
    EXPECT_TRUE(MessageRecorder::Messages().isEmpty())
        << MessageRecorder::Messages().join('\n').toStdString();
}

TEST(ScreenSaverInhibitorNoBusTest, WithoutABusDoesNothingQuietly) {
    MessageRecorder messages;
    {
        const QDBusConnection nowhere = QDBusConnection::connectToBus(
            QStringLiteral("unix:path=%1/no-bus").arg(QString::fromStdString(TestHome().string())),
            QStringLiteral("screensaver-nowhere"));
        ASSERT_FALSE(nowhere.isConnected());
        ScreenSaverInhibitor inhibitor(nowhere);
        QSignalSpy states(&inhibitor, &ScreenSaverInhibitor::StateChanged);
        inhibitor.Inhibit();
        WaitFor([] { return false; }, kQuietMs);
        EXPECT_FALSE(inhibitor.IsInhibited());
        inhibitor.UnInhibit();
        EXPECT_TRUE(states.isEmpty());
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("screensaver-nowhere"));

    // The session's own bus when the session has none: no address, and
    // nothing under XDG_RUNTIME_DIR (a fresh folder for every test).
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    {
        ScreenSaverInhibitor inhibitor;
        inhibitor.Inhibit();
        WaitFor([] { return false; }, kQuietMs);
        EXPECT_FALSE(inhibitor.IsInhibited());
    }
    if (!address.isEmpty()) {
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    }
    EXPECT_TRUE(MessageRecorder::Messages().isEmpty())
        << MessageRecorder::Messages().join('\n').toStdString();
}

}  // namespace
}  // namespace tapewell::test

#include "ScreenSaverInhibitorTest.moc"
