// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ErrorDisplay.h"

#include "platform/MessageBox.h"
#include "text/Error.h"

#include <new>

namespace quil {
namespace {

QString &titleStore() {
    static QString title = QStringLiteral("Quillet");
    return title;
}

QString textOf(const std::exception &e) {
    const char *what = e.what();
    if (!what || !*what)
        return QStringLiteral("予期しないエラーが発生しました");
    return QString::fromUtf8(what);
}

} // namespace

QString applicationTitle() { return titleStore(); }
void setApplicationTitle(const QString &title) { titleStore() = title; }

QString errorText(const QString &message) {
    if (!message.isEmpty() && message.back() > QChar(u'.'))
        return message + u'.';
    return message;
}

void showError(const QString &message) {
    MessageBox::show(errorText(message), applicationTitle(), MsgButtons::Ok, MsgIcon::Error);
}

bool guard(const std::function<void()> &handler) {
    QString message;
    try {
        if (handler)
            handler();
        return true;
    } catch (const Error &e) {
        message = e.message();
    } catch (const std::bad_alloc &) {
        message = QStringLiteral("メモリが不足しています");
    } catch (const std::exception &e) {
        message = textOf(e);
    } catch (...) {
        message = QStringLiteral("予期しないエラーが発生しました");
    }
    // The display itself must not let anything escape into the event loop.
    try {
        showError(message);
    } catch (...) {
    }
    return false;
}

} // namespace quil
