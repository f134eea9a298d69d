#include "platform/qt/qt_dialogs.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
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
    return QDesktopServices::openUrl(QUrl(qs(url)));
}

}  // namespace tev
