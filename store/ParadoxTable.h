// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A Paradox table of the old Windows program (MMagaInfo.DB, MMagaSys.DB),
// read through pxlib: its fields, its record count and each record's values
// in stored order. Text is code page 932 and is decoded by the program's own
// codec; pxlib never converts it.
//
// The header and the heads of the data blocks are read and checked
// (store/ParadoxCheck.h) before pxlib is given the file, and pxlib reads
// them as they were checked: through a stream of the program's own that
// serves their checked copies and takes the records from the file, a
// megabyte at a time. A file that is no Paradox table, or whose header or
// block chain lies, is refused with a quil::Error naming the file and what
// is wrong; a file cut or failing while its records are read, too.
#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVector>

#include <memory>
#include <vector>

namespace quil {

// Field types as Paradox stores them (pxlib's codes).
enum class ParadoxType {
    Alpha = 0x01,
    Date = 0x02,
    Short = 0x03,
    Long = 0x04,
    Money = 0x05,
    Number = 0x06,
    Logical = 0x09,
    Memo = 0x0C,
    Binary = 0x0D,
    FormattedMemo = 0x0E,
    Ole = 0x0F,
    Graphic = 0x10,
    Time = 0x14,
    Timestamp = 0x15,
    AutoIncrement = 0x16,
    Bcd = 0x17,
    Bytes = 0x18,
};

// The type as Paradox's Japanese edition names it, with its letter: "長整数 (I)".
QString paradoxTypeName(ParadoxType type);

struct ParadoxField {
    QString name;      // decoded from code page 932
    ParadoxType type;
    int size;          // as the header gives it: bytes of Shift_JIS for alpha
};

class ParadoxTable {
public:
    // Opens and checks the table; a field of a memo type reads its text from
    // the memo file beside it (the same name with .MB, in any case), which
    // is read whole when it is there. Throws quil::Error naming the file: it
    // cannot be opened or is no regular file, it is no Paradox table, it is
    // protected by a password, or it lies (store/ParadoxCheck.h). The file
    // stays open for the life of the object.
    explicit ParadoxTable(const QString &path);
    // The same over bytes already read; `name` names them in errors. `memo`,
    // when given, is the memo file's bytes.
    ParadoxTable(const QByteArray &bytes, const QString &name, const QByteArray *memo = nullptr);
    ~ParadoxTable();
    ParadoxTable(const ParadoxTable &) = delete;
    ParadoxTable &operator=(const ParadoxTable &) = delete;

    const QString &name() const;
    const std::vector<ParadoxField> &fields() const;
    // The position of the field of that name; -1 when there is none.
    int fieldIndex(const QString &name) const;
    int recordCount() const;

    // The values of the record at a position (0 .. recordCount() - 1, stored
    // order), one per field. An empty field is an invalid QVariant; else:
    // - alpha: QString, up to its first NUL, trailing blanks dropped (a field
    //   of nothing but blanks is empty);
    // - short, long integer, autoincrement: int; logical: bool;
    // - timestamp: QDateTime in local time, as the Windows program stored it,
    //   to the second; date: QDate; time: QTime;
    // - number, money: double; BCD: QString of its digits;
    // - memo: QString (from the record, or the memo file);
    // - formatted memo, binary, OLE, graphic, bytes: QByteArray.
    // Throws quil::Error naming the file, the record (from 1) and the field
    // for a value that is no value of its type, or a memo whose memo file is
    // missing or does not hold it; naming the file when it cannot be read
    // any more or was cut since it was opened.
    QVector<QVariant> record(int position);

    // The same a value at a time: read() makes a record current, throwing
    // what record() throws for the record itself; value() gives one of its
    // values as record() does (throwing for that value), and text() an
    // alpha or memo field's text, empty when the field is (no QVariant
    // made). Before a record was read, or after a failed read, both throw.
    void read(int position);
    QVariant value(int field) const;
    QString text(int field) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace quil
