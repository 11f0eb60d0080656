// SPDX-License-Identifier: GPL-3.0-or-later
// Outside bytes as an exported registry file: read it, and when it reads,
// import the program's key into a fresh settings file. quil::Error is an
// expected outcome; anything else is a finding. Every value the import
// reports must read back from the settings file as the export's last word
// on that name gave it, and nothing else may be there.
#include "platform/RegExport.h"
#include "platform/RegImport.h"
#include "platform/Registry.h"
#include "text/Error.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

using quil::RegType;
using quil::RegValue;

const QString kKey = QStringLiteral("software\\KAV\\QUIL");

bool sameValue(const RegValue &a, const RegValue &b) {
    if (a.type != b.type)
        return false;
    switch (a.type) {
    case RegType::String:
    case RegType::ExpandString:
        return a.text == b.text;
    case RegType::DWord:
        return a.dword == b.dword;
    case RegType::Binary:
        return a.data == b.data;
    }
    return false;
}

[[noreturn]] void finding(const char *what, const QString &name) {
    std::fprintf(stderr, "%s: value \"%s\"\n", what, name.toUtf8().constData());
    std::abort();
}

QString workFolder() {
    static const QString shm = QStringLiteral("/dev/shm");
    static QTemporaryDir dir(QDir(shm).exists() ? shm + QStringLiteral("/fuzz_regexport-XXXXXX")
                                                : QDir::tempPath() + QStringLiteral("/fuzz_regexport-XXXXXX"));
    return dir.path();
}

struct Expected {
    QString name;
    std::optional<RegValue> value; // none: deleted by the file
};

// The file's last word on each name of the key, in the order of an import.
QList<Expected> lastWords(const quil::RegExport &file) {
    QList<Expected> out;
    for (const quil::RegExportKey &k : file.keys) {
        if (!k.isUserKey(kKey))
            continue;
        if (k.deletion) {
            for (Expected &e : out)
                e.value.reset();
            continue;
        }
        for (const quil::RegExportValue &v : k.values) {
            auto it = std::find_if(out.begin(), out.end(), [&](const Expected &e) {
                return QString::compare(e.name, v.name, Qt::CaseInsensitive) == 0;
            });
            if (it == out.end())
                it = out.insert(out.end(), Expected{v.name, std::nullopt});
            it->value = v.deletion ? std::nullopt : v.value;
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    quil::RegExport file;
    try {
        file = quil::parseRegExport(bytes, QStringLiteral("fuzz.reg"));
    } catch (const quil::Error &) {
        return 0;
    }
    for (const quil::RegExportKey &k : file.keys)
        for (const quil::RegExportValue &v : k.values)
            if (v.deletion == v.value.has_value())
                finding("a value is both or neither deleted and given", v.name);

    const QString path = workFolder() + QStringLiteral("/registry.reg");
    QFile::remove(path);
    quil::RegistryFile settings(path);
    quil::RegImportResult result;
    try {
        result = quil::importRegExport(file, QStringLiteral("fuzz.reg"), kKey, settings);
    } catch (const quil::Error &) {
        // Refused before anything is written.
        if (QFile::exists(path))
            finding("a refused import wrote the settings file", QString());
        return 0;
    }
    int given = 0;
    for (const Expected &e : lastWords(file)) {
        const std::optional<RegValue> stored = settings.value(kKey, e.name);
        if (!e.value) {
            if (stored)
                finding("a value the file deleted was imported", e.name);
            continue;
        }
        ++given;
        // A registry text ends at its first NUL.
        RegValue want = *e.value;
        if (const qsizetype nul = want.text.indexOf(QChar(u'\0')); nul >= 0)
            want.text.truncate(nul);
        if (!stored || !sameValue(*stored, want))
            finding("an imported value does not read back as the file gave it", e.name);
    }
    if (given != result.imported)
        finding("the count is not the number of values imported", QString());
    return 0;
}
