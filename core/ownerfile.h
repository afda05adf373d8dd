#pragma once

#include <QByteArray>
#include <QString>

namespace core {

// Replaces a file that holds a secret (a password, a token) with bytes, readable and writable by
// its owner alone. The temporary file takes the mode of the file it replaces, so a new file is
// made owner-only first: the secret is never readable by others, not even for a moment. False
// with the reason in error when it cannot be written or its mode cannot be set.
bool replaceOwnerOnlyFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);

} // namespace core
