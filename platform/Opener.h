// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QList>
#include <QString>
#include <functional>

namespace quil {

// Hands addresses to the desktop. Only web addresses (http, https) and mailto:
// go out; the program's own local pages (the manual, Cancel.html) open as
// files. Anything else is refused with a message box and never started.
class Opener {
public:
    // What the backend receives: either a URL to hand to the desktop or a
    // local file path to open.
    struct Request {
        QString address;
        bool localFile = false;
    };
    using Backend = std::function<void(const Request &)>;

    // True when the text is a web or mailto: address; blanks around it are
    // dropped and the rest is what goes out. Empty text opens nothing and
    // reports nothing (returns false, no message).
    // An address that starts with "www." is taken as a web page: "http://"
    // goes before it.
    static bool openAddress(const QString &address);
    // The address as it goes out: trimmed, and "http://" before "www.".
    static QString withScheme(const QString &address);
    // Opens a file of the program's own (relative paths are taken from the
    // current folder). A missing file is not reported.
    static void openLocalFile(const QString &path);

    static bool isAllowedAddress(const QString &address);
    static void setBackend(Backend backend);
    // Tests: what would have been opened.
    static const QList<Request> &opened();
    static void clearOpened();
};

// Plain text on the clipboard.
class Clipboard {
public:
    struct Backend {
        std::function<QString()> text;
        std::function<void(const QString &)> setText;
    };
    static QString text();
    static void setText(const QString &text);
    // Without a backend the clipboard is an in-memory string (tests).
    static void setBackend(Backend backend);
};

} // namespace quil
