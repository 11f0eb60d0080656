// SPDX-License-Identifier: GPL-3.0-or-later
// Outside bytes read as a publishing-system settings file: decoded as CP932,
// split into lines and read into an in-memory systems table. quil::Error is
// an expected outcome; anything else is a finding. The reader must also leave
// the table exactly as the plain algorithm does, which consumes a string list
// from the front.
#include "forms/core/SystemSettings.h"
#include "store/Columns.h"
#include "store/DataModules.h"
#include "text/Cp932.h"
#include "text/Error.h"
#include "text/TextList.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using quil::Table;

struct Systems {
    Table t{QStringLiteral("MMagaSys.DB"), TMMagSysDataModule::schema()};
    int builtIn = 0;

    Systems() {
        t.setDirectory(QStringLiteral(":memory:"));
        t.createIfMissing();
        t.open();
        // A new row carries -1, as the data module's handler gives it.
        t.onNewRecord = [](Table &table) { table.fieldByName(quil::col::MMSysID).setAsInteger(-1); };
        const char16_t *names[] = {u"まぐまぐ", u"Pubzine", u"melma", u"独自システム"};
        for (int i = 0; i < 4; ++i) {
            t.append();
            t.fieldByName(quil::col::MMSysID).setAsInteger(i + 1);
            t.fieldByName(quil::col::MMSysName).setAsString(QString::fromUtf16(names[i]));
            t.post();
        }
        builtIn = t.recordCount();
    }

    // Back to the built-in rows.
    void reset() {
        t.cancel();
        while (t.recordCount() > builtIn) {
            t.last();
            t.remove();
        }
        t.first();
    }

    // What a reader leaves: the state, the buffer, and every stored row.
    QList<QVector<QVariant>> snapshot() {
        QList<QVector<QVariant>> out;
        QVector<QVariant> state{int(t.state())};
        for (int i = 0; i < t.fieldCount(); ++i)
            state << t.field(i).value();
        out << state;
        for (int i = 0; i < t.recordCount(); ++i)
            out << t.recordAt(i);
        return out;
    }
};

const QString kStartTag = QStringLiteral("[KAV-SYP]");
const QString kEndTag = QStringLiteral("[/KAV-SYP]");

// The read-in word for word, on a list that shrinks from the front.
int plainRead(Table &systems, QStringList lines) {
    static const std::pair<QString, const QString *> labels[] = {
        {QStringLiteral("■発行システムＩＤ："), &quil::col::MMSysID},
        {QStringLiteral("■発行システム名："), &quil::col::MMSysName},
        {QStringLiteral("■解除ページアドレス："), &quil::col::CancelUrl},
        {QStringLiteral("■マガジンＩＤ桁数："), &quil::col::MMIDFigure},
        {QStringLiteral("■拡張子："), &quil::col::Expansion},
        {QStringLiteral("■会員ＩＤ："), &quil::col::MemberID},
        {QStringLiteral("■パスワード："), &quil::col::MemberPass},
        {QStringLiteral("■登録メールアドレス："), &quil::col::SysRegAddress},
    };
    auto first = [&]() -> QString {
        if (lines.isEmpty())
            throw quil::Error(QStringLiteral("リストのインデックスが範囲を超えています (0)"));
        return lines.first();
    };
    auto removeFirst = [&] {
        first();
        lines.removeFirst();
    };
    int blocks = 0;
    while (!lines.isEmpty()) {
        if (first() == kStartTag) {
            systems.append();
            ++blocks;
            while (first() != kEndTag) {
                for (int i = 0; i < 8; ++i) {
                    if (first() == labels[i].first) {
                        removeFirst();
                        systems.fieldByName(*labels[i].second).setAsString(first());
                        if (i == 3)
                            systems.fieldByName(quil::col::AppendMMID).setAsBoolean(true);
                        if (i == 5)
                            systems.fieldByName(quil::col::NeedMemberID).setAsBoolean(true);
                    }
                }
                removeFirst();
            }
            removeFirst();
        } else {
            removeFirst();
        }
    }
    systems.post();
    return blocks;
}

template <typename F> std::pair<int, QString> outcome(F &&read) {
    try {
        return {read(), QString()};
    } catch (const quil::Error &e) {
        return {-1, e.message()};
    }
}

[[noreturn]] void finding(const char *what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static Systems *systems = new Systems; // lives until the process ends

    const QStringList lines =
        quil::textlist::splitBytes(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    const qsizetype startTags = lines.count(kStartTag);

    systems->reset();
    const auto got = outcome([&] { return quil::readSystemSettings(systems->t, lines); });
    const auto gotTable = systems->snapshot();

    systems->reset();
    const auto want = outcome([&] { return plainRead(systems->t, lines); });
    const auto wantTable = systems->snapshot();

    if (got != want)
        finding("the reader's result or error differs from the plain algorithm's");
    if (gotTable != wantTable)
        finding("the reader leaves the table otherwise than the plain algorithm");
    if (got.first > startTags)
        finding("more blocks than start tags");
    if (got.first >= 0 && systems->t.state() != quil::DataSetState::Browse)
        finding("a read without error left a row unsaved");
    return 0;
}
