#pragma once
// The editor's few persistent settings: window placement, the chosen output formats,
// the two check boxes and the transition duration. Every value is text under one
// name. Callers read a value, clean it with RegValueClean, use the default when it is
// empty, and convert it otherwise.
//
// The store is an object handed to whoever reads or writes settings: the application
// gives the windows its QSettings store, tests give theirs.

#include <QString>

namespace vk {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // Reads a value; false (and empty text) when it is missing or cannot be read.
    virtual bool RegValueRead(const QString& name, QString& text) = 0;
    // Stores the value's text; creates the store when it is missing.
    virtual bool RegValueWrite(const QString& name, const QString& value) = 0;
    bool RegValueWrite(const QString& name, int value);
    // Creates the store's group (a no-op when it exists).
    virtual void RegKeyCreate() = 0;
    // Writes everything pending to disk.
    virtual void sync() = 0;

    // The text without NUL, line feed, carriage return and blank, wherever they stand.
    static QString RegValueClean(const QString& text);

    // The usual calling pattern: read, clean, and convert; `fallback` when the value
    // is missing or empty. `ok` is false when a stored value is not a number (the
    // caller then keeps its current value).
    int readInt(const QString& name, int fallback, bool* ok = nullptr);
    // Read and cleaned text; empty when missing.
    QString readText(const QString& name);
};

} // namespace vk
