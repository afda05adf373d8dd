#include "alarms/alarmmonitor.h"

#include <algorithm>
#include <cmath>

namespace alarms {

AlarmMonitor::AlarmMonitor(QObject* parent)
    : QObject(parent)
    , m_config(defaultAlarmsConfig())
{
    m_silencedUntilMs.fill(-1);
}

void AlarmMonitor::setConfig(const AlarmsConfig& config)
{
    const AlarmsConfig before = m_config;
    m_config = config;
    for (const Kind k : kKinds) {
        AlarmTrack& t = m_tracks[std::size_t(k)];
        if (config[k] == before[k])
            continue;
        if (t.raised && !config[k].on) {
            t.raised = false;
            m_since[std::size_t(k)] = m_lastWall;
            emit changed(k, false, t.value, m_lastWall);
        }
        t.heldSinceMs = -1;
    }
}

void AlarmMonitor::startClock(qint64 monotonicMs, const QDateTime& wallTime)
{
    m_nowMs = monotonicMs;
    m_lastWall = wallTime;
    if (m_lastFreshMs < 0)
        m_lastFreshMs = monotonicMs;
}

void AlarmMonitor::onReading(const core::QuantityValues& values, qint64 monotonicMs,
                             const QDateTime& wallTime)
{
    startClock(monotonicMs, wallTime);
    for (const Kind k : kKinds) {
        const AlarmSettings& s = m_config[k];
        AlarmTrack& t = m_tracks[std::size_t(k)];
        if (!s.on)
            continue;
        if (k == Kind::NoData)
            apply(k, noDataOnFresh(m_lastFreshMs, monotonicMs, t), wallTime);
        else
            apply(k, onFreshValue(k, s, values[facts(k).quantity], monotonicMs, t), wallTime);
    }
    m_lastFreshMs = monotonicMs;
}

void AlarmMonitor::onTick(qint64 monotonicMs, const QDateTime& wallTime)
{
    startClock(monotonicMs, wallTime);
    if (!m_config[Kind::NoData].on)
        return;
    AlarmTrack& t = m_tracks[std::size_t(Kind::NoData)];
    apply(Kind::NoData, noDataOnTick(m_config[Kind::NoData], m_lastFreshMs, monotonicMs, t),
          wallTime);
}

void AlarmMonitor::apply(Kind kind, Change change, const QDateTime& wallTime)
{
    if (change == Change::None)
        return;
    m_since[std::size_t(kind)] = wallTime;
    emit changed(kind, change == Change::Raised, m_tracks[std::size_t(kind)].value, wallTime);
}

void AlarmMonitor::silence(Kind kind)
{
    // Kept within a day before it becomes milliseconds: a config set by hand may hold anything.
    const double asSet = m_config.silenceMinutes >= 0 ? m_config.silenceMinutes : 0.0;
    const double minutes = std::min(asSet, kMaxSilenceMinutes);
    m_silencedUntilMs[std::size_t(kind)] =
        std::max<qint64>(m_nowMs, 0) + qint64(std::llround(minutes * 60000.0));
}

void AlarmMonitor::silenceRaised()
{
    for (const Kind k : kKinds) {
        if (isRaised(k))
            silence(k);
    }
}

bool AlarmMonitor::silenced(Kind kind) const
{
    const qint64 until = m_silencedUntilMs[std::size_t(kind)];
    return until >= 0 && std::max<qint64>(m_nowMs, 0) < until;
}

bool AlarmMonitor::notifies(Kind kind) const
{
    return m_config.notify && !silenced(kind);
}

std::vector<RaisedAlarm> AlarmMonitor::raised() const
{
    std::vector<RaisedAlarm> out;
    for (const Kind k : kKinds) {
        if (isRaised(k))
            out.push_back({k, m_tracks[std::size_t(k)].value, m_since[std::size_t(k)]});
    }
    return out;
}

} // namespace alarms
