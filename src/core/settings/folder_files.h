#pragma once

namespace tev {

// The files the program keeps in its working folder, by the names it gives them.

// The measurement tables of every time scale, saved on close and every hour.
inline constexpr const char* kRecordsFileName = "TEV3P_Records.dat";
// The window's settings: language, scales, spans, cursors, colours.
inline constexpr const char* kSettingsFileName = "TEV3P_Environ.dat";
// The services' settings, written by the user (the program writes only [tray] hidden=).
inline constexpr const char* kIniFileName = "tev3p.ini";
// The per-meter archive of minute, hour and day rows and the alert history.
inline constexpr const char* kArchiveFileName = "TEV3P_Archive.sqlite";
// Held while a program records in the folder, so that a second one does not.
inline constexpr const char* kLockFileName = ".tev3p.lock";
// A meter's day file is this prefix, its 12-character ID and this suffix.
inline constexpr const char* kDayFilePrefix = "M10_";
inline constexpr const char* kDayFileSuffix = ".txt";

}  // namespace tev
