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

// What the files, the title, the page and the main window's holders know of one quantity (each
// window keeps its own facts of it in its folder). A unit of nullptr stands for the wind
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
    },
    // Wind speed: its units are the user's WSUnits.
    {
        .logTag = 'S',
        .pagePlaceholder = "<SS>",
        .titleUnit = " WIND",
        .panelHolder = 11,
        .fullScale = 100,
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
