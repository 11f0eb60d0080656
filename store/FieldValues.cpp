// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/FieldValues.h"

#include "text/Cp932.h"
#include "text/DateText.h"
#include "text/Error.h"

#include <cmath>
#include <limits>

namespace quil::values {

QString closedError() { return QStringLiteral("データセットが閉じています"); }
QString notEditingError() { return QStringLiteral("データセットが編集モードでも挿入モードでもありません"); }
QString variantError() { return QStringLiteral("バリアントの型変換が不正です"); }

QString sqlType(FieldType t) {
    switch (t) {
    case FieldType::String:
    case FieldType::DateTime:
        return QStringLiteral("TEXT");
    case FieldType::Integer:
    case FieldType::SmallInt:
    case FieldType::Boolean:
        return QStringLiteral("INTEGER");
    }
    return QStringLiteral("TEXT");
}

namespace {
bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }
} // namespace

bool parseDecimal(const QString &text, bool trailingBlanks, qint64 &out) {
    qsizetype i = 0, n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    qsizetype digitsStart = i;
    quint64 value = 0;
    while (i < n && text[i] >= u'0' && text[i] <= u'9') {
        unsigned digit = text[i].unicode() - u'0';
        if (value > (quint64(std::numeric_limits<qint64>::max()) - digit) / 10)
            return false;
        value = value * 10 + digit;
        ++i;
    }
    if (i == digitsStart)
        return false;
    if (trailingBlanks)
        while (i < n && isBlank(text[i]))
            ++i;
    if (i != n)
        return false;
    out = negative ? -qint64(value) : qint64(value);
    return true;
}

std::optional<bool> parseBool(const QString &text) {
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || text == QLatin1String("1"))
        return true;
    if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 || text == QLatin1String("0"))
        return false;
    return std::nullopt;
}

static QString rangeError(qint64 v, const FieldDef &def) {
    return QStringLiteral("%1 は項目 '%2' に適した値ではありません。範囲は %3 から %4 です")
        .arg(v)
        .arg(def.name)
        .arg(std::numeric_limits<qint16>::min())
        .arg(std::numeric_limits<qint16>::max());
}

// Range of a number column; `textForm` picks the error of a text conversion.
QVariant checkedInteger(const FieldDef &def, qint64 v, const QString &source, bool textForm) {
    if (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max()) {
        if (textForm)
            throw Error(QStringLiteral("'%1' は項目 '%2' に適した整数値ではありません").arg(source, def.name));
        throw Error(variantError());
    }
    if (def.type == FieldType::SmallInt
        && (v < std::numeric_limits<qint16>::min() || v > std::numeric_limits<qint16>::max()))
        throw Error(rangeError(v, def));
    return QVariant(int(v));
}

QVariant cutText(const FieldDef &def, const QString &text) {
    if (text.isEmpty())
        return QVariant();
    // No character takes more than two bytes, so short text needs no count.
    const bool fits = def.size <= 0 || text.size() * 2 <= def.size;
    QString t = fits ? text : cp932::cutToWidth(text, def.size);
    return t.isEmpty() ? QVariant() : QVariant(t);
}

// The "from text" conversion of a column.
QVariant fromText(const FieldDef &def, const QString &text) {
    if (text.isEmpty())
        return QVariant();
    switch (def.type) {
    case FieldType::String:
        return cutText(def, text);
    case FieldType::Integer:
    case FieldType::SmallInt: {
        qint64 v = 0;
        if (!parseDecimal(text, false, v))
            throw Error(QStringLiteral("'%1' は項目 '%2' に適した整数値ではありません").arg(text, def.name));
        return checkedInteger(def, v, text, true);
    }
    case FieldType::DateTime: {
        auto dt = datetext::parse(text);
        if (!dt)
            throw Error(QStringLiteral("'%1' は日付または時刻ではありません").arg(text));
        return QVariant(*dt);
    }
    case FieldType::Boolean: {
        auto b = parseBool(text);
        if (!b)
            throw Error(QStringLiteral("'%1' は項目 '%2' に適したブール値ではありません").arg(text, def.name));
        return QVariant(*b);
    }
    }
    return QVariant();
}

