// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QList>
#include <QString>
#include <functional>

namespace quil {

enum class MsgIcon { None, Information, Exclamation, Error, Question };
enum class MsgButtons { Ok, OkCancel, YesNo };
enum class MsgAnswer { Ok, Cancel, Yes, No };

struct ShownMessage {
    QString text;
    QString caption;
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::None;
    MsgAnswer answer = MsgAnswer::Ok;
};

// The program's message boxes. The window layer installs a backend that shows
// a real box; tests queue answers and read back what was shown.
class MessageBox {
public:
    using Backend = std::function<MsgAnswer(const ShownMessage &)>;

    static MsgAnswer show(const QString &text, const QString &caption, MsgButtons buttons, MsgIcon icon);

    static void setBackend(Backend backend);
    // Queued answers are used first, one per box, without showing anything.
    static void setNextAnswer(MsgAnswer answer);
    // With test mode on and no queued answer, a box is not shown and answers
    // with its first button (OK or Yes). Setting the mode drops queued answers.
    static void setTestMode(bool on);
    // Also keeps file dialogs and the address opener from reaching the desktop.
    static bool testMode();
    static const QList<ShownMessage> &shown();
    static void clearShown();
};

// File dialogs work the same way: the next file name is used instead of a dialog.
// The save dialog asks before replacing a file. A default suffix (without
// the dot) is added to a name typed without one; the open dialog takes the
// name with the suffix when only that file exists.
class FileDialog {
public:
    using Backend = std::function<QString(const QString &caption, const QString &filter, bool save,
                                          const QString &defaultSuffix)>;
    // An empty result means the reader cancelled.
    static QString getOpenFileName(const QString &caption, const QString &filter, const QString &defaultSuffix = {});
    static QString getSaveFileName(const QString &caption, const QString &filter, const QString &defaultSuffix = {});
    static void setBackend(Backend backend);
    // An empty next name stands for a cancelled dialog.
    static void setNextFileName(const QString &name);
    static int shownCount();
    static void reset();
};

} // namespace quil
