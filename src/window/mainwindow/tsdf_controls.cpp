// The controls of the main window: places, sizes, fonts, colours and initial captions.

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>

#include "window/mainwindow/clickable_label.h"
#include "window/mainwindow/client_area.h"
#include "window/mainwindow/event_log_memo.h"
#include "window/mainwindow/tsdf.h"
#include "window/mainwindow/widget_style.h"

namespace tev {

namespace {

constexpr Rgb kIpColour{128, 255, 255};
// The desktop's scroll-bar colour, the face of the TSet editor.
constexpr Rgb kScrollBarColour{200, 200, 200};
constexpr Rgb kButtonFace{240, 240, 240};

constexpr int kCh1ScaleTop = 32;
constexpr int kCh2ScaleTop = 284;
constexpr std::array<int, kScaleCount> kCh1ScaleLeft = {373, 436, 494, 558, 618, 661, 711};
constexpr std::array<int, kScaleCount> kCh2ScaleLeft = {373, 436, 496, 563, 622, 665, 715};
// The form's captions of the time-scale labels, Min … Month.
constexpr std::array<const char*, kScaleCount> kScaleCaptions = {
    "Min 一分鐘", "5Min 五分", "10Min 十分", "Hour 小時", "Day 日 ", "Week 周 ", "Month 月 "};
constexpr int kScaleFontHeight = 12;

QLabel* makeLabel(QWidget* parent, const char* name, QRect geometry, const QString& caption,
                  const QFont& font, Rgb colour) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setFont(font);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextColour(label, colour);
    return label;
}

QPushButton* makeFlatButton(QWidget* parent, const char* name, QRect geometry,
                            const QString& caption, const QFont& font, Rgb colour) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setFont(font);
    button->setFlat(true);
    button->setFocusPolicy(Qt::NoFocus);
    setTextColour(button, colour);
    return button;
}

QPushButton* makeHiddenButton(QWidget* parent, const char* name, const QString& caption,
                              QPoint at = {}) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->move(at);
    button->hide();
    return button;
}

}  // namespace

