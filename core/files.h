#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace core {

// The whole file, or nullopt (with the reason in error) when it cannot be read.
std::optional<QByteArray> readWholeFile(const QString& path, QString* error = nullptr);

// Replaces the file through a temporary file and a rename, so a crash mid-write never leaves
// a truncated file. False (with the reason in error) when it could not be written.
bool replaceFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);

} // namespace core
