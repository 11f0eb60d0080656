// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <functional>

namespace quil {

// The application title, the caption of the general error display.
QString applicationTitle();
void setApplicationTitle(const QString &title);

// "." is appended when the last character sorts after "." ("。" and "a" do,
// "!" does not).
QString errorText(const QString &message);

// Shows the message in the error box: error icon, OK, the application title.
void showError(const QString &message);

// Runs a handler; an escaping error is shown by showError and swallowed, so
// no exception crosses the event loop. What ran before the error stays.
// Returns false when an error was shown.
bool guard(const std::function<void()> &handler);

} // namespace quil
