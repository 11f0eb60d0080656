// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/ParadoxWriter.h"

#include "store/Columns.h"
#include "text/Cp932.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
// pxlib's header is C without C++ guards.
extern "C" {
#include <paradox.h>
}

namespace quil::test {
namespace {

[[noreturn]] void fail(const char *what) {
    std::fprintf(stderr, "ParadoxWriter: %s\n", what);
    std::abort();
}

// pxlib warns when it places a record itself; the fixtures do not care.
void quiet(pxdoc_t *, int type, const char *message, void *) {
    if (type != PX_Warning)
        std::fprintf(stderr, "pxlib: %s\n", message);
}

int fixedSize(int type) {
    switch (type) {
    case pxfShort: return 2;
    case pxfLong:
    case pxfDate:
    case pxfTime:
    case pxfAutoInc: return 4;
    case pxfLogical: return 1;
    case pxfTimestamp:
    case pxfNumber:
    case pxfCurrency: return 8;
    default: return 0;
    }
}

void put(pxdoc_t *doc, char *p, const PxColumn &c, const QVariant &v) {
    if (!v.isValid())
        return; // the record starts as zeros, Paradox's empty field
    switch (c.type) {
    case pxfAlpha: {
        QByteArray raw = v.typeId() == QMetaType::QByteArray ? v.toByteArray() : cp932::encode(v.toString());
        PX_put_data_alpha(doc, p, c.size, raw.data());
        break;
    }
    case pxfShort:
        PX_put_data_short(doc, p, 2, short(v.toInt()));
        break;
    case pxfLong:
    case pxfAutoInc:
        PX_put_data_long(doc, p, 4, v.toInt());
        break;
    case pxfLogical:
        PX_put_data_byte(doc, p, 1, v.toBool() ? 1 : 0);
        break;
    case pxfTimestamp: {
        const QDateTime t = v.toDateTime();
        pxval_t *made = PX_make_timestamp(doc, t.date().year(), t.date().month(), t.date().day(), t.time().hour(),
                                          t.time().minute(), t.time().second());
        PX_put_data_double(doc, p, 8, made->value.dval);
        FREE_PXVAL(doc, made);
        break;
    }
    case pxfDate: {
        const QDate d = v.toDate();
        pxval_t *made = PX_make_date(doc, d.year(), d.month(), d.day());
        PX_put_data_long(doc, p, 4, int(made->value.lval));
        FREE_PXVAL(doc, made);
        break;
    }
    default:
        fail("no value of that type is written");
    }
}

} // namespace

PxColumn pxColumn(const QString &name, int type, int size) {
    return {cp932::encode(name), type, size ? size : fixedSize(type)};
}

QList<PxColumn> magazinePxColumns() {
    return {pxColumn(col::Publishing, pxfAlpha, 30),   pxColumn(col::MBName, pxfAlpha, 255),
            pxColumn(col::MBID, pxfLong),              pxColumn(col::MBType, pxfAlpha, 25),
            pxColumn(col::MBCycle, pxfAlpha, 30),      pxColumn(col::Web, pxfAlpha, 255),
            pxColumn(col::Publisher, pxfAlpha, 255),   pxColumn(col::RegAddress, pxfAlpha, 255),
            pxColumn(col::RegTime, pxfTimestamp),      pxColumn(col::IPAddress, pxfAlpha, 15),
            pxColumn(col::ChargeOrFree, pxfAlpha, 4),  pxColumn(col::Explanation, pxfAlpha, 240),
            pxColumn(col::DeleteState, pxfAlpha, 30)};
}

QList<PxColumn> systemPxColumns() {
    return {pxColumn(col::MMSysID, pxfShort),           pxColumn(col::MMSysName, pxfAlpha, 30),
            pxColumn(col::CancelUrl, pxfAlpha, 100),    pxColumn(col::AppendMMID, pxfLogical),
            pxColumn(col::MMIDFigure, pxfShort),        pxColumn(col::NeedMemberID, pxfLogical),
            pxColumn(col::MemberID, pxfAlpha, 50),      pxColumn(col::MemberPass, pxfAlpha, 50),
            pxColumn(col::SysRegAddress, pxfAlpha, 50), pxColumn(col::Expansion, pxfAlpha, 5),
            pxColumn(col::Note, pxfAlpha, 255)};
}

QString longSampleName() { return QString(127, QChar(0x3042)) + QLatin1Char('Z'); } // "あ" x 127 and one more byte

QList<PxRecord> sampleMagazineRecords() {
    auto at = [](int y, int mo, int d, int h, int mi, int s) { return QDateTime(QDate(y, mo, d), QTime(h, mi, s)); };
    return {
        {QStringLiteral("まぐまぐ"), QStringLiteral("ＡＢＣ通信～第①号"), 123456, QStringLiteral("テキスト"),
         QStringLiteral("週刊"), QStringLiteral("http://www.example.jp/abc/"), QStringLiteral("editor@example.jp"),
         QStringLiteral("reader@example.jp"), at(2003, 4, 5, 12, 34, 56), QStringLiteral("192.168.10.20"),
         QStringLiteral("無料"), QStringLiteral("毎週の話題を①から⑩まで"), QStringLiteral("購読中")},
        {QStringLiteral("melma"), longSampleName(), QVariant(), QStringLiteral("ＨＴＭＬ"), QVariant(), QVariant(),
         QVariant(), QStringLiteral("reader@example.jp"), at(2004, 1, 2, 0, 0, 0), QVariant(), QStringLiteral("有料"),
         QVariant(), QStringLiteral("解除")},
        {QStringLiteral("独自システム"), QStringLiteral("Ｗｅｂ便り"), 0, QVariant(), QStringLiteral("不定期"),
         QVariant(), QVariant(), QVariant(), QVariant(), QStringLiteral("10.0.0.1"), QVariant(), QVariant(),
         QStringLiteral("解除候補")},
    };
}

QList<PxRecord> sampleSystemRecords() {
    return {
        {1, QStringLiteral("まぐまぐ"), QStringLiteral("http://old.example.jp/magmag"), true, 6, false, QVariant(),
         QVariant(), QVariant(), QVariant(), QStringLiteral("古い組み込みの行")},
        {11, QStringLiteral("ＡＢＣメール～"), QStringLiteral("http://abc.example.jp/cancel?id=①"), true, 6, false,
         QVariant(), QVariant(), QVariant(), QStringLiteral(".htm"), QStringLiteral("備考①")},
        {12, QStringLiteral("会員制配信"), QStringLiteral("http://member.example.jp/"), false, QVariant(), true,
         QStringLiteral("member01"), QStringLiteral("ｐａｓｓ～①"), QStringLiteral("me@example.jp"), QVariant(),
         QVariant()},
    };
}

QByteArray paradoxBytes(const QList<PxColumn> &columns, const QList<PxRecord> &records) {
    int recordSize = 0;
    for (const PxColumn &c : columns)
        recordSize += c.size;
    // pxlib rewrites the header for every record it puts: in memory, so that
    // a large table is not a system call or two per record. Its blocks are
    // 2, 3 or 16 KB by the record's size, its header a few KB.
    const qint64 block = recordSize < 30 ? 0x800 : recordSize < 120 ? 0xC00 : 0x4000;
    const qint64 perBlock = std::max<qint64>(1, (block - 6) / std::max(1, recordSize));
    QByteArray buffer(qsizetype(0x10000 + (qint64(records.size()) / perBlock + 2) * block), '\0');
    FILE *fp = fmemopen(buffer.data(), size_t(buffer.size()), "w+b");
    if (!fp)
        fail("cannot make the memory stream");
    pxdoc_t *doc = PX_new2(quiet, nullptr, nullptr, nullptr);
    // pxlib keeps the fields and frees them with the document.
    auto *fields = static_cast<pxfield_t *>(std::calloc(size_t(columns.size()), sizeof(pxfield_t)));
    for (qsizetype i = 0; i < columns.size(); ++i) {
        fields[i].px_fname = strdup(columns[i].name.constData());
        fields[i].px_ftype = char(columns[i].type);
        fields[i].px_flen = columns[i].size;
    }
    if (!doc || PX_create_fp(doc, fields, int(columns.size()), fp, pxfFileTypNonIndexDB) < 0)
        fail("PX_create_fp failed");
    doc->px_head->px_doscodepage = 932;
    doc->px_head->px_refintegrity = 0; // left unset by PX_create_fp
    PX_set_tablename(doc, "MMaga");
    QByteArray record(recordSize, '\0');
    for (qsizetype r = 0; r < records.size(); ++r) {
        record.fill('\0');
        int offset = 0;
        for (qsizetype i = 0; i < columns.size(); ++i) {
            put(doc, record.data() + offset, columns[i], records[r].value(i));
            offset += columns[i].size;
        }
        if (PX_put_recordn(doc, record.data(), int(r)) < 0)
            fail("PX_put_recordn failed");
    }
    const qint64 length = qint64(doc->px_head->px_headersize)
                          + qint64(doc->px_head->px_fileblocks) * doc->px_head->px_maxtablesize * 0x400;
    PX_close(doc);
    PX_delete(doc);
    if (std::fclose(fp) != 0 || length > buffer.size())
        fail("the table does not fit its buffer");
    buffer.truncate(qsizetype(length));
    return buffer;
}

void writeParadox(const QString &path, const QList<PxColumn> &columns, const QList<PxRecord> &records) {
    const QByteArray bytes = paradoxBytes(columns, records);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush())
        fail("cannot write the file");
}

void poke16(QByteArray &bytes, int at, int value) {
    bytes[at] = char(value & 0xff);
    bytes[at + 1] = char((value >> 8) & 0xff);
}

void poke32(QByteArray &bytes, int at, quint32 value) {
    poke16(bytes, at, int(value & 0xffff));
    poke16(bytes, at + 2, int(value >> 16));
}

int peek16(const QByteArray &bytes, int at) { return quint8(bytes[at]) | quint8(bytes[at + 1]) << 8; }

} // namespace quil::test
