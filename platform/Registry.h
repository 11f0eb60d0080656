// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

namespace quil {

enum class RegType { String, ExpandString, DWord, Binary };

struct RegValue {
    RegType type = RegType::String;
    QString text;         // String, ExpandString
    quint32 dword = 0;    // DWord
    QByteArray data;      // Binary
    static RegValue string(const QString &t) { return {RegType::String, t, 0, {}}; }
    static RegValue number(quint32 n) { return {RegType::DWord, {}, n, {}}; }
};

struct RegistryDocument;

// A key path with blanks around its parts and empty parts dropped:
// " software \\ KAV\\" is "software\\KAV".
QString normalisedKeyPath(const QString &key);

// The bytes of a registry hex list ("41,00,ff", blanks allowed around each);
// nothing when a part is not one or two hex digits.
std::optional<QByteArray> readHexBytes(const QString &list);

// The settings store that stands in for the current user's registry branch:
// a REGEDIT4 text file of keys and typed values ("Name"="text", dword:,
// hex(2):, hex:). Key paths are relative to the user's branch, like
// "software\\KAV\\QUIL", compared without regard to case. Every change is
// written at once, atomically. Lines it does not understand are kept.
class RegistryFile {
public:
    explicit RegistryFile(QString path);

    bool keyExists(const QString &key) const;
    void createKey(const QString &key);
    std::optional<RegValue> value(const QString &key, const QString &name) const;
    void setValue(const QString &key, const QString &name, const RegValue &value);
    // True when the value existed.
    bool deleteValue(const QString &key, const QString &name);

    const QString &path() const { return m_path; }

private:
    void load() const;
    void save() const;
    QString m_path;
    // The file as last read; every operation reads it afresh, so hand edits
    // and other processes' writes are seen.
    mutable std::shared_ptr<RegistryDocument> m_doc;
};

// The settings operations the program uses, with their fixed semantics.
class Registry {
public:
    // Uses the file at registryFilePath() unless one is given.
    Registry();
    explicit Registry(RegistryFile &file);
    ~Registry();
    Registry(const Registry &) = delete;
    Registry &operator=(const Registry &) = delete;

    // Opens the key (path with a leading backslash, from the branch's root),
    // creating it when missing.
    void openKey(const QString &keyPath);
    // The stored text, or the default when the subkey or value is missing.
    // Throws quil::Error naming the value when its type is not text.
    QString readText(const QString &subkey, const QString &name, const QString &defaultText);
    void writeText(const QString &subkey, const QString &name, const QString &text);
    // Text converted to a whole number, non-zero = true; not a number = default.
    bool readBool(const QString &subkey, const QString &name, bool defaultValue);
    void writeBool(const QString &subkey, const QString &name, bool value);
    // A missing subkey or value is no error.
    void deleteValue(const QString &subkey, const QString &name);
    void releaseKey();

private:
    QString fullKey(const QString &subkey) const;
    RegistryFile *m_file;
    RegistryFile *m_owned = nullptr;
    QString m_key;
};

} // namespace quil
