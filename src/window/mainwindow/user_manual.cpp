#include "window/mainwindow/user_manual.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace tev {

std::vector<std::string> userManualCandidates(const std::string& programDirectory) {
    const QDir dir(QString::fromStdString(programDirectory));
    std::vector<std::string> candidates = {
        QDir::cleanPath(dir.filePath(QStringLiteral("../share/tev3p/") + kUserManualFileName))
            .toStdString(),
        QDir::cleanPath(dir.filePath(QStringLiteral("docs/") + kUserManualFileName)).toStdString(),
        // The program proper, installed in libexec/tev3p/.
        QDir::cleanPath(dir.filePath(QStringLiteral("../../share/tev3p/") + kUserManualFileName))
            .toStdString(),
    };
#ifdef TEV_SOURCE_DOCS_DIR
    candidates.push_back(std::string(TEV_SOURCE_DOCS_DIR) + "/" + kUserManualFileName);
#endif
    return candidates;
}

std::string findUserManual(const std::string& programDirectory) {
    for (const std::string& candidate : userManualCandidates(programDirectory)) {
        const QFileInfo info(QString::fromStdString(candidate));
        if (info.isFile()) return info.absoluteFilePath().toStdString();
    }
    return {};
}

std::string fileUrl(const std::string& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path))
        .toString(QUrl::FullyEncoded)
        .toStdString();
}

}  // namespace tev
