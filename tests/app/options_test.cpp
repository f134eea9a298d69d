#include "app/options.h"

#include <gtest/gtest.h>

namespace tev::app {
namespace {

TEST(ProgramOptions, NoOptionsKeepTheWindowThePortsAndTheFolder) {
    const ProgramOptions o = parseProgramOptions(std::vector<std::string>{});
    EXPECT_FALSE(o.headless);
    EXPECT_FALSE(o.meterPort);
    EXPECT_FALSE(o.secondPort);
    EXPECT_TRUE(o.folder.empty());
    EXPECT_TRUE(o.mqtt.empty());
    EXPECT_TRUE(o.errors.empty());
}

TEST(ProgramOptions, HeadlessPortsFolderAndMqttKeysAreReadInBothSpellings) {
    const ProgramOptions o = parseProgramOptions(
        {"--headless", "--port", "0", "--second-port=5114", "--listen", "127.0.0.1", "--folder",
         "/srv/tev", "--mqtt-host", "broker.lan", "--mqtt-port=8883", "--mqtt-tls",
         "--mqtt-password-file", "pw.txt", "--mqtt-client-id", "desk"});
    EXPECT_TRUE(o.errors.empty());
    EXPECT_TRUE(o.headless);
    EXPECT_EQ(o.meterPort, 0);
    EXPECT_EQ(o.secondPort, 5114);
    EXPECT_EQ(o.listenAddress, "127.0.0.1");
    EXPECT_EQ(o.folder, "/srv/tev");
    const std::map<std::string, std::string> expected{{"host", "broker.lan"},
                                                      {"port", "8883"},
                                                      {"tls", "on"},
                                                      {"password_file", "pw.txt"},
                                                      {"client_id", "desk"}};
    EXPECT_EQ(o.mqtt, expected);
}

TEST(ProgramOptions, BadPortsUnknownOptionsAndMissingValuesAreEachReported) {
    const ProgramOptions o =
        parseProgramOptions({"--port", "70000", "--second-port", "x1", "--colour", "--folder"});
    ASSERT_EQ(o.errors.size(), 4u);
    EXPECT_NE(o.errors[0].find("70000"), std::string::npos);
    EXPECT_NE(o.errors[1].find("x1"), std::string::npos);
    EXPECT_EQ(o.errors[2], "unknown option --colour");
    EXPECT_EQ(o.errors[3], "--folder needs a value");
    EXPECT_FALSE(o.meterPort);
}

}  // namespace
}  // namespace tev::app
