#pragma once

#include "platform/dialogs.h"

class QWidget;

namespace tev {

// The Qt file dialogs, parented to a window that is set once it exists.
class QtFileChooser final : public FileChooser {
  public:
    void setParent(QWidget* parent) { parent_ = parent; }
    std::optional<std::string> chooseSaveFile(const FileDialogRequest& request) override;
    std::optional<std::string> chooseOpenFile(const FileDialogRequest& request) override;

  private:
    QWidget* parent_ = nullptr;
};

class QtMessageBoxes final : public MessageBoxes {
  public:
    void setParent(QWidget* parent) { parent_ = parent; }
    void inform(const std::string& title, const std::string& text) override;
    void warn(const std::string& title, const std::string& text) override;
    bool askYesNo(const std::string& title, const std::string& text) override;

  private:
    QWidget* parent_ = nullptr;
};

class QtClipboard final : public Clipboard {
  public:
    void setText(const std::string& text) override;
};

class QtUrlOpener final : public UrlOpener {
  public:
    bool open(const std::string& url) override;
};

}  // namespace tev
