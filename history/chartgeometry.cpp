#include "chartgeometry.h"

#include "numbers.h"

#include <QLocale>
#include <algorithm>
#include <charconv>
#include <cmath>

namespace history {

double Extremes::max(Series s) const
{
    switch (s) {
    case kVolts:
        return VMax;
    case kAmps:
        return AMax;
    case kWatts:
        return WMax;
    case kRpm:
        return RMax;
    default:
        return SMax;
    }
}

double Extremes::min(Series s) const
{
    switch (s) {
    case kVolts:
        return VMin;
    case kAmps:
        return AMin;
    case kWatts:
        return WMin;
    case kRpm:
        return RMin;
    default:
        return SMin;
    }
}

Extremes startExtremes(bool refVZero)
{
    Extremes e;
    e.VMax = 0;
    e.VMin = refVZero ? 0 : 100;
    e.AMax = -500;
    e.AMin = 500;
    e.WMax = -2000;
    e.WMin = 2000;
    e.RMax = 0;
    e.RMin = 1000;
    e.SMax = 0;
    e.SMin = 1000;
    return e;
}

SeriesScale seriesScale(double max, double min)
{
    SeriesScale s;
    s.max = max;
    s.min = min;
    s.span = max - min;
    s.range = s.span > 0 ? s.span + s.span / 20 : 2;
    return s;
}

double plotY(const SeriesScale& scale, double value)
{
    return scale.span > 0 ? scale.max - value + scale.span / 40 : 1;
}

std::optional<double> zeroLineY(const SeriesScale& scale)
{
    if (scale.max > 0 && scale.min < 0)
        return scale.max + (scale.max - scale.min) / 40;
    return std::nullopt;
}

int slotOf(double position)
{
    if (!std::isfinite(position))
        return 0;
    return int(std::clamp(std::nearbyint(position), 0.0, double(kLastSlot)));
}

ViewRange clampView(double start, double end)
{
    ViewRange v;
    v.start = std::isfinite(start) ? std::clamp(start, 0.0, double(kLastSlot)) : 0.0;
    v.end = std::isfinite(end) ? std::clamp(end, 0.0, double(kLastSlot)) : 0.0;
    return v;
}

std::vector<int> viewSlots(const ViewRange& view)
{
    std::vector<int> rowSlots;
    if (view.end < view.start)
        return rowSlots;
    rowSlots.reserve(std::size_t(view.end - view.start) + 1);
    for (int i = 0; view.start + i <= view.end; ++i)
        rowSlots.push_back(slotOf(view.start + i));
    return rowSlots;
}

const std::vector<double>& seriesValues(const HistoryStore& store, Series series)
{
    switch (series) {
    case kVolts:
        return store.Volts;
    case kAmps:
        return store.Amps;
    case kWatts:
        return store.Watts;
    case kRpm:
        return store.Rpm;
    default:
        return store.WindSpeed;
    }
}

Extremes viewExtremes(const HistoryStore& store, const std::vector<int>& rowSlots, bool refVZero)
{
    Extremes e = startExtremes(refVZero);
    const auto widen = [](double value, double& max, double& min) {
        if (value > max)
            max = value;
        if (value < min)
            min = value;
    };
    for (const int k : rowSlots) {
        widen(store.Volts[k], e.VMax, e.VMin);
        widen(store.Amps[k], e.AMax, e.AMin);
        widen(store.Watts[k], e.WMax, e.WMin);
        widen(store.Rpm[k], e.RMax, e.RMin);
        widen(store.WindSpeed[k], e.SMax, e.SMin);
    }
    return e;
}

ChartPlan planChart(const HistoryStore& store, const SeriesFlags& flags)
{
    ChartPlan plan;
    plan.view = clampView(store.ViewStart, store.ViewEnd);
    if (!(plan.view.start < plan.view.end))
        return plan;
    plan.drawn = true;
    plan.width = plan.view.end - plan.view.start;
    plan.rowSlots = viewSlots(plan.view);
    plan.extremes = viewExtremes(store, plan.rowSlots, flags.RefVZero == 1);
    plan.startSlot = slotOf(plan.view.start);
    plan.finishSlot = slotOf(plan.view.end);
    for (int s = 0; s < kSeriesCount; ++s) {
        plan.scales[s] = seriesScale(plan.extremes.max(Series(s)), plan.extremes.min(Series(s)));
    }
    plan.shown = {flags.ShowVolts == 1, flags.ShowAmps == 1, flags.ShowWatts == 1,
                  flags.ShowRPM == 1, flags.ShowWind == 1};
    plan.ampsZeroY = zeroLineY(plan.scales[kAmps]);
    plan.wattsZeroY = zeroLineY(plan.scales[kWatts]);

    // The load-on box reaches down to VMax measured on the scale in force when it is drawn: that
    // of watts (the last zero line's) for the first record, then that of the last series drawn.
    double laterRange = plan.scales[kWatts].range;
    for (int s = 0; s < kSeriesCount; ++s) {
        if (plan.shown[s])
            laterRange = plan.scales[s].range;
    }
    for (std::size_t i = 1; i < plan.rowSlots.size(); ++i) {
        if (store.Mode[plan.rowSlots[i]] != 1)
            continue;
        const double range = i == 1 ? plan.scales[kWatts].range : laterRange;
        const double depth = plan.extremes.VMax / range;
        const double x1 = double(i - 1);
        if (!plan.shading.empty() && plan.shading.back().x2 == x1 &&
            plan.shading.back().depth == depth) {
            plan.shading.back().x2 = double(i);
        } else {
            plan.shading.push_back({x1, double(i), depth});
        }
    }
    return plan;
}

QString plainNumberText(double value)
{
    const double magnitude = std::fabs(value);
    if (!std::isfinite(value) || value == 0.0 || (magnitude >= 1e-4 && magnitude < 1e15))
        return core::numberText(value);
    // 15 significant digits in exponent form, then written out in full.
    char buf[64];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific, 14);
    const std::string_view text(buf, std::size_t(res.ptr - buf));
    const std::size_t e = text.find('e');
    std::string digits(1, text[0]);
    digits += text.substr(2, e - 2);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    int exponent = 0;
    const std::string_view expText = text.substr(e + 1);
    std::from_chars(expText.data() + (expText.front() == '+' ? 1 : 0),
                    expText.data() + expText.size(), exponent);
    QString out = value < 0 ? QStringLiteral("-") : QString();
    if (exponent < 0) {
        out += QLatin1Char('0') + QLocale().decimalPoint() +
               QString(-exponent - 1, QLatin1Char('0')) + QString::fromLatin1(digits);
    } else {
        out += QString::fromLatin1(digits).leftJustified(exponent + 1, QLatin1Char('0'));
    }
    return out;
}

ExtremeTexts extremeTexts(const Extremes& e, const QString& wsUnits)
{
    const auto with = [](double value, const QString& unit) {
        return plainNumberText(value) + unit;
    };
    const QString v = QStringLiteral(" V");
    const QString a = QStringLiteral(" A");
    const QString w = QStringLiteral(" W");
    const QString r = QStringLiteral(" RPM");
    const QString s = QLatin1Char(' ') + wsUnits;
    return {with(e.VMax, v), with(e.VMin, v), with(e.AMax, a), with(e.AMin, a), with(e.WMax, w),
            with(e.WMin, w), with(e.RMax, r), with(e.RMin, r), with(e.SMax, s), with(e.SMin, s)};
}

} // namespace history
