#include "app/mqtt_settings_file.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace tev::app {
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
    const mqtt::MqttSettings s =
        app::loadMqttSettings(app::readSettingsFile(dir.path().toStdString()),
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
    const mqtt::MqttSettings off =
        app::loadMqttSettings(app::readSettingsFile(dir.path().toStdString()), {}, problems);
    EXPECT_FALSE(off.enabled());
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(off.clientId.rfind("tev3p-", 0), 0u);

    QFile ini(dir.filePath("tev3p.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[mqtt]\nhost=127.0.0.1\nport=http\nretain=yes\n");
    ini.close();
    const mqtt::MqttSettings s =
        app::loadMqttSettings(app::readSettingsFile(dir.path().toStdString()), {}, problems);
    EXPECT_TRUE(s.enabled());
    EXPECT_EQ(s.port, 1883);
    ASSERT_EQ(problems.size(), 2u);

    // A group header never closed is told with its line, and its keys are not taken for
    // another group's; the [mqtt] group after it is read as written.
    problems.clear();
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write("; prices\n[tariff\nhost=elsewhere\n[mqtt]\nhost=127.0.0.1\n");
    ini.close();
    const app::SettingsFile unclosed = app::readSettingsFile(dir.path().toStdString());
    ASSERT_EQ(unclosed.problems.size(), 1u);
    EXPECT_EQ(unclosed.problems[0], "tev3p.ini line 2: not a [group] header; the line is ignored");
    EXPECT_EQ(app::loadMqttSettings(unclosed, {}, problems).host, "127.0.0.1");
    EXPECT_TRUE(problems.empty());

    // A file that cannot be read at all leaves publishing off with a note; the command line
    // still names a broker.
    app::SettingsFile unreadable;
    unreadable.readable = false;
    std::vector<std::string> notes;
    EXPECT_FALSE(app::loadMqttSettings(unreadable, {}, problems, &notes).enabled());
    EXPECT_TRUE(problems.empty());
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("could not be read"), std::string::npos);
    EXPECT_TRUE(app::loadMqttSettings(unreadable, {{"host", "127.0.0.1"}}, problems).enabled());
}

}  // namespace
}  // namespace tev::app