QString textOf(const FieldDef &def, const QVariant &v) {
    if (!v.isValid())
        return QString();
    switch (def.type) {
    case FieldType::String:
        return v.toString();
    case FieldType::Integer:
    case FieldType::SmallInt:
        return QString::number(v.toLongLong());
    case FieldType::DateTime:
        return datetext::plain(v.toDateTime());
    case FieldType::Boolean:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    }
    return QString();
}

static bool isNumeric(const QVariant &v) {
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

static std::optional<QDateTime> parseDateValue(const QString &text) {
    QString t = text.trimmed();
    if (auto dt = datetext::parse(t))
        return dt;
    QDateTime iso = QDateTime::fromString(t, Qt::ISODateWithMs);
    if (!iso.isValid())
        iso = QDateTime::fromString(t, Qt::ISODate);
    if (iso.isValid())
        return iso;
    return std::nullopt;
}

// The "as a value" conversion of a column.
QVariant fromVariant(const FieldDef &def, const QVariant &value) {
    if (!value.isValid() || value.isNull())
        return QVariant();
    const int type = value.typeId();
    switch (def.type) {
    case FieldType::String:
        if (type == QMetaType::Bool)
            return cutText(def, value.toBool() ? QStringLiteral("True") : QStringLiteral("False"));
        if (type == QMetaType::QDateTime)
            return cutText(def, datetext::plain(value.toDateTime()));
        if (type == QMetaType::QDate)
            return cutText(def, datetext::plain(value.toDate().startOfDay()));
        if (!value.canConvert<QString>())
            throw Error(variantError());
        return cutText(def, value.toString());
    case FieldType::Integer:
    case FieldType::SmallInt: {
        if (type == QMetaType::Bool)
            return checkedInteger(def, value.toBool() ? 1 : 0, QString(), false);
        if (type == QMetaType::Double || type == QMetaType::Float) {
            double d = value.toDouble();
            if (!std::isfinite(d) || std::fabs(d) > 9.0e15)
                throw Error(variantError());
            return checkedInteger(def, qRound64(d), QString(), false);
        }
        if (isNumeric(value)) {
            if (type == QMetaType::ULongLong && value.toULongLong() > quint64(std::numeric_limits<qint64>::max()))
                throw Error(variantError());
            return checkedInteger(def, value.toLongLong(), QString(), false);
        }
        if (type == QMetaType::QString || type == QMetaType::QByteArray || type == QMetaType::QChar) {
            qint64 v = 0;
            if (!parseDecimal(value.toString(), true, v))
                throw Error(variantError());
            return checkedInteger(def, v, QString(), false);
        }
        throw Error(variantError());
    }
    case FieldType::DateTime: {
        if (type == QMetaType::QDateTime) {
            QDateTime dt = value.toDateTime();
            return dt.isValid() ? QVariant(dt) : QVariant();
        }
        if (type == QMetaType::QDate)
            return QVariant(value.toDate().startOfDay());
        if (type == QMetaType::QString || type == QMetaType::QByteArray) {
            if (auto dt = parseDateValue(value.toString()))
                return QVariant(*dt);
        }
        throw Error(variantError());
    }
    case FieldType::Boolean: {
        if (type == QMetaType::Bool)
            return QVariant(value.toBool());
        if (isNumeric(value))
            return QVariant(value.toDouble() != 0.0);
        if (type == QMetaType::QString || type == QMetaType::QByteArray) {
            if (auto b = parseBool(value.toString().trimmed()))
                return QVariant(*b);
        }
        throw Error(variantError());
    }
    }
    return QVariant();
}

namespace {
// The stored form of a local date, "yyyy-MM-ddThh:mm:ss.zzz", as Qt's ISO
// form gives it, written directly: an import formats one per record.
QString storedDate(const QDateTime &dt) {
    const QDate d = dt.date();
    const QTime t = dt.time();
    if (dt.timeSpec() != Qt::LocalTime || !d.isValid() || !t.isValid() || d.year() < 1 || d.year() > 9999)
        return dt.toString(Qt::ISODateWithMs);
    char16_t buf[23];
    auto put = [&buf](int at, int value, int digits) {
        for (int k = digits - 1; k >= 0; --k) {
            buf[at + k] = char16_t(u'0' + value % 10);
            value /= 10;
        }
    };
    put(0, d.year(), 4);
    buf[4] = u'-';
    put(5, d.month(), 2);
    buf[7] = u'-';
    put(8, d.day(), 2);
    buf[10] = u'T';
    put(11, t.hour(), 2);
    buf[13] = u':';
    put(14, t.minute(), 2);
    buf[16] = u':';
    put(17, t.second(), 2);
    buf[19] = u'.';
    put(20, t.msec(), 3);
    return QString(reinterpret_cast<const QChar *>(buf), 23);
}
} // namespace

QString storedDateText(const QDateTime &dt) { return storedDate(dt); }

void bindValue(sql::Statement &s, int i, const FieldDef &def, const QVariant &v) {
    if (!v.isValid()) {
        s.bindNull(i);
        return;
    }
    switch (def.type) {
    case FieldType::String:
        s.bindText(i, v.toString());
        break;
    case FieldType::Integer:
    case FieldType::SmallInt:
        s.bindInt(i, v.toLongLong());
        break;
    case FieldType::DateTime:
        if (v.typeId() == QMetaType::QString)
            s.bindText(i, v.toString()); // still in the stored form
        else
            s.bindText(i, storedDate(v.toDateTime()));
        break;
    case FieldType::Boolean:
        s.bindInt(i, v.toBool() ? 1 : 0);
        break;
    }
}

QVariant readValue(const sql::Statement &s, int col, const FieldDef &def) {
    if (s.isNull(col))
        return QVariant();
    switch (def.type) {
    case FieldType::String:
        return QVariant(s.columnText(col));
    case FieldType::Integer:
    case FieldType::SmallInt:
        return QVariant(int(s.columnInt(col)));
    case FieldType::DateTime:
        // Kept in the stored form until read: a local date costs a time-zone
        // lookup, which a walk over many records need not pay.
        return QVariant(s.columnText(col));
    case FieldType::Boolean:
        return QVariant(s.columnInt(col) != 0);
    }
    return QVariant();
}

// Turns a date still in its stored form into its value.
void materialize(const FieldDef &def, QVariant &v) {
    if (def.type != FieldType::DateTime || v.typeId() != QMetaType::QString)
        return;
    const QString text = v.toString();
    QDateTime dt = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!dt.isValid())
        dt = QDateTime::fromString(text, Qt::ISODate);
    v = dt.isValid() ? QVariant(dt) : QVariant();
}


} // namespace quil::values

