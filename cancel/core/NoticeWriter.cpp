#include "cancel/core/NoticeWriter.h"

#include "platform/MessageBox.h"
#include "store/Columns.h"
#include "text/TextList.h"

namespace quil {
namespace {

const QString kEnd = QStringLiteral("-----  以上です  -----");

// The column's text form, with any line break made CR LF: the file is CR LF
// throughout.
QString value(Table &t, const QString &column) {
    return textlist::normalizeLineBreaks(t.fieldByName(column).asString());
}

QStringList mag2Entry(Table &t) {
    return {
        QStringLiteral("●登録メールマガジン:"),
        value(t, col::MBName),
        QStringLiteral("●マガジンＩＤ:"),
        value(t, col::MBID),
        QStringLiteral("●データタイプ:"),
        value(t, col::MBType),
        QStringLiteral("●発行周期:"),
        value(t, col::MBCycle),
        QStringLiteral("●関連Webページ:"),
        value(t, col::Web),
        QStringLiteral("●発行者問い合わせ先:"),
        value(t, col::Publisher),
        QStringLiteral("●登録アドレス:"),
        value(t, col::RegAddress),
        QStringLiteral("●登録日時:"),
        value(t, col::RegTime),
        QStringLiteral("●登録に利用されたコンピューターのIPアドレス:"),
        value(t, col::IPAddress),
        kEnd,
    };
}

QStringList pubzineEntry(Table &t) {
    const QString ip = value(t, col::IPAddress);
    return {
        QStringLiteral("メールマガジンID  ") + value(t, col::MBID),
        QStringLiteral("メールマガジン名"),
        QStringLiteral("  ") + value(t, col::MBName),
        ip + u'(' + ip + u')',
        QStringLiteral(" at ") + value(t, col::RegTime),
        kEnd,
    };
}

// The KAV-PBL block the automatic input reads back.
QStringList otherEntry(Table &t) {
    return {
        QStringLiteral("[KAV-PBL]"),
        QStringLiteral("▼発行システム："),
        value(t, col::Publishing),
        QStringLiteral("▼マガジンID："),
        value(t, col::MBID),
        QStringLiteral("▼マガジン名："),
        value(t, col::MBName),
        QStringLiteral("▼データタイプ："),
        value(t, col::MBType),
        QStringLiteral("▼発行周期："),
        value(t, col::MBCycle),
        QStringLiteral("▼有料/無料の区別："),
        value(t, col::ChargeOrFree),
        QStringLiteral("▼管理者アドレス："),
        value(t, col::Publisher),
        QStringLiteral("▼関連Webページ："),
        value(t, col::Web),
        QStringLiteral("▼説明："),
        value(t, col::Explanation),
        QStringLiteral("▼登録アドレス："),
        value(t, col::RegAddress),
        QStringLiteral("▼登録日時："),
        value(t, col::RegTime),
        QStringLiteral("▼登録に利用されたIPアドレス："),
        value(t, col::IPAddress),
        QStringLiteral("[/KAV-PBL]"),
    };
}

} // namespace

NoticeKind noticeKind(const QString &publishing) {
    if (publishing == QStringLiteral("まぐまぐ"))
        return NoticeKind::Mag2;
    if (publishing == QStringLiteral("Pubzine"))
        return NoticeKind::Pubzine;
    return NoticeKind::Other;
}

QString noticeFileName(NoticeKind kind) {
    switch (kind) {
    case NoticeKind::Mag2:
        return QStringLiteral("CMag2.txt");
    case NoticeKind::Pubzine:
        return QStringLiteral("CPubzine.txt");
    case NoticeKind::Other:
        break;
    }
    return QStringLiteral("CKAV-NTC.txt");
}

QString noticeTitle(NoticeKind kind) {
    switch (kind) {
    case NoticeKind::Mag2:
        return QStringLiteral("*** まぐまぐ解除通知書 ***");
    case NoticeKind::Pubzine:
        return QStringLiteral("*** Pubzine 解除通知書 ***");
    case NoticeKind::Other:
        break;
    }
    return QStringLiteral("*** KAV-NTC による解除通知書 ***");
}

QString noticeBoxCaption() { return QStringLiteral("発行媒体確認"); }

QString noticeBoxText(const QString &publishing) {
    switch (noticeKind(publishing)) {
    case NoticeKind::Mag2:
        return QStringLiteral("発行媒体はまぐまぐです");
    case NoticeKind::Pubzine:
        return QStringLiteral("発行媒体は Pubzine です");
    case NoticeKind::Other:
        break;
    }
    return QStringLiteral("発行媒体は ") + publishing + QStringLiteral(" です。");
}

QString noticeDateLine(const QDate &today) {
    // The fixed short date form, as in the registration times.
    return QStringLiteral("下記の項目は ") + today.toString(QStringLiteral("yyyy/MM/dd"))
         + QStringLiteral(" に削除された項目です");
}

QStringList cancelNoticeEntry(Table &magazines, const QDate &today) {
    QStringList lines{noticeDateLine(today)};
    switch (noticeKind(magazines.fieldByName(col::Publishing).asString())) {
    case NoticeKind::Mag2:
        lines += mag2Entry(magazines);
        break;
    case NoticeKind::Pubzine:
        lines += pubzineEntry(magazines);
        break;
    case NoticeKind::Other:
        lines += otherEntry(magazines);
        break;
    }
    lines += QString();
    return lines;
}

void writeCancelNotice(Table &magazines, const QDate &today) {
    const QString publishing = magazines.fieldByName(col::Publishing).asString();
    const NoticeKind kind = noticeKind(publishing);
    // The entry is taken before the box: the record cannot change under it.
    const QStringList entry = cancelNoticeEntry(magazines, today);
    MessageBox::show(noticeBoxText(publishing), noticeBoxCaption(), MsgButtons::Ok, MsgIcon::Information);
    // Appending gives the same bytes as rewriting the whole file with the
    // entry added, at a cost that does not grow with the file.
    textlist::appendFile(noticeFileName(kind), entry, {noticeTitle(kind), QString()});
}

} // namespace quil
