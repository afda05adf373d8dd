#include "telemetry.h"

#include "numbers.h"
#include "tags.h"

namespace monitor {
namespace {

double rawNumber(QStringView frame, QStringView key)
{
    const auto text = core::tagValue(frame, key);
    if (!text)
        return 0.0;
    return core::numericValue(*text).value_or(0.0);
}

} // namespace

RawValues decodeFrame(QStringView frame)
{
    RawValues raw;
    raw.v = rawNumber(frame, u"V");
    raw.i = rawNumber(frame, u"I");
    raw.r = rawNumber(frame, u"R");
    if (const auto m = core::tagValue(frame, u"M")) {
        if (const auto value = core::numericValue(*m))
            raw.mode = core::toInt16(*value);
    }
    raw.s = rawNumber(frame, u"S");
    return raw;
}

Reading computeReading(const RawValues& raw, const calibration::Conversion& c)
{
    Reading r;
    r.volts = calibration::voltsFrom(raw.v, c);
    r.amps = calibration::ampsFrom(raw.i, c);
    r.rpm = calibration::rpmFrom(raw.r, c);
    r.windSpeed = calibration::windFrom(raw.s, c);
    r.watts = core::roundTo(r.amps * r.volts, 2);
    r.mode = raw.mode;
    return r;
}

void raisePeaks(IntervalPeaks& peaks, const Reading& r)
{
    const auto raise = [](double& peak, double value) {
        if (value > peak)
            peak = value;
    };
    raise(peaks.volts, r.volts);
    raise(peaks.amps, r.amps);
    raise(peaks.rpm, r.rpm);
    raise(peaks.windSpeed, r.windSpeed);
    raise(peaks.watts, r.watts);
}

QString titleText(const Reading& r, const QLocale& locale)
{
    const auto n = [&locale](double v) {
        return core::numberText(v, locale);
    };
    return QStringLiteral("Logger  ") + n(r.volts) + QStringLiteral(" V  ") + n(r.amps) +
           QStringLiteral(" A  ") + n(r.watts) + QStringLiteral(" W  ") + n(r.rpm) +
           QStringLiteral(" RPM  ") + n(r.windSpeed) + QStringLiteral(" WIND ");
}

QString modeText(std::int16_t mode)
{
    return mode == 1 ? QStringLiteral("On Load") : QString();
}

double wattHourTick(double total, double watts, const QDateTime& now, QDate lastTick)
{
    const bool firstSeconds = now.time().msecsSinceStartOfDay() < 10000;
    const bool newDay = lastTick.isValid() && now.date() != lastTick;
    if (firstSeconds || newDay)
        total = 0.0;
    return total + watts / 720.0;
}

HolderValues holderValues(const Reading& r, double wattHours)
{
    return {{{0, r.volts},
             {1, r.amps},
             {2, r.watts},
             {3, wattHours},
             {4, r.rpm},
             {5, r.windSpeed},
             {7, r.volts},
             {8, r.amps},
             {12, r.watts},
             {13, wattHours},
             {10, r.rpm},
             {11, r.windSpeed}}};
}

} // namespace monitor
