#include "alarms/alarmmonitor.h"

#include <algorithm>
#include <cmath>
#include <utility>

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
        if (!config[k].on)
            m_known[std::size_t(k)] = false;
        t.heldSinceMs = -1;
        if (k == Kind::CurveLow)
            m_curveWindow.minutes.clear();
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
    if (m_away)
        return;
    for (const Kind k : kKinds) {
        const AlarmSettings& s = m_config[k];
        AlarmTrack& t = m_tracks[std::size_t(k)];
        if (!s.on || k == Kind::CurveLow)
            continue;
        if (k == Kind::NoData) {
            apply(k, noDataOnFresh(m_lastFreshMs, monotonicMs, t), wallTime);
        } else {
            apply(k, onFreshReading(k, s, values, monotonicMs, t), wallTime);
            // The condition met but not yet for Delay: neither raised nor clear yet.
            if (!t.raised && conditionHolds(k, s, values))
                continue;
        }
        learn(k, t.raised);
    }
    m_lastFreshMs = monotonicMs;
}

void AlarmMonitor::onCurveMinute(double promisedW, double measuredW, qint64 monotonicMs,
                                 const QDateTime& wallTime)
{
    startClock(monotonicMs, wallTime);
    const AlarmSettings& s = m_config[Kind::CurveLow];
    if (m_away || !s.on)
        return;
    AlarmTrack& t = m_tracks[std::size_t(Kind::CurveLow)];
    apply(Kind::CurveLow, alarms::onCurveMinute(s, promisedW, measuredW, m_curveWindow, t),
          wallTime);
    // Known once the window first holds Delay minutes.
    if (double(m_curveWindow.minutes.size()) >= std::round(s.delayS))
        learn(Kind::CurveLow, t.raised);
}

void AlarmMonitor::onTick(qint64 monotonicMs, const QDateTime& wallTime)
{
    startClock(monotonicMs, wallTime);
    if (m_away || !m_config[Kind::NoData].on)
        return;
    AlarmTrack& t = m_tracks[std::size_t(Kind::NoData)];
    apply(Kind::NoData, noDataOnTick(m_config[Kind::NoData], m_lastFreshMs, monotonicMs, t),
          wallTime);
}

void AlarmMonitor::setLineAway(bool away, qint64 monotonicMs)
{
    if (away == m_away)
        return;
    m_away = away;
    if (away)
        return;
    // The time away says nothing of the plant: the quiet and every run start again from here.
    m_lastFreshMs = monotonicMs;
    for (AlarmTrack& t : m_tracks)
        t.heldSinceMs = -1;
}

void AlarmMonitor::restore(Kind kind, bool raised, double value, const QDateTime& since)
{
    if (!m_config[kind].on || known(kind))
        return;
    AlarmTrack& t = m_tracks[std::size_t(kind)];
    t.raised = raised;
    t.value = value;
    t.heldSinceMs = -1;
    m_since[std::size_t(kind)] = since;
    learn(kind, raised);
}

void AlarmMonitor::learn(Kind kind, bool raised)
{
    if (std::exchange(m_known[std::size_t(kind)], true))
        return;
    emit evaluated(kind, raised);
}

void AlarmMonitor::apply(Kind kind, Change change, const QDateTime& wallTime)
{
    if (change == Change::None)
        return;
    m_known[std::size_t(kind)] = true;
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
