#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QWidget>

#include "core/chart/canvas.h"

namespace tev {

// The named colours the windows' forms use for their backgrounds and captions.
inline constexpr Rgb kFormBackground{46, 46, 46};
inline constexpr Rgb kFormBlack{0, 0, 0};
inline constexpr Rgb kFormWhite{255, 255, 255};
inline constexpr Rgb kFormBlue{0, 0, 255};
inline constexpr Rgb kFormAqua{0, 255, 255};
inline constexpr Rgb kFormGrey{128, 128, 128};
inline constexpr Rgb kFormSilver{192, 192, 192};
inline constexpr Rgb kFormFuchsia{255, 0, 255};
inline constexpr Rgb kFormPurple{128, 0, 128};
inline constexpr Rgb kFormMaroon{128, 0, 0};

inline QColor toQColor(Rgb c) {
    return QColor(c.r, c.g, c.b);
}

// A font by family and character height in pixels, as the form gives its fonts.
inline QFont pixelFont(const QString& family, int pixelHeight, bool bold = false) {
    QFont font(family);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}

// Caption colour of a label or a button, in every state of the widget.
inline void setTextColour(QWidget* widget, Rgb colour) {
    QPalette pal = widget->palette();
    pal.setColor(QPalette::All, QPalette::WindowText, toQColor(colour));
    pal.setColor(QPalette::All, QPalette::ButtonText, toQColor(colour));
    pal.setColor(QPalette::All, QPalette::Text, toQColor(colour));
    widget->setPalette(pal);
}

inline void setBackgroundColour(QWidget* widget, Rgb colour) {
    QPalette pal = widget->palette();
    pal.setColor(QPalette::All, QPalette::Window, toQColor(colour));
    pal.setColor(QPalette::All, QPalette::Base, toQColor(colour));
    pal.setColor(QPalette::All, QPalette::Button, toQColor(colour));
    widget->setPalette(pal);
    widget->setAutoFillBackground(true);
}

}  // namespace tev
