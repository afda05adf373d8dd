#include "monitor/readingtexts.h"

#include "core/numbers.h"

namespace monitor {

QString titleText(const Reading& r, const QLocale& locale)
{
    QString title = QStringLiteral("Logger");
    for (const core::Quantity q : core::kAllQuantities) {
        if (const char* unit = core::facts(q).titleUnit)
            title += QStringLiteral("  ") + core::numberText(r[q], locale) + QLatin1String(unit);
    }
    return title + QLatin1Char(' ');
}

QString modeText(std::int16_t mode)
{
    return mode == 1 ? QStringLiteral("On Load") : QString();
}

std::vector<std::pair<int, double>> holderValues(const Reading& r, double wattHours,
                                                 bool compactPanel)
{
    core::QuantityValues values = r.value;
    values[core::kWattHours] = wattHours;
    std::vector<std::pair<int, double>> out;
    for (const core::Quantity q : core::kAllQuantities)
        out.emplace_back(int(q), values[q]);
    if (compactPanel) {
        for (const core::Quantity q : core::kAllQuantities)
            out.emplace_back(core::facts(q).panelHolder, values[q]);
    }
    return out;
}

} // namespace monitor
