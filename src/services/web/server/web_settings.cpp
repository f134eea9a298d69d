#include "services/web/server/web_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "services/web/rules/host_rules.h"

namespace tev {
namespace {

QString inFolder(const std::string& folder, const QString& name) {
    if (name.isEmpty() || !QDir::isRelativePath(name)) return name;
    return QDir(QString::fromStdString(folder)).filePath(name);
}

}  // namespace

bool parseListenAddress(const QString& text, QHostAddress& address, quint16& port,
                        std::string& problem) {
    const int colon = text.lastIndexOf(':');
    if (colon <= 0) {
        problem = "\"" + text.toStdString() + "\" is not ADDRESS:PORT";
        return false;
    }
    QString host = text.left(colon);
    if (host.startsWith('[') && host.endsWith(']')) host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint p = text.mid(colon + 1).toUInt(&ok);
    if (!ok || p > 65535) {
        problem = "\"" + text.toStdString() + "\": the port must be 0 … 65535";
        return false;
    }
    if (host == "localhost") host = "127.0.0.1";
    const QHostAddress a(host);
    if (a.isNull()) {
        problem = "\"" + text.toStdString() + "\": " + host.toStdString() + " is not an IP address";
        return false;
    }
    address = a;
    port = static_cast<quint16>(p);
    return true;
}

WebSettings loadWebSettings(const std::string& folder, const std::string& commandLineListen,
                            std::vector<std::string>& problems) {
    WebSettings s;
    QString listen;
    const QString iniPath = QDir(QString::fromStdString(folder)).filePath(kSettingsIniName);
    if (QFileInfo::exists(iniPath)) {
        QSettings ini(iniPath, QSettings::IniFormat);
        ini.beginGroup("http");
        listen = ini.value("listen").toString();
        s.passwordFile = inFolder(folder, ini.value("password_file").toString());
        const QString anonymous = ini.value("allow_anonymous").toString().toLower();
        s.allowAnonymous = anonymous == "true" || anonymous == "1" || anonymous == "yes";
        s.tlsCert = inFolder(folder, ini.value("tls_cert").toString());
        s.tlsKey = inFolder(folder, ini.value("tls_key").toString());
        // QSettings reads "a, b" as a list.
        const QString hosts = ini.value("allowed_hosts").toStringList().join(',');
        s.allowedHosts = web::parseAllowedHosts(hosts.toStdString(), problems);
        auto number = [&](const char* key, int& into, int low, int high) {
            if (!ini.contains(key)) return;
            bool ok = false;
            const int v = ini.value(key).toInt(&ok);
            if (ok && v >= low && v <= high)
                into = v;
            else
                problems.push_back(std::string("[http] ") + key + " must be " +
                                   std::to_string(low) + " … " + std::to_string(high));
        };
        number("max_connections", s.maxConnections, 1, 100000);
        number("idle_timeout_seconds", s.idleTimeoutMs, 1, 86400);
        if (ini.contains("idle_timeout_seconds")) s.idleTimeoutMs *= 1000;
        ini.endGroup();
    }
    if (!commandLineListen.empty()) listen = QString::fromStdString(commandLineListen);
    if (listen.isEmpty()) return s;
    std::string problem;
    if (!parseListenAddress(listen, s.address, s.port, problem)) {
        problems.push_back("[http] listen " + problem);
        return s;
    }
    if (s.tlsCert.isEmpty() != s.tlsKey.isEmpty()) {
        problems.push_back("[http] tls_cert and tls_key go together: the dashboard stays off");
        return s;
    }
    s.enabled = true;
    return s;
}

}  // namespace tev
