#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "core/store/time_scale.h"
#include "core/texts/event_log.h"

namespace tev {

// The texts the language commands and the settings loader put on the main window, keyed by
// language mode. Everything the window shows in a language lives in these tables.

// A caption of the window, a menu item or a button in the three language modes. An empty
// optional means the command of that mode leaves the caption as it is.
struct LanguageCaption {
    std::string_view name;  // the control's form name; "sdf" for the window caption
    std::optional<std::string_view> english;
    std::optional<std::string_view> chinese;
    std::optional<std::string_view> bilingual;

    std::optional<std::string_view> in(LanguageMode mode) const {
        switch (mode) {
            case LanguageMode::English:
                return english;
            case LanguageMode::Chinese:
                return chinese;
            case LanguageMode::Bilingual:
                return bilingual;
        }
        return std::nullopt;
    }
};

inline constexpr int kLanguageCaptionCount = 24;

// The window caption, the menu captions (every menu and item but LoadEnvior, which keeps "."),
// then copy_b, Syn_CH and Label1.
const std::array<LanguageCaption, kLanguageCaptionCount>& languageCaptions();
const LanguageCaption* languageCaption(std::string_view name);

// Time-scale label captions (L10…L16, L20…L26) as the English and bilingual language commands
// set them; nothing in Chinese mode (the labels keep what they show).
std::optional<std::string_view> commandScaleLabel(LanguageMode mode, TimeScale scale);

// Time-scale label captions as the settings loader sets them before it runs the language
// command; only English and bilingual modes have them.
std::optional<std::string_view> loaderScaleLabel(LanguageMode mode, TimeScale scale);

// The bilingual captions the labels are built with.
std::string_view designScaleLabel(TimeScale scale);

// Captions of the quantity pop-up items None_b … K3_b as the settings loader sets them (English
// and bilingual modes only). The language commands never touch the pop-up.
std::optional<std::string_view> loaderPopupCaption(LanguageMode mode, Quantity quantity);

// The title of a chart channel (1 or 2) for its quantity, as the language commands and the
// settings loader set it; nothing for quantity None or in Chinese mode (the title stays).
std::optional<std::string_view> languageChannelTitle(LanguageMode mode, int channel,
                                                     Quantity quantity);

}  // namespace tev
