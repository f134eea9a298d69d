// Maintenance commands of the main window: the lifetime total typed into the TSet editor,
// Reset with its confirmation and the data reset, copying the computer's IP address, the
// disabled voltage corrections and the hidden weekday tester.

#include <QDate>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>

#include "core/texts/maintenance_texts.h"
#include "core/texts/number_text.h"
#include "window/mainwindow/client_area.h"
#include "window/mainwindow/tsdf.h"

namespace tev {

namespace {

constexpr int kTotalTakenHz = 1600;
constexpr int kTotalTakenMs = 200;
constexpr int kResetHz = 1400;
constexpr int kResetMs = 1000;
constexpr int kCopyHz = 1700;
constexpr int kCopyMs = 150;

constexpr int kEnterKey = 13;
constexpr int kEscapeKey = 27;

// Hands the editor's Enter and Esc to the window; other keys edit the text as usual.
class EditorKeys final : public QObject {
  public:
    EditorKeys(QObject* parent, std::function<void(int)> handler)
        : QObject(parent), handler_(std::move(handler)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            handler_(kEnterKey);
            return true;
        }
        if (key == Qt::Key_Escape) {
            handler_(kEscapeKey);
            return true;
        }
        return false;
    }

  private:
    std::function<void(int)> handler_;
};

}  // namespace

void Tsdf::connectMaintenance() {
    controls_.e1->installEventFilter(
        new EditorKeys(this, [this](int virtualKey) { e1KeyDown(virtualKey); }));
}

bool Tsdf::totalEditorOpen() const {
    // Shown by TSet, whether or not the window itself is on screen.
    return !controls_.e1->isHidden();
}

void Tsdf::showTotalEditor(bool open) {
    controls_.e1->setVisible(open);
    controls_.b_set->setVisible(open);
    controls_.b_clr->setVisible(open);
    if (open) {
        controls_.e1->setFocus();
    } else {
        client_->setFocus();
    }
}

// Stores a typed total; a text that is no number is reported and changes nothing.
void Tsdf::takeTotal(const TotalEntry& entry) {
    if (entry.kind == TotalEntry::Kind::NotANumber) {
        if (seams_.messages != nullptr)
            seams_.messages->warn(std::string(kMaintenanceMessageTitle), entry.error);
        return;
    }
    if (entry.kind == TotalEntry::Kind::Number) store_.live.TotalKWh = entry.total;
    beep(kTotalTakenHz, kTotalTakenMs);
}

void Tsdf::TSetClick() {
    // While the editor is open the text being typed is kept.
    if (totalEditorOpen()) return;
    controls_.e1->setText(QString::fromStdString(totalEditorText(store_.live.TotalKWh)));
    showTotalEditor(true);
}

void Tsdf::b_setClick() {
    showTotalEditor(false);
    takeTotal(readTotalEntry(controls_.e1->text().toStdString()));
}

void Tsdf::e1KeyDown(int virtualKey) {
    if (virtualKey == kEscapeKey) {
        showTotalEditor(false);
        return;
    }
    if (virtualKey != kEnterKey) return;
    const TotalEntry entry = readTotalEntry(controls_.e1->text().toStdString());
    // An empty text, or one that is no number, leaves the editor open.
    if (entry.kind != TotalEntry::Kind::Number) {
        if (entry.kind == TotalEntry::Kind::NotANumber) takeTotal(entry);
        return;
    }
    showTotalEditor(false);
    takeTotal(entry);
}

void Tsdf::b_clrClick() {
    showTotalEditor(false);
    store_.live.TotalKWh = 0;
    beep(kTotalTakenHz, kTotalTakenMs);
}

void Tsdf::ResetAllClick() {
    const std::optional<Confirmation> question = resetConfirmation(languageMode_);
    if (!question || seams_.messages == nullptr) return;
    if (!seams_.messages->askYesNo(question->title, question->text)) return;
    beep(kResetHz, kResetMs);
    ResetAll_bClick();
    log_.clear();
    log_.append(std::string());
    if (auto message = resetDoneMessage(languageMode_))
        log_.append(logStamp(seams_.clock->now()) + *message);
    log_.append(std::string());
    requestRepaint();
}

// The data reset itself; Reset and the CSV import run it. The records and settings files keep
// their contents until they are next saved.
void Tsdf::ResetAll_bClick() {
    store_.resetData();
}

void Tsdf::copy_bClick() {
    beep(kCopyHz, kCopyMs);
    if (seams_.clipboard != nullptr) seams_.clipboard->setText(computerIp_);
}

void Tsdf::N220VClick() {}
void Tsdf::N380VClick() {}

// Hidden and unreachable from the window: the weekday of the date typed into e2, in the
// desktop's short date format.
void Tsdf::SpeedButton1Click() {
    if (seams_.messages == nullptr) return;
    const QString text = controls_.e2->text();
    QDate date = QLocale::system().toDate(text.trimmed(), QLocale::ShortFormat);
    if (!date.isValid()) date = QDate::fromString(text.trimmed(), Qt::ISODate);
    if (!date.isValid()) {
        seams_.messages->warn(std::string(kMaintenanceMessageTitle),
                              "'" + text.toStdString() + "' is not a valid date");
        return;
    }
    seams_.messages->inform(std::string(kMaintenanceMessageTitle),
                            weekdayTesterText(date.year(), date.month(), date.day()));
}

}  // namespace tev
