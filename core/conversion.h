#pragma once

#include <optional>

namespace core {

// The calibration constants as numbers. A divider that is missing, not a number or 0 is
// unusable: its quantity then reads 0 rather than an infinity or NaN.
struct Conversion
{
    std::optional<double> voltDivider = 1.0;
    double voltOffset = 0.0;
    std::optional<double> ampDivider = 1.0;
    std::optional<double> rpmDivider = 1.0;
    std::optional<double> wsDivider = 1.0;
};

// Raw board values to engineering units, rounded as the readings are kept. A result too large
// for a double reads 0, as a divider that cannot be used does.
double voltsFrom(double rawV, const Conversion& c); // V, 2 decimals
double ampsFrom(double rawI, const Conversion& c);  // A, offset removed first, 2 decimals
double rpmFrom(double rawR, const Conversion& c);   // pulses per second x 60, 1 decimal
double windFrom(double rawS, const Conversion& c);  // the unit WSDivider is set for, 1 decimal

} // namespace core
