#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include "core/settings/ini_document.h"

namespace tev {
namespace {

// The file the user edits is the one the program writes through QSettings; the line-keeping
// reader must see the same keys and values.
TEST(IniDocument, ReadsBackWhatQSettingsWrites) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("tev3p.ini");
    {
        QSettings ini(path, QSettings::IniFormat);
        ini.setValue("mqtt/host", "127.0.0.1");
        ini.setValue("tariff/currency", QString::fromUtf8("\xE2\x82\xAC"));
        ini.setValue("tariff/band_1", "mon-fri 07:00-23:00 0.40");
        ini.setValue("tariff/note", " spaced, with comma; and semicolon ");
        ini.setValue("alerts.AB12-CD34 X/current_max", 16.5);
        ini.setValue("alerts/current_max", 40);
        ini.sync();
        ASSERT_EQ(ini.status(), QSettings::NoError);
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const auto doc = IniDocument::parse(std::string_view(bytes.constData(), bytes.size()));

    auto value = [&](std::string_view group, std::string_view key) -> std::string {
        for (const IniGroup* g : doc.find(group))
            for (const IniEntry& e : g->entries)
                if (e.key == key) return e.value;
        return "<missing>";
    };
    EXPECT_EQ(value("mqtt", "host"), "127.0.0.1");
    EXPECT_EQ(value("tariff", "currency"), "\xE2\x82\xAC");
    EXPECT_EQ(value("tariff", "band_1"), "mon-fri 07:00-23:00 0.40");
    EXPECT_EQ(value("tariff", "note"), " spaced, with comma; and semicolon ");
    EXPECT_EQ(value("alerts.AB12-CD34 X", "current_max"), "16.5");
    EXPECT_EQ(value("alerts", "current_max"), "40");
}

}  // namespace
}  // namespace tev
