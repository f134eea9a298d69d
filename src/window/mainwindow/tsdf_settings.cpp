// The settings file: the menu commands SaveEnvior and LoadEnvior, and what loading applies to
// the window (pop-up captions, titles, scale labels, the coupling colour, the language).

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include "core/persistence/atomic_file.h"
#include "core/persistence/file_messages.h"
#include "core/persistence/kept_aside.h"
#include "core/persistence/settings_file.h"
#include "core/settings/folder_files.h"
#include "core/texts/language_texts.h"
#include "core/texts/number_text.h"
#include "window/mainwindow/clickable_label.h"
#include "window/mainwindow/tsdf.h"
#include "window/mainwindow/widget_style.h"

namespace tev {

namespace {

constexpr ToneRequest kSavedTone{1600, 200};

// A failure is always reported: in Chinese-only mode, which has no single-language form of
// these lines, in the bilingual form.
std::string failureLine(LanguageMode mode, std::string_view english, std::string_view bilingual,
                        const std::string& reason) {
    return failText(mode == LanguageMode::English ? english : bilingual, reason);
}

}  // namespace

std::string Tsdf::settingsPath() const {
    return workingDirectory_ + "/" + kSettingsFileName;
}

void Tsdf::SaveEnviorClick() {
    saveSettingsFile(SaveReport::Menu);
}

bool Tsdf::saveSettingsFile(SaveReport report) {
    const SettingsValues values =
        collectSettings(store_, view_, static_cast<std::int32_t>(languageMode_));
    const auto image = encodeSettings(values);
    const std::string error =
        settingsKeptBack_.empty() ? writeFileAtomically(settingsPath(), image) : settingsKeptBack_;
    if (!error.empty()) {
        const std::string line =
            stamp() + failureLine(languageMode_, filetext::kSaveSettingsEnglish,
                                  filetext::kSaveSettingsBilingual, error);
        if (report == SaveReport::Menu)
            reportFailure(line,
                          "The settings could not be saved to " + settingsPath() + ": " + error);
        else
            log_.append(line);
        return false;
    }
    if (report == SaveReport::Silent) return true;
    if (auto line = pickText(languageMode_, filetext::kSaveSettingsEnglish,
                             filetext::kSaveSettingsBilingual))
        log_.append(stamp() + *line);
    beep(kSavedTone);
    return true;
}

void Tsdf::LoadEnviorClick() {
    SettingsValues values =
        collectSettings(store_, view_, static_cast<std::int32_t>(languageMode_));
    std::string error;
    bool missing = false;
    const std::vector<std::uint8_t> image =
        readWholeFile(settingsPath(), error, missing, kSettingsFileSize);
    std::optional<std::int32_t> storedDayCode;
    // Part of a file that fails while being read is not trusted.
    const std::size_t fields = error.empty() ? decodeSettings(image, values) : 0;
    if (fields >= 5) storedDayCode = values.StartDayCode;
    values.languageMode = repairedLanguageMode(values.languageMode);
    placeSettings(values, store_, view_);
    languageMode_ = static_cast<LanguageMode>(values.languageMode);
    const bool unreadable = !error.empty() && !missing;
    if (unreadable) {
        log_.append(stamp() + failureLine(languageMode_, filetext::kLoadSettingsEnglish,
                                          filetext::kLoadSettingsBilingual, error));
        keepSettingsAside("cannot be read (" + error + "): nothing is loaded from it", true);
    } else if (!missing && image.size() < kSettingsFileSize && !shortSettingsKept_) {
        shortSettingsKept_ = true;
        keepSettingsAside("is " + std::to_string(image.size()) + " bytes, a settings file is " +
                              std::to_string(kSettingsFileSize) + ": its " +
                              std::to_string(fields) + " whole fields are loaded",
                          false);
    }

    applySettingsCaptions();
    // Each channel's stored scale, as its label click gives it: with the channels coupled the
    // first click also moves CH2, and CH2's own stored scale, clicked last, wins for both.
    const TimeScale ch1Scale = view_.channel(1).timeScale;
    const TimeScale ch2Scale = view_.channel(2).timeScale;
    timeScaleLabelClick(1, ch1Scale);
    timeScaleLabelClick(2, ch2Scale);
    setTextColour(controls_.Syn_CH, syncCaptionColour(view_));
    runLanguageCommand();
    finishSettingsLoad(storedDayCode, store_, view_);
    // An unreadable file has had its one fail line: nothing was loaded.
    if (auto line = pickText(languageMode_, filetext::kLoadSettingsEnglish,
                             filetext::kLoadSettingsBilingual);
        line && !unreadable)
        log_.append(stamp() + *line);
    // finishSettingsLoad has set each channel's span from its remembered spans.
    requestRepaint();
}

// Keeps the settings file from the next save, which would replace what could not be read.
void Tsdf::keepSettingsAside(const std::string& problem, bool unreadable) {
    const KeptAside kept = keepFileAside(settingsPath());
    log_.append(stamp() + keptAsideLine(kSettingsFileName, problem, kept));
    if (!kept.kept() && unreadable)
        settingsKeptBack_ = std::string(kSettingsFileName) +
                            " could not be read nor kept aside, so it is not replaced";
}

// The pop-up captions, channel titles and time-scale labels of the loaded language, before the
// language command runs.
void Tsdf::applySettingsCaptions() {
    if (languageMode_ == LanguageMode::Chinese) return;
    for (const QuantityItem& item : quantityItems()) {
        auto* action = popup_->findChild<QAction*>(
            QString::fromUtf8(item.name.data(), static_cast<int>(item.name.size())));
        auto caption = loaderPopupCaption(languageMode_, item.quantity);
        if (action != nullptr && caption)
            action->setText(QString::fromUtf8(caption->data(), static_cast<int>(caption->size())));
    }
    for (int channel = 1; channel <= 2; ++channel) {
        ChartChannel& ch = view_.channel(channel);
        if (auto title = languageChannelTitle(languageMode_, channel, ch.quantity))
            ch.title = std::string(*title);
        for (int i = 0; i < kScaleCount; ++i) {
            if (auto text = loaderScaleLabel(languageMode_, scaleAt(i)))
                controls_.scaleLabel(channel, scaleAt(i))
                    ->setText(QString::fromUtf8(text->data(), static_cast<int>(text->size())));
        }
    }
}

void Tsdf::runLanguageCommand() {
    switch (languageMode_) {
        case LanguageMode::English:
            EnglishClick();
            break;
        case LanguageMode::Chinese:
            TaiwanClick();
            break;
        case LanguageMode::Bilingual:
            bilingualClick();
            break;
    }
}

}  // namespace tev
