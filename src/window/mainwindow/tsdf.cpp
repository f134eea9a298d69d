#include "window/mainwindow/tsdf.h"

#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QTimer>

#include "core/store/roll_up.h"
#include "core/texts/number_text.h"
#include "window/mainwindow/client_area.h"
#include "window/mainwindow/qpainter_canvas.h"
#include "window/mainwindow/widget_style.h"

namespace tev {

namespace {

constexpr int kFormFontHeight = 11;

}  // namespace

Tsdf::Tsdf(WindowSeams seams, QWidget* parent)
    : QMainWindow(parent), seams_(seams), log_(*seams_.clock) {
    setObjectName("sdf");
    setFont(pixelFont("MS Serif", kFormFontHeight));

    client_ = new ClientArea(this);
    client_->setObjectName("sdfClient");
    client_->setFixedSize(kClientWidth, kClientHeight);
    setBackgroundColour(client_, kFormBackground);
    client_->setPaintHandler([this](QPainter& painter) { FormPaint(painter); });
    connectNavigation();
    setCentralWidget(client_);

    if (seams_.standardOutput != nullptr) {
        log_.addListener(
            [out = seams_.standardOutput](const std::string& line) { out->writeLine(line); });
    }

    buildControls();
    buildMainMenu();
    buildPopupMenu();

    workingDirectory_ = seams_.workingDirectory;
    if (workingDirectory_.empty()) workingDirectory_ = QDir::currentPath().toStdString();
    meterLink_ = std::make_unique<MeterLink>(store_, log_, *seams_.tones, *seams_.clock,
                                             languageMode_, workingDirectory_);
    meterLink_->setAllowList(MeterAllowList(seams_.allowedMeters));
    clockTick_ = std::make_unique<ClockTick>(store_, log_, *seams_.tones, *seams_.clock,
                                             languageMode_, *meterLink_);

    timer1_ = new QTimer(this);
    timer1_->setObjectName("Timer1");
    timer1_->setInterval(kTimerIntervalMs);
    connect(timer1_, &QTimer::timeout, this, &Tsdf::Timer1Timer);

    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    move(kInitialLeft, kInitialTop);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    FormCreate();
    startMeterSockets();
    timer1_->start();
}

Tsdf::~Tsdf() = default;

QWidget* Tsdf::clientArea() const {
    return client_;
}

void Tsdf::setLinkFlag(int flag) {
    linkFlag_ = flag;
    menu_.link_b->setChecked(flag == 1);
}

// The clock snapshot of the window's creation: the calendar, and the clock and date labels
// that the tick keeps current afterwards.
void Tsdf::startUpClock() {
    const DateTime now = seams_.clock->now();
    Calendar& cal = store_.calendar;
    readDate(cal, now);
    cal.Hour = now.hour;
    cal.Minute = now.minute;
    cal.Second = now.second;
    cal.StartDayCode = cal.TodayCode;
    // The week row in progress begins today until the settings file says otherwise.
    if (cal.WeekStartCode == 0) cal.WeekStartCode = cal.TodayCode;
    controls_.Time_lb->setText(QString::fromStdString(timeLabelText(now.hour, now.minute)));
    controls_.Date_lb->setText(
        QString::fromStdString(dateLabelText(now.year, now.month, now.day, languageMode_)));
}

void Tsdf::startMeterSockets() {
    server_ = new MeterServer(seams_.sockets, *seams_.clock, this);
    server_->setMessageHandler([this](std::string_view message) {
        std::string reply = meterLink_->handleMessage(message);
        if (seams_.meterObserver != nullptr) {
            seams_.meterObserver->meterMessageHandled(store_.registry, meterLink_->currentId());
            if (meterLink_->lastMessageWasData())
                seams_.meterObserver->meterDataHandled(store_.registry, meterLink_->currentId());
        }
        requestRepaint();
        return reply;
    });
    server_->setRegisteredCheck([this] { return meterLink_->lastMessageFromRegisteredMeter(); });
    server_->setErrorHandler([this](const std::string& reason) {
        log_.append(logStamp(seams_.clock->now()) + " " + reason);
    });
    // ServerSocketListen: the computer's own address, for the meter's set-up.
    server_->setListenHandler([this](const std::string& ip) {
        computerIp_ = ip;
        controls_.ip_l->setText(QString::fromStdString("IP " + ip));
    });
    server_->start();
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
    const PaintContext context{languageMode_, linkFlag_ == 1, store_.registry.MeterCount,
                               meterLink_->currentIp(), meterLink_->currentId()};
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

void Tsdf::beep(const ToneRequest& tone) {
    beep(tone.frequencyHz, tone.durationMs);
}

void Tsdf::beep(int frequencyHz, int durationMs) {
    if (seams_.tones != nullptr) seams_.tones->beep(frequencyHz, durationMs);
}

// Connect_l and id_l after the link is lost or switched off.
void Tsdf::showDisconnected() {
    if (languageMode_ != LanguageMode::Chinese)
        controls_.Connect_l->setText(QString::fromStdString(noConnectText(languageMode_)));
    setTextColour(controls_.Connect_l, kFormGrey);
    controls_.id_l->setText(QString());
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

// The one-second tick: link supervision, then the roll-up and the clock labels.
void Tsdf::Timer1Timer() {
    const TickOutcome outcome = clockTick_->onTimer();
    if (outcome.offlineAlarm) {
        showDisconnected();
        if (seams_.meterObserver != nullptr) seams_.meterObserver->metersForgotten();
    }
    if (outcome.timeLabelChanged)
        controls_.Time_lb->setText(QString::fromStdString(outcome.timeLabel));
    if (outcome.dateLabelChanged)
        controls_.Date_lb->setText(QString::fromStdString(outcome.dateLabel));
    if (outcome.repaint) requestRepaint();
    autosave();
}

// The meter link switch under the wifi menu.
void Tsdf::link_bClick() {
    if (linkFlag_ == 1) {
        setLinkFlag(0);
        if (auto caption = pickText(languageMode_, "OFF Connect", "OFF 連線關閉"))
            menu_.link_b->setText(QString::fromStdString(*caption));
        // Empties the registry, logs "TCP/IP OFF-Line !" and beeps 1200 Hz.
        server_->setListening(false);
        meterLink_->linkSwitchedOff();
        showDisconnected();
        if (seams_.meterObserver != nullptr) seams_.meterObserver->metersForgotten();
    } else {
        setLinkFlag(1);
        if (auto caption = pickText(languageMode_, "ON Connect", "ON 連線開啟"))
            menu_.link_b->setText(QString::fromStdString(*caption));
        server_->setListening(true);
        meterLink_->linkSwitchedOn();
    }
}

void Tsdf::M10_SaveClick() {
    meterLink_->m10SaveClick();
}

}  // namespace tev
