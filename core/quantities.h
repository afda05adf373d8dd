#pragma once

#include <QString>
#include <array>
#include <cstddef>

namespace core {

// The quantities the program measures, in the order of the meter holders (0 to 5), the web
// page's placeholders and every file's columns. Watt-hours are integrated, not logged.
enum Quantity : int
{
    kVolts,
    kAmps,
    kWatts,
    kWattHours,
    kRpm,
    kWind,
    kQuantityCount
};

template <typename T> using PerQuantity = std::array<T, kQuantityCount>;
using QuantityValues = PerQuantity<double>;

struct Rgb
{
    int r, g, b;
};

// Which history check box shows a series when the window opens: always, or when a flag of
// prog.cfg is on.
enum class ShownAtStart
{
    Always,
    IfDisplayRPM,
    IfDisplayWS
};

// Everything the windows and files know of one quantity. A unit of nullptr stands for the wind
// speed unit the user typed (WSUnits).
struct QuantitySpec
{
    // The daily log's tag ('\0': not logged, so no peak, series, column or record value).
    char logTag = '\0';
    const char* pagePlaceholder = nullptr; // in the web page template
    const char* titleUnit = nullptr;       // after the value in the title (nullptr: not shown)
    const char* shortUnit = nullptr;       // history line, extremes under the chart
    const char* longUnit = nullptr;        // pointer readout, list column, spreadsheet header
    // Main window.
    int panelHolder = -1; // the compact panel's holder (the meter's is the quantity itself)
    double fullScale = 100;
    // History window, for logged quantities.
    char extremePrefix = '\0'; // "VMax1", and "vv" for the pointer readout
    const char* checkCaption = "";
    Rgb checkGround{};
    Rgb seriesColour{};
    double startMax = 0, startMin = 0; // the extremes before the records are compared
    bool zeroLine = false; // a dashed line where the value is 0, when the series crosses it
    ShownAtStart shownAtStart = ShownAtStart::Always;
};

inline constexpr PerQuantity<QuantitySpec> kQuantities{{
    // Volts.
    {
        .logTag = 'V',
        .pagePlaceholder = "<VV>",
        .titleUnit = " V",
        .shortUnit = "V",
        .longUnit = "Volts",
        .panelHolder = 7,
        .fullScale = 100,
        .extremePrefix = 'V',
        .checkCaption = "Volts",
        .checkGround = {255, 0, 0},
        .seriesColour = {255, 0, 0},
        .startMax = 0,
        .startMin = 100,
        .zeroLine = false,
        .shownAtStart = ShownAtStart::Always,
    },
    // Amps.
    {
        .logTag = 'I',
        .pagePlaceholder = "<II>",
        .titleUnit = " A",
        .shortUnit = "A",
        .longUnit = "Amps",
        .panelHolder = 8,
        .fullScale = 100,
        .extremePrefix = 'A',
        .checkCaption = "Amps",
        .checkGround = {0, 255, 0},
        .seriesColour = {0, 255, 0},
        .startMax = -500,
        .startMin = 500,
        .zeroLine = true,
        .shownAtStart = ShownAtStart::Always,
    },
    // Watts.
    {
        .logTag = 'W',
        .pagePlaceholder = "<WW>",
        .titleUnit = " W",
        .shortUnit = "W",
        .longUnit = "Watts",
        .panelHolder = 12,
        .fullScale = 1000,
        .extremePrefix = 'W',
        .checkCaption = "Watts",
        .checkGround = {128, 128, 255},
        .seriesColour = {0, 0, 255},
        .startMax = -2000,
        .startMin = 2000,
        .zeroLine = true,
        .shownAtStart = ShownAtStart::Always,
    },
    // Watt-hours: integrated from the watts, never logged.
    {
        .logTag = '\0',
        .pagePlaceholder = "<WH>",
        .panelHolder = 13,
        .fullScale = 3000,
    },
    // RPM.
    {
        .logTag = 'R',
        .pagePlaceholder = "<RR>",
        .titleUnit = " RPM",
        .shortUnit = "RPM",
        .longUnit = "RPM",
        .panelHolder = 10,
        .fullScale = 1000,
        .extremePrefix = 'R',
        .checkCaption = "RPM",
        .checkGround = {255, 255, 0},
        .seriesColour = {255, 255, 0},
        .startMax = 0,
        .startMin = 1000,
        .zeroLine = false,
        .shownAtStart = ShownAtStart::IfDisplayRPM,
    },
    // Wind speed: its units are the user's WSUnits.
    {
        .logTag = 'S',
        .pagePlaceholder = "<SS>",
        .titleUnit = " WIND",
        .panelHolder = 11,
        .fullScale = 100,
        .extremePrefix = 'S',
        .checkCaption = "Wind Speed",
        .checkGround = {255, 255, 255},
        .seriesColour = {255, 255, 255},
        .startMax = 0,
        .startMin = 1000,
        .zeroLine = false,
        .shownAtStart = ShownAtStart::IfDisplayWS,
    },
}};

constexpr const QuantitySpec& facts(Quantity q)
{
    return kQuantities[std::size_t(q)];
}

// A unit of the table as text: the wind speed unit stands for nullptr.
inline QString unitText(const char* unit, const QString& wsUnits)
{
    return unit ? QString::fromLatin1(unit) : wsUnits;
}

constexpr bool isLogged(Quantity q)
{
    return facts(q).logTag != '\0';
}

// The logged quantities in table order: the daily log's values, the history's series.
inline constexpr auto kLogged = [] {
    constexpr std::size_t n = [] {
        std::size_t count = 0;
        for (const QuantitySpec& s : kQuantities)
            count += s.logTag != '\0' ? 1 : 0;
        return count;
    }();
    std::array<Quantity, n> out{};
    std::size_t k = 0;
    for (int q = 0; q < kQuantityCount; ++q) {
        if (isLogged(Quantity(q)))
            out[k++] = Quantity(q);
    }
    return out;
}();

inline constexpr std::array<Quantity, kQuantityCount> kAllQuantities = [] {
    std::array<Quantity, kQuantityCount> out{};
    for (int q = 0; q < kQuantityCount; ++q)
        out[std::size_t(q)] = Quantity(q);
    return out;
}();

// The highest compact panel holder: the main window's holders run from 0 to this.
inline constexpr int kLastHolder = [] {
    int last = kQuantityCount - 1;
    for (const QuantitySpec& s : kQuantities)
        last = s.panelHolder > last ? s.panelHolder : last;
    return last;
}();

} // namespace core
