#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "app/mqtt_bridge.h"

namespace tev {
namespace {

TEST(MqttSettingsFile, TheIniFileIsReadAndTheCommandLineOverridesIt) {
    QTemporaryDir dir;
    QFile ini(dir.filePath("tev3p.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(
        "[mqtt]\nhost=broker.lan\nport=1884\ntls=on\nuser=tev\npassword_file=mqtt.pw\n"
        "prefix=home/power\n");
    ini.close();
    std::vector<std::string> problems;
    const MqttSettings s = loadMqttSettings(dir.path().toStdString(),
                                            {{"port", "8883"}, {"client_id", "desk"}}, problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(s.host, "broker.lan");
    EXPECT_EQ(s.port, 8883);
    EXPECT_TRUE(s.tls);
    EXPECT_EQ(s.user, "tev");
    // A relative password file lies beside the program's files.
    EXPECT_EQ(s.passwordFile, dir.filePath("mqtt.pw").toStdString());
    EXPECT_EQ(s.prefix, "home/power");
    EXPECT_EQ(s.clientId, "desk");
}

TEST(MqttSettingsFile, WithoutFileOrOptionsPublishingIsOffAndBadKeysAreReported) {
    QTemporaryDir dir;
    std::vector<std::string> problems;
    const MqttSettings off = loadMqttSettings(dir.path().toStdString(), {}, problems);
    EXPECT_FALSE(off.enabled());
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(off.clientId.rfind("tev3p-", 0), 0u);

    QFile ini(dir.filePath("tev3p.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[mqtt]\nhost=127.0.0.1\nport=http\nretain=yes\n");
    ini.close();
    const MqttSettings s = loadMqttSettings(dir.path().toStdString(), {}, problems);
    EXPECT_TRUE(s.enabled());
    EXPECT_EQ(s.port, 1883);
    ASSERT_EQ(problems.size(), 2u);

    // A file Qt's INI reader rejects (a group header never closed) is told, and publishing
    // stays off instead of refusing the start; the command line still names a broker.
    problems.clear();
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    // (Another size than the file before: Qt keeps a file it read while its size and time
    // stay the same.)
    ini.write("; prices\n[tariff\ncurrency=EUR\n[mqtt]\nhost=127.0.0.1\n");
    ini.close();
    std::vector<std::string> notes;
    EXPECT_FALSE(loadMqttSettings(dir.path().toStdString(), {}, problems, &notes).enabled());
    EXPECT_TRUE(problems.empty());
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("could not be read"), std::string::npos);
    EXPECT_TRUE(loadMqttSettings(dir.path().toStdString(), {{"host", "127.0.0.1"}}, problems)
                    .enabled());
}

}  // namespace
}  // namespace tev
