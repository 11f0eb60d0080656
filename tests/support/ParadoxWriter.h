// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Paradox tables written by pxlib's own writer, as the old Windows program
// left them: the fixtures of the reader's and the imports' tests, the seeds
// of its fuzz target and the benchmark's file.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVector>

namespace quil::test {

struct PxColumn {
    QByteArray name; // as stored: code page 932
    int type;        // pxlib's type code (pxfAlpha, pxfLong, ...)
    int size;        // bytes in the record
};

// A column named in text; the size of a fixed-size type is its own.
PxColumn pxColumn(const QString &name, int type, int size = 0);

// The two tables' columns as the Windows program had them.
QList<PxColumn> magazinePxColumns();
QList<PxColumn> systemPxColumns();

// One value per column: an invalid QVariant leaves the field empty; QString
// (encoded to code page 932) or QByteArray (as it is) fills alpha; int fills
// short, long and autoincrement; bool fills logical; QDateTime fills a
// timestamp (to the second) and QDate a date.
using PxRecord = QVector<QVariant>;

// A small register as the Windows program left it, in its tables' columns:
// full-width letters, "～" and "①", a name of the full 255 bytes, an empty
// ID, a timestamp at midnight, both logical values, a password.
QList<PxRecord> sampleMagazineRecords();
QList<PxRecord> sampleSystemRecords();
// The 255 bytes of Shift_JIS of the long name among them.
QString longSampleName();

// Writes the table through PX_create_fp and PX_put_recordn, code page 932
// in its header; aborts when pxlib cannot write it.
void writeParadox(const QString &path, const QList<PxColumn> &columns, const QList<PxRecord> &records);
// The same table's bytes.
QByteArray paradoxBytes(const QList<PxColumn> &columns, const QList<PxRecord> &records);

// Byte helpers for files that lie: the header's little-endian numbers.
void poke16(QByteArray &bytes, int at, int value);
void poke32(QByteArray &bytes, int at, quint32 value);
int peek16(const QByteArray &bytes, int at);

} // namespace quil::test
