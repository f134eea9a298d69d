#include "window/info/about_windows.h"

#include <QLabel>
#include <QToolButton>

#include "window/info/product_picture.h"
#include "window/mainwindow/clickable_label.h"
#include "window/mainwindow/widget_style.h"

namespace tev {

namespace {

constexpr const char* kLabelFont = "微軟正黑體";
constexpr int kLabelFontHeight = 15;
constexpr int kButtonFontHeight = 11;
constexpr int kCloseToneHz = 1600;
constexpr int kCloseToneMs = 200;
constexpr int kRuleLength = 66;

const QRect kRuleGeometry{5, 20, 396, 19};
const QRect kWebsiteGeometry{5, 103, 202, 19};
const QRect kGoGeometry{219, 106, 55, 16};

const AboutLayout kAboutLayout{
    "About",
    "About 關於本系統",
    {684, 561},
    true,
    true,
    "HOQ-260 / TEV 3P 工業三相電力監測器  ",
    {5, 4, 281, 19},
    "Windows PC 電腦版  Ver:  1.0   2024.8  ",
    {5, 36, 270, 19},
    "Website 官網 :  ",
    "TEV3P Power Monitor project 電力監測器專案",
    {5, 124, 327, 19},
    {6, 151, 505, 409},
    "CLOSE 離開",
    {544, 530, 97, 22},
};

const AboutLayout kAbout2Layout{
    "About2",
    "About TEV Power Monitor",
    {664, 551},
    false,
    false,
    "HOQ-260 / TEV 3-Phase Power Monitor",
    {5, 4, 280, 19},
    "Windows PC Version:  1.0   2024.8  ",
    {5, 36, 246, 19},
    "Website Visit :  ",
    "TEV3P Power Monitor project",
    {5, 124, 237, 19},
    {6, 151, 505, 395},
    "CLOSE",
    {544, 515, 97, 22},
};

template <typename L>
L* makeLabel(QWidget* parent, const char* name, const QRect& geometry, const QString& caption,
             Rgb colour) {
    auto* label = new L(parent);
    label->setObjectName(name);
    label->setText(caption);
    label->setGeometry(geometry);
    label->setFont(pixelFont(kLabelFont, kLabelFontHeight));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextColour(label, colour);
    // The form's labels size themselves to their caption: where the substituted font is wider
    // than the form's, the label grows to the right instead of cutting its text (trailing
    // blanks may still be cut).
    const int needed = label->fontMetrics().horizontalAdvance(caption.trimmed());
    if (needed > geometry.width()) label->resize(needed, geometry.height());
    return label;
}

QToolButton* makeSpeedButton(QWidget* parent, const char* name, const QRect& geometry,
                             const QString& caption, const QFont& font) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(caption);
    button->setGeometry(geometry);
    button->setFont(font);
    button->setFocusPolicy(Qt::NoFocus);
    // The face keeps the system's button colour; only the caption is blue.
    QPalette pal = button->palette();
    pal.setColor(QPalette::All, QPalette::ButtonText, toQColor(kFormBlue));
    button->setPalette(pal);
    return button;
}

Qt::WindowFlags aboutWindowFlags(const AboutLayout& layout) {
    if (layout.minimizeButton) {
        // A normal top-level window, so that while minimised it stays reachable from the
        // desktop's task list like any other minimised window.
        return Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
    }
    return Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
           Qt::WindowCloseButtonHint;
}

}  // namespace

AboutWindow::AboutWindow(const AboutLayout& layout, ToneSink& tones, std::function<void()> openPage)
    : QWidget(nullptr, aboutWindowFlags(layout)), tones_(tones), openPage_(std::move(openPage)) {
    setObjectName(layout.objectName);
    setWindowTitle(QString::fromUtf8(layout.caption));
    setBackgroundColour(this, kFormBackground);
    setFixedSize(layout.clientSize);
    move(kInitialLeft, kInitialTop);
    // Closing the main window ends the program even while an about window is open.
    setAttribute(Qt::WA_QuitOnClose, false);

    AboutControls& c = controls_;
    c.Label1 = makeLabel<QLabel>(this, "Label1", layout.productLineGeometry,
                                 QString::fromUtf8(layout.productLine), kFormWhite);
    c.Label5 =
        makeLabel<QLabel>(this, "Label5", kRuleGeometry, QString(kRuleLength, '-'), kFormSilver);
    c.Label4 = makeLabel<QLabel>(this, "Label4", layout.versionLineGeometry,
                                 QString::fromUtf8(layout.versionLine), kFormSilver);
    c.Label3 = makeLabel<ClickableLabel>(
        this, "Label3", kWebsiteGeometry,
        QString::fromUtf8(layout.websitePrefix) + kPageAddress + "  ", kFormAqua);
    QFont underlined = c.Label3->font();
    underlined.setUnderline(true);
    c.Label3->setFont(underlined);
    c.Label3->setCursor(Qt::PointingHandCursor);
    c.SpeedButton2 = makeSpeedButton(this, "SpeedButton2", kGoGeometry, "GO",
                                     pixelFont("MS Sans Serif", kButtonFontHeight, true));
    c.Label2 = makeLabel<QLabel>(this, "Label2", layout.makerLineGeometry,
                                 QString::fromUtf8(layout.makerLine), kFormSilver);

    c.Image1 = new QLabel(this);
    c.Image1->setObjectName("Image1");
    c.Image1->setGeometry(layout.pictureGeometry);
    c.Image1->setPixmap(productPicture(layout.pictureGeometry.size()));

    c.SpeedButton1 = makeSpeedButton(this, "SpeedButton1", layout.closeGeometry,
                                     QString::fromUtf8(layout.closeCaption),
                                     pixelFont("Arial", kButtonFontHeight));

    connect(c.SpeedButton1, &QToolButton::clicked, this, &AboutWindow::SpeedButton1Click);
    connect(c.Label3, &ClickableLabel::clicked, this, &AboutWindow::Label3Click);
    connect(c.SpeedButton2, &QToolButton::clicked, this, &AboutWindow::Label3Click);

    // Takes effect when the window is first shown: the About command then shows it minimised.
    if (layout.startsMinimized) setWindowState(Qt::WindowMinimized);
}

void AboutWindow::SpeedButton1Click() {
    hide();
    tones_.beep(kCloseToneHz, kCloseToneMs);
}

void AboutWindow::Label3Click() {
    if (openPage_) openPage_();
}

TAbout::TAbout(ToneSink& tones, std::function<void()> openPage)
    : AboutWindow(kAboutLayout, tones, std::move(openPage)) {}

TAbout2::TAbout2(ToneSink& tones, std::function<void()> openPage)
    : AboutWindow(kAbout2Layout, tones, std::move(openPage)) {}

}  // namespace tev
