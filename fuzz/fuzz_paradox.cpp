// SPDX-License-Identifier: GPL-3.0-or-later
// Outside bytes read as a Paradox table of the old Windows program, and when
// they are one, imported into in-memory tables of the register. quil::Error
// is an expected outcome; anything else (a crash, a hang, a sanitizer
// report inside our checks or pxlib) is a finding, and so is:
// - a table that opens with another number of values per record than fields;
// - an import that fails and leaves records behind, or a record begun;
// - a magazine import that stores another number of records than the file has.
// The first byte's low bit says whether the input's last part is the memo
// file beside the table: its length is then the next two bytes.
#include "app/core/ParadoxImport.h"
#include "store/DataModules.h"
#include "store/ParadoxTable.h"
#include "text/Error.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

using quil::Table;

[[noreturn]] void finding(const char *what) {
    std::fprintf(stderr, "fuzz_paradox: %s\n", what);
    std::abort();
}

std::unique_ptr<Table> memoryTable(const QString &name, const std::vector<quil::FieldDef> &schema) {
    auto t = std::make_unique<Table>(name, schema);
    t->setDirectory(QStringLiteral(":memory:"));
    t->createIfMissing();
    t->open();
    return t;
}

// Imports many records cost time, not coverage.
constexpr int kMostImported = 300;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1)
        return 0;
    const char *bytes = reinterpret_cast<const char *>(data);
    QByteArray table(bytes + 1, qsizetype(size - 1));
    std::optional<QByteArray> memo;
    if ((data[0] & 1) && size >= 3) {
        const qsizetype length = std::min<qsizetype>(qsizetype(data[1] | data[2] << 8), qsizetype(size - 3));
        table = QByteArray(bytes + 3, qsizetype(size - 3) - length);
        memo = QByteArray(bytes + size - length, length);
    }

    std::unique_ptr<quil::ParadoxTable> file;
    try {
        file = std::make_unique<quil::ParadoxTable>(table, QStringLiteral("fuzz.DB"), memo ? &*memo : nullptr);
    } catch (const quil::Error &) {
        return 0;
    }
    for (int r = 0; r < file->recordCount(); ++r) {
        try {
            if (file->record(r).size() != qsizetype(file->fields().size()))
                finding("a record with another number of values than fields");
        } catch (const quil::Error &) {
        }
    }
    if (file->recordCount() > kMostImported)
        return 0;

    const quil::ParadoxTableKind kind = quil::paradoxTableKind(*file);
    if (kind == quil::ParadoxTableKind::Neither)
        return 0;
    auto magazines = memoryTable(QStringLiteral("MMagaInfo.DB"), TDataModule1::schema());
    auto systems = memoryTable(QStringLiteral("MMagaSys.DB"), TMMagSysDataModule::schema());
    Table &into = kind == quil::ParadoxTableKind::Magazines ? *magazines : *systems;
    try {
        const quil::ParadoxImport done = quil::importParadox(*magazines, *systems, *file);
        if (kind == quil::ParadoxTableKind::Magazines && (done.added != file->recordCount()
                                                          || into.recordCount() != file->recordCount()))
            finding("the magazine import stores another number of records than the file has");
        if (done.added + done.kept != file->recordCount() || into.recordCount() != done.added)
            finding("the import counts otherwise than it stores");
    } catch (const quil::Error &) {
        if (into.recordCount() != 0 || into.state() == quil::DataSetState::Insert)
            finding("a failed import leaves records behind");
    }
    return 0;
}
