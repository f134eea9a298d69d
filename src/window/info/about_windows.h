#pragma once

#include <QRect>
#include <QSize>
#include <QWidget>
#include <functional>

#include "platform/tone_sink.h"

class QLabel;
class QToolButton;

namespace tev {

class ClickableLabel;

// Everything that tells the two about windows apart: captions, sizes and places.
struct AboutLayout {
    const char* objectName;
    const char* caption;
    QSize clientSize;
    bool minimizeButton;
    bool startsMinimized;
    const char* productLine;  // Label1
    QRect productLineGeometry;
    const char* versionLine;  // Label4
    QRect versionLineGeometry;
    const char* websitePrefix;  // Label3, before the address
    const char* makerLine;      // Label2
    QRect makerLineGeometry;
    QRect pictureGeometry;  // Image1
    const char* closeCaption;
    QRect closeGeometry;  // SpeedButton1
};

// The controls of an about window, named as the form names them.
struct AboutControls {
    QLabel* Label1 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label4 = nullptr;
    ClickableLabel* Label3 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Image1 = nullptr;
    QToolButton* SpeedButton1 = nullptr;
};

// An about window: product name, version, the project's page and a picture of the meter.
// It lives for the whole run; closing it only hides it.
class AboutWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kInitialLeft = 500;
    static constexpr int kInitialTop = 300;
    // The address shown in Label3; the page itself is the user manual shipped with the program.
    static constexpr const char* kPageAddress = "manual.html";

    const AboutControls& controls() const { return controls_; }

  public slots:
    // CLOSE: hide, then the tone.
    void SpeedButton1Click();
    // Label3 and GO: open the window's page.
    void Label3Click();

  protected:
    // `openPage` opens the project's page (the user manual).
    AboutWindow(const AboutLayout& layout, ToneSink& tones, std::function<void()> openPage);

  private:
    ToneSink& tones_;
    std::function<void()> openPage_;
    AboutControls controls_;
};

// The bilingual about window `About`.
class TAbout final : public AboutWindow {
    Q_OBJECT
  public:
    TAbout(ToneSink& tones, std::function<void()> openPage);
};

// The English about window `About2`.
class TAbout2 final : public AboutWindow {
    Q_OBJECT
  public:
    TAbout2(ToneSink& tones, std::function<void()> openPage);
};

}  // namespace tev
