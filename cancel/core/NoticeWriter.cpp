// SPDX-License-Identifier: GPL-3.0-or-later
#include "cancel/core/NoticeWriter.h"

#include "cancel/core/Services.h"
#include "platform/MessageBox.h"
#include "store/Columns.h"
#include "text/Cp932.h"
#include "text/TextList.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace quil {
namespace {

const QString kEnd = QStringLiteral("-----  以上です  -----");
const QString kLastNoticeKey = QStringLiteral("last-notice");

// Where the last notice went: the record it was for (its row and a digest
// of its entry without the date line), the file, and the file's size
// before the entry was appended.
struct NoticeMark {
    qint64 row = 0;
    QString digest;
    QString path;
    qint64 offset = 0;

    QString text() const { return QStringLiteral("%1\t%2\t%3\t%4").arg(row).arg(digest, path).arg(offset); }
    static NoticeMark parse(const QString &text) {
        NoticeMark m;
        const QStringList f = text.split(u'\t');
        if (f.size() == 4) {
            m.row = f[0].toLongLong();
            m.digest = f[1];
            m.path = f[2];
            m.offset = f[3].toLongLong();
        }
        return m;
    }
    bool sameRecord(const NoticeMark &o) const { return row != 0 && row == o.row && digest == o.digest && path == o.path; }
};

// The record's lines stand in the file after the noted place (the title
// lines or a line end an append puts first come before them).
bool writtenAfter(const QString &path, qint64 offset, const QByteArray &record) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() < offset + record.size() || !f.seek(offset))
        return false;
    return f.read(record.size() + 1024).indexOf(record) >= 0;
}

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
    const Service *service = serviceNamed(publishing);
    return service ? service->notice : NoticeKind::Other;
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
    // Nobody else waits on this program's lock while the box waits for the
    // reader; within a walk each deletion is then durable on its own.
    magazines.commitForWait();
    // The windows show the record the box speaks of, also during a walk
    // that keeps them still.
    magazines.showRecordToControls();
    MessageBox::show(noticeBoxText(publishing), noticeBoxCaption(), MsgButtons::Ok, MsgIcon::Information);
    const QString file = noticeFileName(kind);
    const QByteArray record = cp932::encode(textlist::joinCrLf(entry.mid(1)));
    NoticeMark mark;
    mark.row = magazines.bookmark();
    mark.digest = QString::fromLatin1(QCryptographicHash::hash(record, QCryptographicHash::Sha256).toHex());
    mark.path = QFileInfo(file).absoluteFilePath();
    const NoticeMark last = NoticeMark::parse(magazines.sideValue(kLastNoticeKey));
    if (mark.sameRecord(last) && writtenAfter(last.path, last.offset, record))
        return; // written by a run that stopped before its deletion was stored
    // Noted before the notice is written, so that a run stopped between the
    // notice and the deletion finds it on the next try.
    if (mark.row != 0) {
        const QFileInfo info(mark.path);
        mark.offset = info.exists() ? info.size() : 0;
        magazines.setSideValue(kLastNoticeKey, mark.text());
    }
    // Appending gives the same bytes as rewriting the whole file with the
    // entry added, at a cost that does not grow with the file.
    textlist::appendFile(file, entry, {noticeTitle(kind), QString()});
}

} // namespace quil
