#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace tev::testing {

// Answers each file dialog with the next queued answer (nothing queued = cancel) and keeps what
// each dialog was opened with.
class FakeFileChooser final : public FileChooser {
  public:
    std::optional<std::string> chooseSaveFile(const FileDialogRequest& request) override {
        return next(request);
    }
    std::optional<std::string> chooseOpenFile(const FileDialogRequest& request) override {
        return next(request);
    }
    void answer(std::string path) { answers.push_back(std::move(path)); }
    void cancel() { answers.push_back(std::nullopt); }

    std::deque<std::optional<std::string>> answers;
    std::vector<FileDialogRequest> requests;

  private:
    std::optional<std::string> next(const FileDialogRequest& request) {
        requests.push_back(request);
        if (answers.empty()) return std::nullopt;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
};

// Keeps every message box; questions are answered with `yes`.
class FakeMessageBoxes final : public MessageBoxes {
  public:
    struct Shown {
        std::string kind;  // "inform", "warn" or "ask"
        std::string title;
        std::string text;
    };
    void inform(const std::string& title, const std::string& text) override {
        shown.push_back({"inform", title, text});
    }
    void warn(const std::string& title, const std::string& text) override {
        shown.push_back({"warn", title, text});
    }
    bool askYesNo(const std::string& title, const std::string& text) override {
        shown.push_back({"ask", title, text});
        return yes;
    }
    bool yes = true;
    std::vector<Shown> shown;
};

class FakeClipboard final : public Clipboard {
  public:
    void setText(const std::string& t) override { text = t; }
    std::string text;
};

// Records the addresses; answers with `succeed`.
class FakeUrlOpener final : public UrlOpener {
  public:
    bool open(const std::string& url) override {
        opened.push_back(url);
        return succeed;
    }
    bool succeed = true;
    std::vector<std::string> opened;
};

}  // namespace tev::testing
