#include "platform/qt/qt_dialogs.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace tev {
namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

std::optional<std::string> chosen(const QString& path) {
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}

constexpr int kHandlerQueryTimeoutMs = 3000;

// On a Linux desktop, xdg-open starts whether or not anything can show the page, so a started
// launcher says nothing; the desktop's MIME database is asked for a handler first. Without
// xdg-mime, Qt looks for a launcher itself and reports when it finds none.
bool desktopHasHandlerFor(const QUrl& url) {
    if (!qEnvironmentVariableIsEmpty("BROWSER")) return true;
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty()) return true;
    const QString type = url.isLocalFile()
                             ? QMimeDatabase().mimeTypeForFile(url.toLocalFile()).name()
                             : QStringLiteral("x-scheme-handler/") + url.scheme();
    QProcess query;
    query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), type});
    if (!query.waitForFinished(kHandlerQueryTimeoutMs)) {
        query.kill();
        query.waitForFinished();
        return true;
    }
    return !query.readAllStandardOutput().trimmed().isEmpty();
}

}  // namespace

std::optional<std::string> QtFileChooser::chooseSaveFile(const FileDialogRequest& request) {
    // No overwrite question: the commands replace a chosen file as they always have.
    return chosen(QFileDialog::getSaveFileName(parent_, qs(request.title), qs(request.fileName),
                                               qs(request.filter), nullptr,
                                               QFileDialog::DontConfirmOverwrite));
}

std::optional<std::string> QtFileChooser::chooseOpenFile(const FileDialogRequest& request) {
    return chosen(QFileDialog::getOpenFileName(parent_, qs(request.title), qs(request.fileName),
                                               qs(request.filter)));
}

void QtMessageBoxes::inform(const std::string& title, const std::string& text) {
    QMessageBox::information(parent_, qs(title), qs(text));
}

void QtMessageBoxes::warn(const std::string& title, const std::string& text) {
    QMessageBox::warning(parent_, qs(title), qs(text));
}

bool QtMessageBoxes::askYesNo(const std::string& title, const std::string& text) {
    return QMessageBox::question(parent_, qs(title), qs(text), QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void QtClipboard::setText(const std::string& text) {
    QGuiApplication::clipboard()->setText(qs(text));
}

bool QtUrlOpener::open(const std::string& url) {
    const QUrl address(qs(url));
#if defined(Q_OS_LINUX)
    if (!desktopHasHandlerFor(address)) return false;
#endif
    return QDesktopServices::openUrl(address);
}

}  // namespace tev
