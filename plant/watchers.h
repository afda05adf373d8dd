#pragma once

#include "alarms/alarmdelivery.h"
#include "alarms/alarmlog.h"
#include "alarms/alarmmonitor.h"
#include "alarms/notifier.h"
#include "curve/curvedata.h"
#include "curve/windbins.h"
#include "notify/notifyservice.h"
#include "season/completeness.h"
#include "season/energyledger.h"
#include "station/station.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <vector>

namespace plant {

// What watches the plant beside the records, fed by the station's announcements: the hourly
// energy ledger, the turbine's power curve and the alarms. Their files go through the station's
// disk thread like the records, so they wait, keep their order and are spooled the same way;
// the power curve and the alarm log are read there too, behind the last run's spool, so a
// restart starts from what that spool held. They watch from construction; what the files hold
// comes in when the disk has answered (filesRead()).
class Watchers : public QObject
{
    Q_OBJECT
public:
    // While records are held, the curve's files are saved every this many clock hours.
    static constexpr int kHeldCurveHours = 6;

    Watchers(station::Station& station, QObject* parent = nullptr);
    ~Watchers() override;

    curve::CurveData& curve() { return m_curve; }
    // The site's wind: every fresh minute's mean wind by local month (logs/windbins.txt).
    const curve::SiteWind& wind() const { return m_wind; }
    alarms::AlarmMonitor& alarms() { return m_alarms; }
    alarms::Notifier& notifier() { return m_notifier; }
    // The alarms sent by push, webhook and e-mail, as notify.cfg says.
    notify::NotifyService& notify() { return m_notify; }

    // alarms.cfg, publish.cfg, notify.cfg and prog.cfg again, after the Alarms, Publish, Notify
    // or Setup window.
    void reload();
    // The warning line for the alarms raised now, empty while none is; and why alarms.cfg,
    // battery.cfg, curve.cfg, refcurve.cfg or notify.cfg cannot be used, when one is there but
    // damaged, what became of a power curve of another unit, and a way of sending alarms that
    // keeps failing.
    QString alarmLine() const;
    const QString& alarmsWarning() const { return m_alarmsWarning; }
    std::size_t raisedCount() const { return m_alarms.raised().size(); }

    // The power curve's file, rewritten whole (hourly, or every kHeldCurveHours while records
    // are held; at close; after a new curve is begun);
    // not before it has been read, as the bins would then hold this run's minutes alone. The
    // wind counts' file with it.
    void saveCurve();
    // Whether the power curve and the alarm log have been read.
    bool filesRead() const { return m_filesRead; }

signals:
    void alarmsChanged();

private:
    friend class WatchersProbe; // the tests' way to drive the second's tick

    // What the files hold at start, read on the disk thread.
    struct StartFiles
    {
        curve::CurveFileLoad curve;
        QString keptAs;                // where a curve set aside is kept, when one is
        bool curveThere = false;       // the curve's file, or a write of it, was there at the read
        curve::RotorData::Files rotor; // turbulence.txt and rotor.txt
        std::vector<alarms::LoggedState> alarms;
        curve::WindFileLoad wind;
        QString windKeptAs;
        bool windThere = false;
    };

    void readFiles();
    void takeFiles(StartFiles files);
    void composeWarning();
    void energyAdded(const QDateTime& at, double wattHours);
    void curveMinute(const curve::MinuteMean& minute, qint64 monotonicMs);
    void keepOldCurve(const QString& keptAs);
    void takeWindFile(curve::WindFileLoad load, const QString& keptAs, bool there);
    // The wind counts' file as it stands, when there is one to write.
    std::optional<logging::FileWrite> windSave();
    void ledgerLine(const season::LedgerLine& line);
    // The curve's file and its siblings, the wind counts, as they are now.
    void addCurveWrites(std::vector<logging::FileWrite>& writes);
    void completenessLine(const std::optional<season::CompletenessLine>& line);
    int intervalSeconds() const;
    void everySecond();
    void closing();

    station::Station& m_station;
    season::EnergyLedger m_ledger;
    season::CompletenessCounter m_completeness;
    curve::CurveData m_curve;
    curve::SiteWind m_wind;
    alarms::AlarmMonitor m_alarms;
    alarms::Notifier m_notifier;
    alarms::AlarmDelivery m_delivery;
    notify::NotifyService m_notify;
    QString m_alarmsWarning;
    QString m_curveNotice; // what became of a power curve of another unit, at start
    QString m_windNotice;  // and of wind counts of another unit
    bool m_windFileThere = false;
    // Why alarms.cfg, battery.cfg, curve.cfg or refcurve.cfg cannot be used as written; and that
    // Power curve low has no reference to weigh against.
    QStringList m_settingsWarnings;
    QString m_noReference;
    bool m_filesRead = false;
    // Whether the curve's file is there, known from the read and the saves handed since, so a
    // save never asks the folder from the plant's thread: it may not answer.
    bool m_curveFileThere = false;
    // For the ledger's amp-hours and load minutes: the latest fresh reading's volts and mode,
    // and the load's time on since the last energy increment.
    qint64 m_lastFreshMs = -1;
    bool m_loadOn = false;
    double m_volts = 0;
    qint64 m_loadMs = 0;
    QString m_wsUnits;
    QTimer m_second;        // the alarms' clock and the ledger's change of hour without energy
    QDateTime m_tickHour;   // the clock hour of the last second's tick
    int m_hoursUnsaved = 0; // clock hours begun since the curve's files were last handed
    // The hour's lines (the ledger's, the completeness'), handed at the next second's turn
    // with whatever else the hour writes.
    std::vector<logging::FileWrite> m_hourWrites;
};

} // namespace plant
