#pragma once

#include <QByteArray>
#include <QString>
#include <utility>
#include <vector>

namespace core {

// A key of a settings file in the tagged format and the value to keep under it.
using KeyedValue = std::pair<QString, QString>;

// The settings file's bytes with each given key set: the text from its first "<Key>" to the first
// "</Key>" (what core::tagValue reads) becomes "<Key>value</Key>"; a key absent or damaged (its
// closing tag first) loses its stray tags and gets a line of its own at the end. Everything else
// (a title, keys another part of the program owns, other text) is kept byte for byte. Empty bytes
// start afresh with the title line and a blank line; lines added end CR LF, as prog.cfg's.
QByteArray withKeys(const QByteArray& bytes, const QString& title,
                    const std::vector<KeyedValue>& values);

// withKeys on the file at path, replaced whole (a missing or unreadable file starts afresh), so
// two owners of keys of one file never erase each other's. False when it cannot be written.
bool writeKeys(const QString& path, const QString& title, const std::vector<KeyedValue>& values,
               QString* error = nullptr);

} // namespace core
