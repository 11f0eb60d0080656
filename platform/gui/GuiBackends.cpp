#include "platform/gui/GuiBackends.h"

#include "platform/MessageBox.h"
#include "platform/Opener.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QTranslator>
#include <QUrl>

namespace quil {
namespace {

QMessageBox::Icon qtIcon(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::None: return QMessageBox::NoIcon;
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Exclamation: return QMessageBox::Warning;
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

MsgAnswer showBox(const ShownMessage &msg) {
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton first = QMessageBox::Ok;
    MsgAnswer closed = MsgAnswer::Ok;
    switch (msg.buttons) {
    case MsgButtons::Ok: break;
    case MsgButtons::OkCancel:
        buttons = QMessageBox::Ok | QMessageBox::Cancel;
        closed = MsgAnswer::Cancel;
        break;
    case MsgButtons::YesNo:
        buttons = QMessageBox::Yes | QMessageBox::No;
        first = QMessageBox::Yes;
        closed = MsgAnswer::No;
        break;
    }
    QMessageBox box(qtIcon(msg.icon), msg.caption, msg.text, buttons, QApplication::activeWindow());
    box.setObjectName(QStringLiteral("QuilMessageBox"));
    box.setDefaultButton(first);
    // Escape and the close box answer as the last button does.
    box.setEscapeButton(msg.buttons == MsgButtons::Ok ? QMessageBox::Ok
                                                      : (msg.buttons == MsgButtons::YesNo ? QMessageBox::No
                                                                                          : QMessageBox::Cancel));
    switch (box.exec()) {
    case QMessageBox::Ok: return MsgAnswer::Ok;
    case QMessageBox::Cancel: return MsgAnswer::Cancel;
    case QMessageBox::Yes: return MsgAnswer::Yes;
    case QMessageBox::No: return MsgAnswer::No;
    default: return closed;
    }
}

// "CSV ファイル (*.csv)|*.csv|すべて (*.*)|*.*" is the classic form of a
// filter; Qt wants "CSV ファイル (*.csv);;すべて (*.*)".
QString qtFilter(const QString &filter) {
    if (!filter.contains(u'|'))
        return filter;
    const QStringList parts = filter.split(u'|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(u';', u' ');
        QString name = parts[i];
        const qsizetype paren = name.indexOf(u'(');
        if (paren >= 0)
            name = name.left(paren).trimmed();
        out << QStringLiteral("%1 (%2)").arg(name, patterns);
    }
    if (parts.size() % 2 == 1 && !parts.last().isEmpty())
        out << parts.last();
    return out.join(QStringLiteral(";;"));
}

} // namespace

void installGuiBackends() {
    MessageBox::setBackend(showBox);
    FileDialog::setBackend([](const QString &caption, const QString &filter, bool save, const QString &suffix) {
        QFileDialog dialog(QApplication::activeWindow(), caption, QString(), qtFilter(filter));
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        // Open: only an existing file; save: asks before replacing one.
        dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dialog.setDefaultSuffix(suffix);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().first();
    });
    Opener::setBackend([](const Opener::Request &request) {
        // The desktop's opener is started and not waited for.
        QDesktopServices::openUrl(request.localFile ? QUrl::fromLocalFile(request.address)
                                                    : QUrl(request.address, QUrl::TolerantMode));
    });
    Clipboard::setBackend(Clipboard::Backend{
        [] { return QGuiApplication::clipboard()->text(); },
        [](const QString &text) { QGuiApplication::clipboard()->setText(text); },
    });
}

bool loadJapaneseTranslations(QApplication &app) {
    auto *translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    app.installTranslator(translator);
    return true;
}

void useJapaneseLocale() { QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan)); }

void installFontSubstitutions() {
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐ明朝"), QStringLiteral("IPAPMincho"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ 明朝"), QStringLiteral("IPAMincho"));
    QFont::insertSubstitution(QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"));
    QFont::insertSubstitution(QStringLiteral("MS Gothic"), QStringLiteral("IPAGothic"));
}

} // namespace quil
