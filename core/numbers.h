#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>

namespace core {

// True for a decimal number with optional blanks around it: an optional sign, digits with at most
// one decimal point (a point, or the locale's own separator), and an optional exponent.
bool isNumeric(QStringView text, const QLocale& locale = QLocale());

// The value of a numeric text; nullopt for anything isNumeric rejects.
std::optional<double> numericValue(QStringView text, const QLocale& locale = QLocale());

// The value when it is a finite number, otherwise 0: a computation that overflowed counts as a
// value that could not be read.
double finiteOrZero(double value);

// Rounds to n decimals (0 to 15). A value that is halfway in its 15-significant-digit decimal
// form goes to the even neighbour, so 2.125 gives 2.12 and 12.035 gives 12.04.
double roundTo(double value, int decimals);

// Nearest 16-bit integer, halves to even, clamped to the type's range; NaN gives 0.
std::int16_t toInt16(double value);

// Nearest integer of any size, halves to even, clamped to the int range; NaN gives 0.
int toInt(double value);

// 15 significant digits, no trailing zeros, exponent form below 1E-04 and from 1E+15
// (1E-05, 1.5E+15), the locale's decimal separator. Negative zero and non-finite values give 0.
QString numberText(double value, const QLocale& locale = QLocale());

// The same 15 significant digits always written out in plain decimal form, never with an
// exponent: 12.5, 0, -3.25, 0.00001, 1500000000000000.
QString plainNumberText(double value, const QLocale& locale = QLocale());

} // namespace core
