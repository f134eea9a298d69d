#pragma once

#include <QWidget>
#include <string>

#include "window/mainwindow/manual_viewer.h"

class QTextBrowser;

namespace tev {

// The manual window `menu` ("Operation Manual"): a product description in Traditional Chinese.
// When no browser can open the user manual, the Manual command shows the manual here instead.
class Tmenu final : public QWidget, public ManualViewer {
    Q_OBJECT
  public:
    static constexpr int kInitialLeft = 579;
    static constexpr int kInitialTop = 136;
    static constexpr int kWidth = 800;
    static constexpr int kHeight = 800;

    Tmenu();

    QTextBrowser* richEdit() const { return RichEdit1_; }
    // The product description the window is created with.
    static QString productDescription();

    void showManual(const std::string& path) override;

  private:
    QTextBrowser* RichEdit1_ = nullptr;
};

}  // namespace tev
