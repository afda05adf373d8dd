#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace core {

// The text between the first "<key>" and the first "</key>" of the whole text, nothing trimmed.
// Absent when either tag is missing or the closing tag stands before the opening one.
std::optional<QString> tagValue(QStringView text, QStringView key);

// The text's first line without its line end (CR LF or LF); empty when no line has ended, as in
// a file cut short inside its title.
QStringView firstLine(QStringView text);

// The number a tag's value reads as; 0 when the tag is absent or its value is not numeric.
double tagNumber(QStringView text, QStringView key);

} // namespace core
