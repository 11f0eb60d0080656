// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Opener.h"

#include "platform/ErrorDisplay.h"
#include "platform/MessageBox.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace quil {
namespace {

struct OpenerState {
    Opener::Backend backend;
    QList<Opener::Request> opened;
};

OpenerState &openerState() {
    static OpenerState s;
    return s;
}

struct ClipboardState {
    Clipboard::Backend backend;
    QString text;
};

ClipboardState &clipboardState() {
    static ClipboardState s;
    return s;
}

void hand(const Opener::Request &request, bool reachDesktop) {
    OpenerState &s = openerState();
    if (s.opened.size() >= 10000)
        s.opened.removeFirst();
    s.opened.append(request);
    if (reachDesktop && !MessageBox::testMode() && s.backend)
        s.backend(request);
}

void refuse(const QString &address) {
    QString shown = address;
    if (shown.size() > 200)
        shown = shown.left(200) + QStringLiteral("…");
    MessageBox::show(QStringLiteral("「%1」は開けません。\nWeb ページ (http://、https://) とメール (mailto:) のアドレスだけを開きます。")
                         .arg(shown),
                     applicationTitle(), MsgButtons::Ok, MsgIcon::Exclamation);
}

} // namespace

QString Opener::withScheme(const QString &address) {
    const QString text = address.trimmed();
    // Pages are often written without their scheme ("www.example.jp/"); the
    // desktops readers came from open those as web pages.
    if (text.startsWith(QLatin1String("www."), Qt::CaseInsensitive))
        return QStringLiteral("http://") + text;
    return text;
}

bool Opener::isAllowedAddress(const QString &address) {
    // Addresses come from mails and typing: blanks around them are noise, and
    // characters such as "|" or "{" inside them are common and harmless.
    const QString text = withScheme(address);
    // A mail address goes to the mail program as typed; it cannot start anything else.
    if (text.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
        return true;
    if (!text.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
        && !text.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
        return false;
    // Without a host there is nothing to open.
    const QUrl url(text, QUrl::TolerantMode);
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

bool Opener::openAddress(const QString &address) {
    const QString text = withScheme(address);
    if (text.isEmpty())
        return false;
    if (!isAllowedAddress(text)) {
        refuse(text);
        return false;
    }
    hand(Request{text, false}, true);
    return true;
}

void Opener::openLocalFile(const QString &path) {
    if (path.isEmpty())
        return;
    const QString full = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    // A missing file is not the program's to report; the desktop is not asked.
    hand(Request{full, true}, QFileInfo(full).isFile());
}

void Opener::setBackend(Backend backend) { openerState().backend = std::move(backend); }
const QList<Opener::Request> &Opener::opened() { return openerState().opened; }
void Opener::clearOpened() { openerState().opened.clear(); }

QString Clipboard::text() {
    const ClipboardState &s = clipboardState();
    return s.backend.text ? s.backend.text() : s.text;
}

void Clipboard::setText(const QString &text) {
    ClipboardState &s = clipboardState();
    if (s.backend.setText)
        s.backend.setText(text);
    else
        s.text = text;
}

void Clipboard::setBackend(Backend backend) { clipboardState().backend = std::move(backend); }

} // namespace quil
