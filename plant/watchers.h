#pragma once

#include "alarms/alarmdelivery.h"
#include "alarms/alarmmonitor.h"
#include "alarms/notifier.h"
#include "curve/curvedata.h"
#include "season/energyledger.h"
#include "station/station.h"

#include <QObject>
#include <QString>
#include <QTimer>

namespace plant {

// What watches the plant beside the records, fed by the station's announcements: the hourly
// energy ledger, the turbine's power curve and the alarms. Their files go through the station's
// disk thread like the records, so they wait, keep their order and are spooled the same way.
class Watchers : public QObject
{
    Q_OBJECT
public:
    Watchers(station::Station& station, QObject* parent = nullptr);

    curve::CurveData& curve() { return m_curve; }
    alarms::AlarmMonitor& alarms() { return m_alarms; }
    alarms::Notifier& notifier() { return m_notifier; }

    // alarms.cfg, publish.cfg and prog.cfg again, after the Alarms, Publish or Setup window.
    void reload();
    // The warning line for the alarms raised now, empty while none is; and why alarms.cfg,
    // battery.cfg, curve.cfg or refcurve.cfg cannot be used, when one is there but damaged, and
    // what became of a power curve of another unit.
    QString alarmLine() const;
    const QString& alarmsWarning() const { return m_alarmsWarning; }
    std::size_t raisedCount() const { return m_alarms.raised().size(); }

    // The power curve's file, rewritten whole (hourly, at close, after a new curve is begun).
    void saveCurve();

signals:
    void alarmsChanged();

private:
    friend class WatchersProbe; // the tests' way to drive the second's tick

    void energyAdded(const QDateTime& at, double wattHours);
    void curveMinute(const curve::MinuteMean& minute, qint64 monotonicMs);
    void keepOldCurve();
    void ledgerLine(const season::LedgerLine& line);
    void everySecond();
    void closing();

    station::Station& m_station;
    season::EnergyLedger m_ledger;
    curve::CurveData m_curve;
    alarms::AlarmMonitor m_alarms;
    alarms::Notifier m_notifier;
    alarms::AlarmDelivery m_delivery;
    QString m_alarmsWarning;
    QString m_curveNotice; // what became of a power curve of another unit, at start
    // For the ledger's amp-hours and load minutes: the latest fresh reading's volts and mode,
    // and the load's time on since the last energy increment.
    qint64 m_lastFreshMs = -1;
    bool m_loadOn = false;
    double m_volts = 0;
    qint64 m_loadMs = 0;
    QString m_wsUnits;
    QTimer m_second; // the alarms' clock and the ledger's change of hour without energy
    QTimer m_hourly; // the power curve's file
};

} // namespace plant
