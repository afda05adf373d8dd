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

    // One fresh decoded reading (volts, amps, rpm and wind speed are used).
    void onReading(const core::QuantityValues& values, qint64 monotonicMs,
                   const QDateTime& wallTime);
    // The passing of time without a frame (NoData); call it every second or so.
    void onTick(qint64 monotonicMs, const QDateTime& wallTime);

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

private:
    void apply(Kind kind, Change change, const QDateTime& wallTime);
    void startClock(qint64 monotonicMs, const QDateTime& wallTime);

    AlarmsConfig m_config;
    std::array<AlarmTrack, kKindCount> m_tracks{};
    std::array<QDateTime, kKindCount> m_since{};
    std::array<qint64, kKindCount> m_silencedUntilMs{};
    qint64 m_lastFreshMs = -1;
    qint64 m_nowMs = -1;
    QDateTime m_lastWall; // of the latest reading or tick
};

} // namespace alarms

Q_DECLARE_METATYPE(alarms::Kind)
