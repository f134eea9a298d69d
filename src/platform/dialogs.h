#pragma once

#include <optional>
#include <string>

namespace tev {

// What a file dialog is opened with.
struct FileDialogRequest {
    std::string title;
    std::string initialDirectory;
    std::string fileName;  // proposed path or name
    std::string filter;    // e.g. "*.dat"
};

// The file dialogs. The program uses a save-style dialog both for saving and for choosing a file
// to read; a test answers with a path or with cancel.
class FileChooser {
  public:
    virtual ~FileChooser() = default;
    // The chosen path, or nothing when the user cancelled.
    virtual std::optional<std::string> chooseSaveFile(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> chooseOpenFile(const FileDialogRequest& request) = 0;
};

// Message boxes: a plain one with an OK button and a Yes/No question.
class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    virtual void inform(const std::string& title, const std::string& text) = 0;
    virtual void warn(const std::string& title, const std::string& text) = 0;
    // True for Yes.
    virtual bool askYesNo(const std::string& title, const std::string& text) = 0;
};

// The desktop clipboard (text only).
class Clipboard {
  public:
    virtual ~Clipboard() = default;
    virtual void setText(const std::string& text) = 0;
};

// Opens a web address or a local file's URL with the desktop's handler (a browser).
class UrlOpener {
  public:
    virtual ~UrlOpener() = default;
    // False when no handler could open it.
    virtual bool open(const std::string& url) = 0;
};

}  // namespace tev
