// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Bringing one key of an exported registry file into the settings file.
#include "platform/RegExport.h"
#include "platform/Registry.h"

#include <QString>

namespace quil {

struct RegImportResult {
    int imported = 0;  // values written, each name counted once
    int otherKeys = 0; // keys of the file whose values were not imported
    // "設定を N 個読みこみました（ほかのキー M 個は読みこんでいません）。"
    QString message() const;
};

// Writes every value of `key` (relative to the current user's branch, any
// letter case, "HKCU" too) with its type into `settings` at `key`, through
// RegistryFile::setValue; the settings file's other lines stay as they were.
// The file's order counts as on an import: of two values with one name the
// last, and a deletion ("Name"=- or [-key]) drops what the file gave before
// it. Deletions delete nothing that is stored. Values of other keys, their
// subkeys included, are not imported; those keys are counted.
//
// Throws quil::Error, with nothing written, for a file readRegExport
// refuses, one without `key`, and a value name the settings file cannot
// hold; a write that fails throws the settings file's error, and the values
// written before it stay.
RegImportResult importRegExport(const QString &exportPath, const QString &key, RegistryFile &settings);
RegImportResult importRegExport(const RegExport &file, const QString &fileName, const QString &key,
                                RegistryFile &settings);

} // namespace quil