namespace quil {

using namespace values;

Field::Field(Table &table, int index, FieldDef def) : m_table(table), m_index(index), m_def(std::move(def)) {}

bool Field::isNull() const { return !m_table.bufferValue(m_index).isValid(); }

QString Field::asString() const { return textOf(m_def, m_table.bufferValue(m_index)); }

QString Field::displayText() const {
    const QVariant &v = m_table.bufferValue(m_index);
    if (m_def.type == FieldType::DateTime)
        return v.isValid() ? datetext::display(v.toDateTime()) : QString();
    return textOf(m_def, v);
}

int Field::asInteger() const {
    const QVariant &v = m_table.bufferValue(m_index);
    if (!v.isValid())
        return 0;
    switch (m_def.type) {
    case FieldType::Integer:
    case FieldType::SmallInt:
        return v.toInt();
    case FieldType::Boolean:
        return v.toBool() ? 1 : 0;
    case FieldType::String: {
        qint64 n = 0;
        QString t = v.toString();
        if (!parseDecimal(t, false, n) || n < std::numeric_limits<qint32>::min()
            || n > std::numeric_limits<qint32>::max())
            throw Error(QStringLiteral("'%1' は有効な整数値ではありません").arg(t));
        return int(n);
    }
    case FieldType::DateTime:
        break;
    }
    throw Error(variantError());
}

QDateTime Field::asDateTime() const {
    const QVariant &v = m_table.bufferValue(m_index);
    if (!v.isValid())
        return QDateTime();
    if (m_def.type == FieldType::DateTime)
        return v.toDateTime();
    if (m_def.type == FieldType::String) {
        if (auto dt = datetext::parse(v.toString()))
            return *dt;
        throw Error(QStringLiteral("'%1' は日付または時刻ではありません").arg(v.toString()));
    }
    throw Error(variantError());
}

bool Field::asBoolean() const {
    const QVariant &v = m_table.bufferValue(m_index);
    if (!v.isValid())
        return false;
    switch (m_def.type) {
    case FieldType::Boolean:
        return v.toBool();
    case FieldType::Integer:
    case FieldType::SmallInt:
        return v.toInt() != 0;
    case FieldType::String:
        if (auto b = parseBool(v.toString()))
            return *b;
        throw Error(QStringLiteral("'%1' は有効なブール値ではありません").arg(v.toString()));
    case FieldType::DateTime:
        break;
    }
    throw Error(variantError());
}

QVariant Field::value() const { return m_table.bufferValue(m_index); }

namespace {
void requireEditing(const Table &t) {
    if (t.state() != DataSetState::Edit && t.state() != DataSetState::Insert)
        throw Error(notEditingError());
}
} // namespace

void Field::setAsString(const QString &text) {
    requireEditing(m_table);
    m_table.setBufferValue(m_index, fromText(m_def, text));
}

void Field::setValue(const QVariant &value) {
    requireEditing(m_table);
    m_table.setBufferValue(m_index, fromVariant(m_def, value));
}

void Field::setAsInteger(int value) {
    requireEditing(m_table);
    switch (m_def.type) {
    case FieldType::Integer:
    case FieldType::SmallInt:
        m_table.setBufferValue(m_index, checkedInteger(m_def, value, QString(), false));
        return;
    case FieldType::String:
        m_table.setBufferValue(m_index, cutText(m_def, QString::number(value)));
        return;
    case FieldType::Boolean:
        m_table.setBufferValue(m_index, QVariant(value != 0));
        return;
    case FieldType::DateTime:
        break;
    }
    throw Error(variantError());
}

void Field::setAsDateTime(const QDateTime &value) {
    requireEditing(m_table);
    switch (m_def.type) {
    case FieldType::DateTime:
        m_table.setBufferValue(m_index, value.isValid() ? QVariant(value) : QVariant());
        return;
    case FieldType::String:
        m_table.setBufferValue(m_index, cutText(m_def, datetext::plain(value)));
        return;
    default:
        break;
    }
    throw Error(variantError());
}

void Field::setAsBoolean(bool value) {
    requireEditing(m_table);
    switch (m_def.type) {
    case FieldType::Boolean:
        m_table.setBufferValue(m_index, QVariant(value));
        return;
    case FieldType::String:
        m_table.setBufferValue(m_index, cutText(m_def, value ? QStringLiteral("True") : QStringLiteral("False")));
        return;
    case FieldType::Integer:
    case FieldType::SmallInt:
        m_table.setBufferValue(m_index, QVariant(value ? 1 : 0));
        return;
    case FieldType::DateTime:
        break;
    }
    throw Error(variantError());
}

void Field::clear() {
    requireEditing(m_table);
    m_table.setBufferValue(m_index, QVariant());
}

} // namespace quil
