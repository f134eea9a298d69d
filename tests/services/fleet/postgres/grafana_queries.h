#pragma once

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <string>
#include <vector>

namespace tev::testing {

// One panel's, annotation's or variable's SQL of the Grafana dashboard, as Grafana sends it.
struct GrafanaQuery {
    std::string name;  // the panel's title, the annotation's or the variable's name
    std::string sql;
};

// Every query of the dashboard at `path` with Grafana's macros and the dashboard's variables
// filled in: the time range [from, to] (timestamptz literals), the sites and meters picked (SQL
// lists of quoted names) and $__interval_ms, which Grafana derives from the range and the
// panel's width or its maxDataPoints.
inline std::vector<GrafanaQuery> grafanaQueries(const char* path, const std::string& from,
                                                const std::string& to, const std::string& sites,
                                                const std::string& meters, int intervalSeconds) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QJsonObject dash = QJsonDocument::fromJson(file.readAll()).object();
    std::vector<std::pair<QString, QString>> raw;
    for (const QJsonValue p : dash["panels"].toArray())
        for (const QJsonValue t : p.toObject()["targets"].toArray())
            raw.emplace_back(p.toObject()["title"].toString(), t.toObject()["rawSql"].toString());
    for (const QJsonValue a : dash["annotations"].toObject()["list"].toArray())
        if (a.toObject()["target"].toObject().contains("rawSql"))
            raw.emplace_back("annotation " + a.toObject()["name"].toString(),
                             a.toObject()["target"].toObject()["rawSql"].toString());
    for (const QJsonValue v : dash["templating"].toObject()["list"].toArray())
        if (v.toObject()["type"].toString() == "query")
            raw.emplace_back("variable " + v.toObject()["name"].toString(),
                             v.toObject()["query"].toString());
    std::vector<GrafanaQuery> out;
    for (auto& [name, sql] : raw) {
        sql.replace("$__timeFilter(t)",
                    QString::fromStdString("t BETWEEN '" + from + "' AND '" + to + "'"));
        sql.replace("$site", QString::fromStdString(sites));
        sql.replace("$meter", QString::fromStdString(meters));
        sql.replace("$__interval_ms", QString::number(intervalSeconds * 1000));
        sql.replace("${price_per_kwh:sqlstring}", "'0.30'");
        out.push_back({name.toStdString(), sql.toStdString()});
    }
    return out;
}

}  // namespace tev::testing
