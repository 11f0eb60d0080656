// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The reader of the files that the Windows registry editor writes when it
// exports keys, so that settings kept on Windows can be brought over.
#include "platform/Registry.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace quil {

// The header line of the file names its format.
enum class RegExportFormat {
    Version5, // "Windows Registry Editor Version 5.00": UTF-16LE with a BOM, or UTF-8 by hand
    Regedit4, // "REGEDIT4": the ANSI code page, Shift_JIS here
};

struct RegExportValue {
    QString name;          // empty: the key's default value ("@=")
    bool deletion = false; // "Name"=-
    // The registry's type number as written: 1 text, 2 expandable text,
    // 3 binary, 4 dword, any other for hex(n).
    quint32 type = 1;
    // The value as the settings file holds it; none for a deletion. Types
    // without a form of their own (hex(7), hex(b), ...) and a hex(4) that is
    // not 4 bytes are kept as binary, as the settings file reads them.
    std::optional<RegValue> value;
    int line = 0; // 1-based line where the value starts
};

struct RegExportKey {
    QString root;          // upper case, abbreviations spelled out: "HKEY_CURRENT_USER"
    QString path;          // below the root: blanks around parts and empty parts dropped
    bool deletion = false; // [-...]
    QList<RegExportValue> values;
    int line = 0;

    // True for `key` (relative to the current user's branch) in any letter case.
    bool isUserKey(const QString &key) const;
};

struct RegExport {
    RegExportFormat format = RegExportFormat::Version5;
    QList<RegExportKey> keys; // in file order; a key may appear more than once
};

// Reads an exported file whole. Throws quil::Error naming the file when it
// cannot be read, is no regular file or is too large, when its first line is
// neither header, when UTF-16 text ends inside a character or UTF-8 text is
// not UTF-8, and naming the line for the first line it cannot read. Never
// returns part of a file.
RegExport readRegExport(const QString &path);

// The same over the file's bytes; `fileName` is what messages name.
RegExport parseRegExport(const QByteArray &bytes, const QString &fileName);

// Files above this size are refused unread.
constexpr qint64 RegExportMaxBytes = 256 * 1024 * 1024;

} // namespace quil