void Tsdf::buildControls() {
    QWidget* c = client_;
    SdfControls& k = controls_;

    k.ip_l = makeLabel(c, "ip_l", {5, 7, 115, 16}, "IP =  ", pixelFont("Arial", 13), kIpColour);
    k.copy_b = makeFlatButton(c, "copy_b", {119, 6, 35, 17}, "複製", pixelFont("Arial Narrow", 11),
                              kFormBlue);
    k.Connect_l = makeLabel(c, "Connect_l", {263, 7, 125, 16}, "- 未連線 -", pixelFont("Arial", 12),
                            kFormGrey);
    k.id_l = makeLabel(c, "id_l", {395, 7, 127, 16}, "", pixelFont("Arial", 12), kFormFuchsia);
    k.Syn_CH = makeFlatButton(c, "Syn_CH", {543, 6, 42, 17}, "CH同步", pixelFont("Arial", 11, true),
                              syncCaptionColour(view_));
    k.Date_lb =
        makeLabel(c, "Date_lb", {770, 5, 127, 21}, "", pixelFont("微軟正黑體", 16), kFormAqua);
    k.Time_lb =
        makeLabel(c, "Time_lb", {902, 3, 79, 20}, "", pixelFont("Arial", 20, true), kFormWhite);

    for (int channel = 1; channel <= 2; ++channel) {
        auto& labels = channel == 1 ? k.ch1Scales : k.ch2Scales;
        const auto& lefts = channel == 1 ? kCh1ScaleLeft : kCh2ScaleLeft;
        const int top = channel == 1 ? kCh1ScaleTop : kCh2ScaleTop;
        for (int i = 0; i < kScaleCount; ++i) {
            auto* label = new ClickableLabel(QString::fromUtf8(kScaleCaptions[i]), c);
            label->setObjectName(QString("L%1%2").arg(channel).arg(i));
            label->setFont(pixelFont("Arial", kScaleFontHeight));
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            setBackgroundColour(label, kFormBlack);
            label->adjustSize();
            label->move(lefts[i], top);
            const TimeScale scale = scaleAt(i);
            connect(label, &ClickableLabel::clicked, this,
                    [this, channel, scale] { timeScaleLabelClick(channel, scale); });
            labels[i] = label;
        }
        showScaleLabels(channel);
    }

    k.Label1 = makeLabel(c, "Label1", {486, 602, 151, 15}, "TEV System LOG  工作記錄",
                         pixelFont("Arial", 12), kFormSilver);

    k.m1 = new EventLogMemo(log_, c);
    k.m1->setObjectName("m1");
    k.m1->setGeometry(484, 619, 496, 153);
    k.m1->setFont(pixelFont("Arial", 12));
    k.m1->setReadOnly(true);
    setBackgroundColour(k.m1, kFormSilver);
    setTextColour(k.m1, kFormBlue);
    // The memo takes no focus and no input until the log region is clicked, so keys reach the
    // window's chart navigation.
    k.m1->setEnabled(false);

    k.StatusBar1 = new QStatusBar(c);
    k.StatusBar1->setObjectName("StatusBar1");
    k.StatusBar1->setSizeGripEnabled(false);
    k.StatusBar1->setGeometry(0, 777, 984, 19);

    k.LoadRecords_b = makeHiddenButton(c, "LoadRecords_b", "Load Records", {80, 32});
    k.SaveRecord_b = makeHiddenButton(c, "SaveRecord_b", "Save Records", {80, 64});
    k.saf_b = makeHiddenButton(c, "saf_b", "SAF");
    k.Save_b = makeHiddenButton(c, "Save_b", "SAVE");
    k.Load_b = makeHiddenButton(c, "Load_b", "LOAD");
    k.M10_Save = makeHiddenButton(c, "M10_Save", "M10 Save");
    k.ResetAll_b = makeHiddenButton(c, "ResetAll_b", "Reset All");
    // The TSet editor, shown while a total is typed.
    k.e1 = new QLineEdit(c);
    k.e1->setObjectName("e1");
    k.e1->setGeometry(62, 731, 81, 22);
    k.e1->setFont(pixelFont("Arial", 15));
    setBackgroundColour(k.e1, kScrollBarColour);
    setTextColour(k.e1, kFormBlack);
    k.e1->hide();
    k.b_set = makeFlatButton(c, "b_set", {145, 732, 28, 22}, "SET", pixelFont("Arial", 11, true),
                             kFormPurple);
    // Opaque faces, so that the readings painted below do not show through the captions.
    setBackgroundColour(k.b_set, kButtonFace);
    k.b_set->hide();
    k.b_clr = makeFlatButton(c, "b_clr", {174, 732, 28, 22}, "CLR", pixelFont("Arial", 11, true),
                             kFormBlue);
    setBackgroundColour(k.b_clr, kButtonFace);
    k.b_clr->hide();
    k.e2 = new QLineEdit(c);
    k.e2->setObjectName("e2");
    k.e2->hide();
    k.SpeedButton1 = new QToolButton(c);
    k.SpeedButton1->setObjectName("SpeedButton1");
    k.SpeedButton1->hide();
    k.m2 = new QPlainTextEdit(c);
    k.m2->setObjectName("m2");
    k.m2->hide();

    connect(k.copy_b, &QPushButton::clicked, this, &Tsdf::copy_bClick);
    connect(k.Syn_CH, &QPushButton::clicked, this, &Tsdf::Syn_CHClick);
    connect(k.LoadRecords_b, &QPushButton::clicked, this, &Tsdf::LoadRecords_bClick);
    connect(k.SaveRecord_b, &QPushButton::clicked, this, &Tsdf::SaveRecord_bClick);
    connect(k.saf_b, &QPushButton::clicked, this, &Tsdf::saf_bClick);
    connect(k.M10_Save, &QPushButton::clicked, this, &Tsdf::M10_SaveClick);
    connect(k.ResetAll_b, &QPushButton::clicked, this, &Tsdf::ResetAll_bClick);
    connect(k.b_set, &QPushButton::clicked, this, &Tsdf::b_setClick);
    connect(k.b_clr, &QPushButton::clicked, this, &Tsdf::b_clrClick);
    connect(k.SpeedButton1, &QToolButton::clicked, this, &Tsdf::SpeedButton1Click);
    connectMaintenance();
}

void Tsdf::showScaleLabels(int channel) {
    const ChartChannel& shown = view_.channel(channel);
    for (int i = 0; i < kScaleCount; ++i) {
        setTextColour(controls_.scaleLabel(channel, scaleAt(i)),
                      scaleLabelColour(shown, scaleAt(i)));
    }
}

}  // namespace tev
