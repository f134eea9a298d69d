#include "app/settings_file.h"

#include <QDir>
#include <QFile>

#include "core/settings/folder_files.h"

namespace tev::app {
namespace {

// tev3p.ini is a few kilobytes; a larger file is no settings file the user wrote.
constexpr qint64 kMaxIniBytes = 1024 * 1024;

}  // namespace

std::map<std::string, std::string> SettingsFile::group(std::string_view name) const {
    return ini.values(name);
}

std::vector<std::string> SettingsFile::leftOut(std::string_view name) const {
    std::vector<std::string> out;
    for (const IniGroup* g : ini.find(name))
        for (const ConfigProblem& p : g->leftOut)
            out.push_back("[" + std::string(name) + "] line " + std::to_string(p.line) + " of " +
                          kIniFileName + " is " + p.text + ": its setting is left out");
    return out;
}

SettingsFile readSettingsFile(const std::string& folder) {
    SettingsFile settings;
    settings.folder = folder;
    QFile file(QDir(QString::fromStdString(folder)).filePath(kIniFileName));
    if (!file.exists()) return settings;
    if (!file.open(QIODevice::ReadOnly)) {
        settings.readable = false;
        settings.problems.push_back(std::string(kIniFileName) + " could not be read (" +
                                    file.errorString().toStdString() +
                                    "): every service is left at its defaults");
        return settings;
    }
    if (file.size() > kMaxIniBytes) {
        settings.readable = false;
        settings.problems.push_back(std::string(kIniFileName) +
                                    " is larger than 1 MB: it is not read");
        return settings;
    }
    const QByteArray bytes = file.readAll();
    settings.ini = IniDocument::parse(std::string_view(bytes.constData(), bytes.size()));
    for (const ConfigProblem& p : settings.ini.problems())
        settings.problems.push_back(std::string(kIniFileName) + " line " + std::to_string(p.line) +
                                    ": " + p.text);
    return settings;
}

std::string pathInFolder(const std::string& folder, const std::string& file) {
    if (file.empty() || !QDir::isRelativePath(QString::fromStdString(file))) return file;
    return QDir(QString::fromStdString(folder))
        .filePath(QString::fromStdString(file))
        .toStdString();
}

}  // namespace tev::app
