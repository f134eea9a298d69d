#include <QLabel>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include "tests/window/mainwindow/tsdf_fixture.h"
#include "tools/hoq-sim/meter_messages.h"

namespace tev::testing {
namespace {

bool logHas(const EventLog& log, const std::string& text) {
    for (const std::string& line : log.lines())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

std::string sampleData(const std::string& id, int secs) {
    sim::DataWords w;
    w.decimals = {230.5, 229.5, 231.0, 0, 0, 0, 5.0, 4.0, 3.0, 12.5};
    return sim::buildDataMessage(id, "192.168.1.20", 240802, secs, w) + std::string(sim::kCrLf);
}

class TsdfMeterLinkTest : public TsdfTest {
  protected:
    // A meter on loopback, connected to the window's meter socket.
    std::unique_ptr<QTcpSocket> connectMeter() {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, sdf->meterServer().meterPort());
        EXPECT_TRUE(socket->waitForConnected(5000));
        return socket;
    }
    void sendAndWait(QTcpSocket& socket, const std::string& text, int meterCount) {
        socket.write(text.data(), static_cast<qint64>(text.size()));
        socket.flush();
        for (int i = 0; i < 500 && sdf->meterCount() != meterCount; ++i) QTest::qWait(10);
    }
    void tick() {
        sdf->Timer1Timer();
        clock.advanceSeconds(1);
    }
};

TEST_F(TsdfMeterLinkTest, SilentStartWarnsFiveTimesThenRaisesTheOfflineAlarmOnce) {
    for (int i = 0; i < 110; ++i) tick();
    std::vector<Tone> expected(5, Tone{1200, 250});
    expected.push_back({1400, 1000});
    EXPECT_EQ(tones.tones, expected);
    const SdfControls& k = sdf->controls();
    EXPECT_EQ(k.Connect_l->text(), QString::fromUtf8("- 未連線 -"));
    EXPECT_EQ(textColour(k.Connect_l), QColor(128, 128, 128));
    EXPECT_TRUE(k.id_l->text().isEmpty());
    EXPECT_TRUE(logHas(sdf->eventLog(), "2024/8/2 8:6 > HOQ 離線警示! "));
}

TEST_F(TsdfMeterLinkTest, MeterOnTheRealSocketFeedsTheStoreLabelsAndChart) {
    auto meter = connectMeter();
    sendAndWait(*meter, sampleData("A1B2C3D4E5F6", 29100), 1);
    ASSERT_EQ(sdf->meterCount(), 1);
    EXPECT_EQ(sdf->store().registry.rows[0].Id.view(), "A1B2C3D4E5F6");
    EXPECT_FLOAT_EQ(sdf->store().live.V1, 230.5f);
    EXPECT_EQ(sdf->store().calendar.DataFlag, 1);
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1800, 250}}));
    EXPECT_TRUE(logHas(sdf->eventLog(), " > HOQ 連線 192.168.1.20  ID: A1B2C3D4E5F6"));

    sdf->clientArea()->grab();
    const SdfControls& k = sdf->controls();
    EXPECT_EQ(k.Connect_l->text(), QString::fromUtf8("連線 192.168.1.20"));
    EXPECT_EQ(k.id_l->text(), "ID: A1B2C3D4E5F6");

    // The tick at 08:06:00 closes the first Min row and refreshes the clock label; the rows
    // carry today's date from the start-up snapshot.
    clock.set(2024, 8, 2, 8, 5, 58);
    tick();
    tick();
    tick();
    const ScaleTable& min = sdf->store().table(TimeScale::Min);
    EXPECT_EQ(min.cnt, 1);
    EXPECT_EQ(min.date(0), 240802);
    EXPECT_EQ(min.time(0), 485);
    EXPECT_EQ(k.Time_lb->text(), "8 : 6      ");
    EXPECT_EQ(sdf->store().table(TimeScale::Week).date(0), 240802);
}

TEST_F(TsdfMeterLinkTest, LinkSwitchOffDropsTheMeterAndOnListensAgain) {
    auto meter = connectMeter();
    sendAndWait(*meter, sampleData("A1B2C3D4E5F6", 29100), 1);
    ASSERT_EQ(sdf->meterCount(), 1);
    tones.tones.clear();

    const SdfMenu& m = sdf->mainMenu();
    m.link_b->trigger();
    EXPECT_EQ(sdf->linkFlag(), 0);
    EXPECT_EQ(sdf->meterCount(), 0);
    EXPECT_FALSE(m.link_b->isChecked());
    EXPECT_EQ(m.link_b->text(), QString::fromUtf8("OFF 連線關閉"));
    EXPECT_EQ(tones.tones, (std::vector<Tone>{{1200, 200}}));
    const auto& lines = sdf->eventLog().lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "TCP/IP OFF-Line !");
    EXPECT_EQ(lines.back(), "");
    EXPECT_FALSE(sdf->meterServer().isListening());
    const SdfControls& k = sdf->controls();
    EXPECT_EQ(k.Connect_l->text(), QString::fromUtf8("- 未連線 -"));
    EXPECT_EQ(textColour(k.Connect_l), QColor(128, 128, 128));
    EXPECT_TRUE(k.id_l->text().isEmpty());
    // The meter's connection is closed.
    for (int i = 0; i < 200 && meter->state() == QAbstractSocket::ConnectedState; ++i)
        QTest::qWait(10);
    EXPECT_NE(meter->state(), QAbstractSocket::ConnectedState);

    m.link_b->trigger();
    EXPECT_EQ(sdf->linkFlag(), 1);
    EXPECT_TRUE(m.link_b->isChecked());
    EXPECT_EQ(m.link_b->text(), QString::fromUtf8("ON 連線開啟"));
    EXPECT_EQ(tones.tones.back(), (Tone{1500, 200}));
    EXPECT_TRUE(sdf->meterServer().isListening());
    EXPECT_EQ(k.ip_l->text(), QString::fromStdString("IP " + sdf->computerIp()));
    auto again = connectMeter();
    sendAndWait(*again, sampleData("A1B2C3D4E5F6", 29160), 1);
    EXPECT_EQ(sdf->meterCount(), 1);
}

TEST_F(TsdfMeterLinkTest, PortInUseIsLoggedInPlainWordsAndTheWindowRuns) {
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, 0));
    WindowSeams p = seams(&tones);
    p.sockets.meterPort = squatter.serverPort();
    Tsdf second(p);
    const std::string port = std::to_string(squatter.serverPort());
    bool found = false;
    for (const std::string& line : second.eventLog().lines())
        found = found ||
                (line.find(port) != std::string::npos && line.find("in use") != std::string::npos);
    EXPECT_TRUE(found);
    second.Timer1Timer();
    EXPECT_EQ(second.store().calendar.SilenceCount, 1);
}

}  // namespace
}  // namespace tev::testing
