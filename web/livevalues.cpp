#include "web/livevalues.h"

#include "core/windunits.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace web {
namespace {

double finite(double v)
{
    return std::isfinite(v) ? v : 0.0;
}

// A sample value as the text format writes it: a point, no locale, NaN for none.
QByteArray sample(double v)
{
    if (std::isnan(v))
        return "NaN";
    return QByteArray::number(v, 'g', 15);
}

struct Metric
{
    const char* name;
    const char* type;
    const char* help;
};

void add(QByteArray& out, const Metric& m, double value, const QByteArray& labels = {})
{
    out += QByteArray("# HELP ") + m.name + ' ' + m.help + '\n';
    out += QByteArray("# TYPE ") + m.name + ' ' + m.type + '\n';
    out += m.name + labels + ' ' + sample(value) + '\n';
}

QString isoTime(const QDateTime& at)
{
    return at.toOffsetFromUtc(at.offsetFromUtc()).toString(Qt::ISODate);
}

} // namespace

double ageSeconds(const LiveValues& live, qint64 nowMs)
{
    if (live.frameMs < 0)
        return -1;
    return std::max<qint64>(0, nowMs - live.frameMs) / 1000.0;
}

QByteArray nowJson(const LiveValues& live, qint64 nowMs)
{
    using core::Quantity;
    QJsonObject o;
    o[QStringLiteral("volts")] = finite(live.values[core::kVolts]);
    o[QStringLiteral("amps")] = finite(live.values[core::kAmps]);
    o[QStringLiteral("watts")] = finite(live.values[core::kWatts]);
    o[QStringLiteral("rpm")] = finite(live.values[core::kRpm]);
    o[QStringLiteral("wind")] = finite(live.values[core::kWind]);
    o[QStringLiteral("windUnits")] = live.wsUnits;
    o[QStringLiteral("mode")] = live.mode;
    o[QStringLiteral("load")] = live.mode == 1;
    o[QStringLiteral("wattHours")] = finite(live.wattHours);
    o[QStringLiteral("time")] = live.time.isValid() ? QJsonValue(isoTime(live.time)) : QJsonValue();
    const double age = ageSeconds(live, nowMs);
    o[QStringLiteral("ageSeconds")] = age < 0 ? QJsonValue() : QJsonValue(age);
    o[QStringLiteral("alarms")] = QJsonArray::fromStringList(live.alarms);
    o[QStringLiteral("line")] = live.line;
    o[QStringLiteral("stale")] = live.stale;
    o[QStringLiteral("logging")] = live.logging;
    o[QStringLiteral("writesWaiting")] = qint64(live.writesWaiting);
    o[QStringLiteral("notify")] = QJsonArray::fromStringList(live.notify);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray nowEvent(const LiveValues& live, qint64 nowMs)
{
    return "event: now\ndata: " + nowJson(live, nowMs) + "\n\n";
}

QByteArray metricsText(const LiveValues& live, qint64 nowMs, const char* version)
{
    QByteArray out;
    out.reserve(2048);
    const auto& v = live.values;
    add(out, {"tessaly_battery_volts", "gauge", "Battery voltage."}, v[core::kVolts]);
    add(out, {"tessaly_charge_amperes", "gauge", "Charge current into the battery."},
        v[core::kAmps]);
    add(out, {"tessaly_power_watts", "gauge", "Charging power."}, v[core::kWatts]);
    add(out, {"tessaly_rotor_revolutions_per_second", "gauge", "Turbine speed."},
        v[core::kRpm] / 60.0);
    // A unit of the user's own making cannot be put into base units, so it is left out.
    if (const auto unit = core::windUnit(live.wsUnits)) {
        add(out, {"tessaly_wind_speed_meters_per_second", "gauge", "Wind speed."},
            v[core::kWind] * unit->metresPerSecond);
    }
    add(out, {"tessaly_load_on", "gauge", "1 while the load is switched on (mode 1)."},
        live.mode == 1 ? 1 : 0);
    add(out,
        {"tessaly_energy_joules_total", "counter",
         "Energy charged, the watt-hour total in joules; it starts again with each day."},
        finite(live.wattHours) * 3600.0);
    const double age = ageSeconds(live, nowMs);
    add(out,
        {"tessaly_last_frame_age_seconds", "gauge",
         "Seconds since the logger board's last frame; NaN before the first."},
        age < 0 ? std::nan("") : age);
    add(out, {"tessaly_alarms_raised", "gauge", "Alarms raised now."}, double(live.alarms.size()));
    add(out, {"tessaly_writes_waiting", "gauge", "Records waiting to be written to the disk."},
        double(live.writesWaiting));
    add(out, {"tessaly_frames_total", "counter", "Frames decoded since the program started."},
        double(live.frames));
    add(out, {"tessaly_records_total", "counter", "Log records written since the program started."},
        double(live.records));
    add(out, {"tessaly_build_info", "gauge", "The program's version."}, 1,
        QByteArray("{version=\"") + version + "\"}");
    return out;
}

} // namespace web
