#include "app/ini_group.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "app/mqtt_bridge.h"

namespace tev {

bool readIniGroup(const std::string& folder, const char* group,
                  std::map<std::string, std::string>& keys) {
    const QString iniPath = QDir(QString::fromStdString(folder)).filePath(kIniFileName);
    if (!QFileInfo::exists(iniPath)) return true;
    QSettings ini(iniPath, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError) return false;
    ini.beginGroup(group);
    for (const QString& key : ini.childKeys()) {
        const QVariant v = ini.value(key);
        keys[key.toStdString()] = v.typeId() == QMetaType::QStringList
                                      ? v.toStringList().join(',').toStdString()
                                      : v.toString().toStdString();
    }
    ini.endGroup();
    return true;
}

std::string pathInFolder(const std::string& folder, const std::string& file) {
    if (file.empty() || !QDir::isRelativePath(QString::fromStdString(file))) return file;
    return QDir(QString::fromStdString(folder))
        .filePath(QString::fromStdString(file))
        .toStdString();
}

}  // namespace tev
