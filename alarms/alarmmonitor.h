#pragma once

#include "alarms/alarmconfig.h"
#include "alarms/alarmrule.h"
#include "alarms/alarmtexts.h"
#include "core/quantities.h"

#include <QDateTime>
#include <QMetaType>
#include <QObject>
#include <array>
#include <vector>

namespace alarms {

// Watches the station's fresh readings and its ticks, both on the station's monotonic clock in
// milliseconds (with the wall time, for the log and the "since"), and says when an alarm is
// raised or cleared. No widget, no file, no bus: the log, the notifications and MQTT listen to
// changed(). Alarms that are off are never raised.
class AlarmMonitor : public QObject
{
    Q_OBJECT
public:
    explicit AlarmMonitor(QObject* parent = nullptr);

    // New settings (after the Alarms window). An alarm switched off while raised is cleared, with
    // its last value; one whose settings changed starts its run afresh.
    void setConfig(const AlarmsConfig& config);
    const AlarmsConfig& config() const { return m_config; }

    // One fresh decoded reading (volts, amps, watts, rpm and wind speed are used).
    void onReading(const core::QuantityValues& values, qint64 monotonicMs,
                   const QDateTime& wallTime);
    // One minute of turbine data for CurveLow: the reference's and the measured watts of a minute
    // whose wind was at or above the reference's cut-in while the battery was not full.
    void onCurveMinute(double promisedW, double measuredW, qint64 monotonicMs,
                       const QDateTime& wallTime);
    // The passing of time without a frame (NoData); call it every second or so.
    void onTick(qint64 monotonicMs, const QDateTime& wallTime);
    // The serial line went to another window (Setup, Calibrate) or came back, at monotonicMs:
    // nothing is evaluated while it is away, and NoData counts from its return.
    void setLineAway(bool away, qint64 monotonicMs);
    bool lineAway() const { return m_away; }

    // A state from the log of an earlier run, for an alarm that is on: it stands as logged until
    // the readings say otherwise; nothing is logged or notified for it. Ignored for one that is
    // off or already known in this run.
    void restore(Kind kind, bool raised, double value, const QDateTime& since);
    // Whether the alarm's state is known: from its first evaluation (a reading that meets the
    // condition for Delay, or does not meet it; NoData: a fresh frame, or Level seconds without
    // one) or from restore(). Not while it is off, nor before its first evaluation.
    bool known(Kind kind) const { return m_known[std::size_t(kind)]; }

    // No notification of the kind for the config's Silence minutes (at most kMaxSilenceMinutes)
    // from the latest time seen; the log, the main window's line and MQTT still follow it.
    void silence(Kind kind);
    // Every alarm raised now.
    void silenceRaised();
    bool silenced(Kind kind) const;
    // Whether a change of the kind is to be notified now: Notify on and not silenced.
    bool notifies(Kind kind) const;

    bool isRaised(Kind kind) const { return m_tracks[std::size_t(kind)].raised; }
    // In the order of kKinds.
    std::vector<RaisedAlarm> raised() const;

signals:
    // since: when the alarm was raised, or (raised false) when it cleared; value: the value
    // that raised or cleared it (NoData: the seconds without data).
    void changed(alarms::Kind kind, bool raised, double value, const QDateTime& since);
    // The alarm's state became known without a change: its first evaluation, or a restore.
    void evaluated(alarms::Kind kind, bool raised);

private:
    void apply(Kind kind, Change change, const QDateTime& wallTime);
    void startClock(qint64 monotonicMs, const QDateTime& wallTime);
    void learn(Kind kind, bool raised);

    AlarmsConfig m_config;
    std::array<AlarmTrack, kKindCount> m_tracks{};
    CurveWindow m_curveWindow;
    std::array<QDateTime, kKindCount> m_since{};
    std::array<qint64, kKindCount> m_silencedUntilMs{};
    std::array<bool, kKindCount> m_known{};
    bool m_away = false;
    qint64 m_lastFreshMs = -1;
    qint64 m_nowMs = -1;
    QDateTime m_lastWall; // of the latest reading or tick
};

} // namespace alarms

Q_DECLARE_METATYPE(alarms::Kind)
