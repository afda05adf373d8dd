#pragma once

#include <cstdint>
#include <string>

namespace sim {

// One daily log record's values, already converted to engineering units.
struct LogValues
{
    double volts = 0;
    double amps = 0;
    double watts = 0;
    double rpm = 0;
    double windSpeed = 0;
    int mode = 0;
    int secondOfDay = 0; // when it was written; the record shows hours and minutes
};

// A number as the program writes it to its files: 15 significant digits, no trailing zeros,
// exponent form below 1E-04 and from 1E+15 (1E-05, 1.5E+15), a point as the separator.
std::string logNumberText(double value);

// "<V>13.62</V><I>4.15</I><W>56.52</W><R>412.5</R><S>18.3</S><M>1</M><T>14:05</T>\r\n"
std::string logRecordText(const LogValues& values);

// How a day file is made up.
struct DayLogShape
{
    std::uint32_t seed = 1;
    int records = 8640;   // a whole day at one record every 10 s: 00:00:00 to 23:59:50
    int firstSecond = 0;  // when the first record is written
    int stepSeconds = 10; // the logging interval, at least 1
};

// The records the program would log from the board over a day: the board sends a frame a
// second; each record holds the peaks of the readings of the interval before it (never below 0, as
// the program's peaks start at 0), the load state at the moment of writing and the time, with the
// values converted by the calibration shipped with the program.
std::string dayLogText(const DayLogShape& shape);

} // namespace sim
