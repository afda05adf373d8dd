#pragma once

#include "station/telemetry.h"

#include <QLocale>
#include <QString>
#include <cstdint>
#include <utility>
#include <vector>

// How the main window words and spreads a reading: its title, its mode label and its holders.
namespace monitor {

using station::Reading;

// "Logger  12.8 V  9 A  115.2 W  300 RPM  5 WIND "
QString titleText(const Reading& r, const QLocale& locale = QLocale());
// "On Load" for mode 1, otherwise empty.
QString modeText(std::int16_t mode);

// The meter holders in the order they are assigned, index and value: each quantity's meter
// (holders 0 to 5), then, with the compact panel, each quantity's panel holder.
std::vector<std::pair<int, double>> holderValues(const Reading& r, double wattHours,
                                                 bool compactPanel);

} // namespace monitor
