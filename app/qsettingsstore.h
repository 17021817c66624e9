#pragma once
// The editor's few persistent settings: window placement, the chosen output formats,
// the two check boxes and the transition duration. Every value is text under one
// group, "param", of the INI file of organisation "TALMOR", application "videokadro"
// (under $XDG_CONFIG_HOME). Callers read a value, clean it with RegValueClean, use the
// default when it is empty, and convert it otherwise.

#include <QString>

namespace vk {

class Settings final {
public:
    // Reads a value; false (and empty text) when it is missing or cannot be read.
    static bool RegValueRead(const QString& name, QString& text);
    // Stores the value's text; creates the store when it is missing.
    static bool RegValueWrite(const QString& name, const QString& value);
    static bool RegValueWrite(const QString& name, int value);
    // Creates the store's group (a no-op when it exists).
    static void RegKeyCreate();
    // The text without NUL, line feed, carriage return and blank, wherever they stand.
    static QString RegValueClean(const QString& text);

    // The usual calling pattern: read, clean, and convert; `fallback` when the value
    // is missing or empty. `ok` is false when a stored value is not a number (the
    // caller then keeps its current value).
    static int readInt(const QString& name, int fallback, bool* ok = nullptr);
    // Read and cleaned text; empty when missing.
    static QString readText(const QString& name);

    // Writes everything pending to disk.
    static void sync();
};

} // namespace vk
