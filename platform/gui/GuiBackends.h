// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QApplication;

namespace quil {

// Connects the platform services to the desktop: message boxes and file
// dialogs as Qt dialogs, addresses and local files through QDesktopServices,
// the clipboard through the application's clipboard.
void installGuiBackends();

// Loads Qt's Japanese catalogue, so standard buttons read "はい", "いいえ",
// "キャンセル". Returns false when the catalogue is not installed.
bool loadJapaneseTranslations(QApplication &app);

// Qt's own widgets (the file dialogs, their dates and sizes) speak Japanese
// whatever LANG says. Nothing that writes a file uses the default locale:
// the date-time forms and numbers in files are fixed in text/. Call it
// first before other threads start; later calls change nothing.
void useJapaneseLocale();

// The Windows Japanese faces the windows name are drawn with the metric-
// compatible IPA faces.
void installFontSubstitutions();

} // namespace quil
