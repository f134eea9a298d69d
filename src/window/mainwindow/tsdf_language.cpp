// The language commands of the Lang menu: the window caption, the menu captions, the fixed
// texts of the window, the chart titles and the date label in the chosen language. The
// settings loader runs the same commands for the stored mode.

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include "core/meterlink/clock_tick.h"
#include "core/texts/language_texts.h"
#include "window/mainwindow/clickable_label.h"
#include "window/mainwindow/client_area.h"
#include "window/mainwindow/tsdf.h"

namespace tev {

namespace {

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void Tsdf::EnglishClick() {
    applyLanguage(LanguageMode::English);
}

void Tsdf::TaiwanClick() {
    applyLanguage(LanguageMode::Chinese);
}

void Tsdf::bilingualClick() {
    applyLanguage(LanguageMode::Bilingual);
}

// The window, a menu, a menu item, a button or a label, by its form name.
void Tsdf::setCaption(std::string_view name, std::string_view text) {
    const QString caption = fromUtf8(text);
    if (name == "sdf") {
        setWindowTitle(caption);
        return;
    }
    const QString objectName = fromUtf8(name);
    if (auto* menu = menuBar()->findChild<QMenu*>(objectName)) {
        menu->setTitle(caption);
    } else if (auto* item = menuBar()->findChild<QAction*>(objectName)) {
        item->setText(caption);
    } else if (auto* button = client_->findChild<QPushButton*>(objectName)) {
        button->setText(caption);
    } else if (auto* label = client_->findChild<QLabel*>(objectName)) {
        label->setText(caption);
    }
}

void Tsdf::applyLanguage(LanguageMode mode) {
    languageMode_ = mode;
    menu_.English->setChecked(mode == LanguageMode::English);
    menu_.Taiwan->setChecked(mode == LanguageMode::Chinese);
    menu_.bilingual->setChecked(mode == LanguageMode::Bilingual);

    // The Chinese command leaves copy_b, Syn_CH and Label1 as they are (no text in its column).
    for (const LanguageCaption& caption : languageCaptions()) {
        if (auto text = caption.in(mode)) setCaption(caption.name, *text);
    }

    if (mode != LanguageMode::Chinese) {
        for (int channel = 1; channel <= 2; ++channel) {
            for (int i = 0; i < kScaleCount; ++i) {
                if (auto text = commandScaleLabel(mode, scaleAt(i))) {
                    ClickableLabel* label = controls_.scaleLabel(channel, scaleAt(i));
                    label->setText(fromUtf8(*text));
                    label->adjustSize();
                }
            }
            ChartChannel& shown = view_.channel(channel);
            if (auto title = languageChannelTitle(mode, channel, shown.quantity))
                shown.title = std::string(*title);
        }
    }

    const Calendar& cal = store_.calendar;
    controls_.Date_lb->setText(
        QString::fromStdString(dateLabelText(cal.Year, cal.Month, cal.Day, mode)));
    requestRepaint();
}

}  // namespace tev
