#include "plant/watchers.h"

#include "alarms/alarmconfig.h"
#include "alarms/alarmtexts.h"
#include "core/datetime.h"
#include "curve/binsfile.h"
#include "curve/shortfall.h"
#include "publish/publisher.h"
#include "season/batteryconfig.h"
#include "storage/storageconfig.h"

#include <QFileInfo>
#include <QPointer>
#include <QStringList>
#include <QTimeZone>
#include <deque>
#include <functional>
#include <utility>

namespace plant {

Watchers::Watchers(station::Station& station, QObject* parent)
    : QObject(parent)
    , m_station(station)
    , m_curve(station.app(), station.options().wsUnits, false)
    , m_wind(m_curve.scale())
    , m_delivery(station.app(), m_alarms, &m_notifier, &station.publisher(),
                 [&station](logging::FileWrite write) { station.queueWrite(std::move(write)); })
    , m_notify(station.app(), station.clock())
{
    // The curve's whole-file writes (a new curve from the view too) wait behind the records.
    m_curve.setWriter([&station](const QString& path, const QByteArray& bytes) {
        station.queueWrite({path, bytes, logging::FileWrite::Kind::Replace, {}});
    });
    connect(&station, &station::Station::energyAdded, this, &Watchers::energyAdded);
    connect(&station, &station::Station::freshReading, this,
            [this](const core::QuantityValues& values, std::int16_t mode, qint64 ms) {
                // The load's time counts between readings that keep coming, as the energy does.
                if (m_loadOn && m_lastFreshMs >= 0 && ms - m_lastFreshMs <= core::kStaleAfterMs)
                    m_loadMs += ms - m_lastFreshMs;
                m_lastFreshMs = ms;
                m_loadOn = mode == 1;
                m_volts = values[core::kVolts];
                completenessLine(m_completeness.freshFrame(m_station.clock().now()));
                if (const auto minute = m_curve.add(values, ms))
                    curveMinute(*minute, ms);
                m_alarms.onReading(values, ms, m_station.clock().now());
            });
    connect(&station, &station::Station::recordWritten, this, [this] {
        m_completeness.setInterval(intervalSeconds());
        completenessLine(m_completeness.record(m_station.clock().now()));
    });
    connect(&station, &station::Station::closing, this, &Watchers::closing);
    // While Setup or Calibrate has the line, its quiet is no fault of the plant.
    connect(&station, &station::Station::lineHandedOver, this, [this](bool handedOver) {
        m_alarms.setLineAway(handedOver, m_station.clock().elapsedMs());
    });
    connect(&m_alarms, &alarms::AlarmMonitor::changed, this, &Watchers::alarmsChanged);
    // The same changes as the alarm log's go out by push, webhook and e-mail.
    connect(&m_alarms, &alarms::AlarmMonitor::changed, this,
            [this](alarms::Kind kind, bool raised, double value, const QDateTime& since) {
                m_notify.alarmChanged(kind, raised, value, m_alarms.config()[kind], m_wsUnits,
                                      since);
            });
    // The daily report: the day's shortfall from the minutes held here, the rest from the files
    // on the sending thread. The minutes count on the monotonic clock: the day's bounds are
    // placed on it from now, on the plant's clock, so the report weighs the local day it is of.
    m_notify.setReport(
        [this](const QDate& day) {
            notify::PlantFacts facts;
            facts.fullVolts = m_curve.fullVolts().value_or(season::kFullVolts12);
            facts.wsUnits = m_wsUnits;
            if (const auto& reference = m_curve.reference()) {
                const QDateTime now = m_station.clock().now();
                const qint64 nowMinute = m_station.clock().elapsedMs() / 60000;
                const auto minuteOf = [&](const QDate& d) {
                    return nowMinute - d.startOfDay(now.timeZone()).secsTo(now) / 60;
                };
                facts.lines << curve::shortfallText(
                    curve::shortfallBetween(m_curve.scatter(), *reference, minuteOf(day),
                                            minuteOf(day.addDays(1))),
                    QStringLiteral("On %1").arg(day.toString(Qt::ISODate)));
            } else {
                facts.lines << QStringLiteral("No reference curve to weigh the turbine against.");
            }
            return facts;
        },
        [app = m_station.app(), clock = m_station.clock()](
            const QDate& day, const notify::PlantFacts& facts, const QString& plant) {
            return notify::readReport(app, day, clock.now(), plant, facts);
        });
    connect(&m_notify, &notify::NotifyService::statusChanged, this, [this] {
        composeWarning();
        emit alarmsChanged();
    });
    m_second.setInterval(1000);
    connect(&m_second, &QTimer::timeout, this, &Watchers::everySecond);
    m_second.start();
    reload();
    readFiles();
}

// The station outlives the watchers: it asks them for the low volts no more.
Watchers::~Watchers()
{
    m_station.setLowVoltsDefault({});
}

namespace {

// What the writes still waiting will make of a file: the bytes of the last replace, and what
// is appended after it (with the header a new file begins with, when it is the first).
struct Waiting
{
    std::optional<QByteArray> replaced;
    QByteArray appended;
};

Waiting waitingFor(const std::deque<logging::FileWrite>& writes, const QString& path,
                   bool fileEmpty)
{
    Waiting out;
    for (const logging::FileWrite& w : writes) {
        if (w.path != path)
            continue;
        if (w.kind == logging::FileWrite::Kind::Replace) {
            out.replaced = w.bytes;
            out.appended.clear();
            continue;
        }
        const bool empty = out.replaced ? out.replaced->isEmpty() && out.appended.isEmpty()
                                        : fileEmpty && out.appended.isEmpty();
        if (empty)
            out.appended += w.headerIfNew;
        out.appended += w.bytes;
    }
    return out;
}

} // namespace

// The power curve and the alarm log are read on the disk thread behind the last run's spool,
// with what still waits laid over them: a restart after an outage starts from the newer curve
// and the latest alarm lines, not from what the files held before the spool was written back.
// A curve set aside gets its name there too, where the folder is looked at.
void Watchers::readFiles()
{
    const core::AppDir app = m_station.app();
    const curve::WindScale scale = m_curve.scale();
    const double altitude = m_curve.altitude();
    const QDate today = m_station.clock().now().date();
    const QPointer<Watchers> self(this);
    m_station.readBehindWrites([app, scale, altitude, today,
                                self](const std::deque<logging::FileWrite>& waiting) {
        StartFiles files;
        const QString curvePath = curve::powerCurvePath(app);
        const std::optional<QByteArray> curveWaiting =
            waitingFor(waiting, curvePath, false).replaced;
        files.curveThere = curveWaiting || QFileInfo::exists(curvePath);
        files.curve = curve::loadCurveFile(curvePath, scale, altitude, curveWaiting);
        files.rotor = curve::RotorData::readFiles(
            app, scale, altitude, today,
            waitingFor(waiting, curve::turbulencePath(app), false).replaced,
            waitingFor(waiting, curve::rotorPath(app), false).replaced);
        if (files.curve.setAside)
            files.keptAs = curve::keptAsPath(app, QStringLiteral("powercurve"), today);
        const QString logPath = alarms::alarmLogPath(app);
        const QFileInfo log(logPath);
        const Waiting lines = waitingFor(waiting, logPath, !log.exists() || log.size() == 0);
        const QString windPath = curve::windBinsPath(app);
        const std::optional<QByteArray> windWaiting = waitingFor(waiting, windPath, false).replaced;
        files.windThere = windWaiting || QFileInfo::exists(windPath);
        files.wind = curve::loadWindFile(windPath, scale, windWaiting);
        if (files.wind.setAside)
            files.windKeptAs = curve::keptAsPath(app, QStringLiteral("windbins"), today);
        files.alarms = lines.replaced ? alarms::lastLoggedStates(*lines.replaced + lines.appended)
                                      : alarms::readLastLoggedStates(app, lines.appended);
        return std::function<void()>([self, files = std::move(files)]() mutable {
            if (self)
                self->takeFiles(std::move(files));
        });
    });
}

void Watchers::takeFiles(StartFiles files)
{
    m_filesRead = true;
    m_curveFileThere = files.curveThere;
    // A new curve begun meanwhile (from the view) wants none of the file's bins.
    if (!m_curve.fileRead()) {
        m_curve.takeFile(std::move(files.curve));
        keepOldCurve(files.keptAs);
    }
    takeWindFile(std::move(files.wind), files.windKeptAs, files.windThere);
    for (const curve::FileBytes& w : m_curve.rotor().takeFiles(std::move(files.rotor)))
        m_station.queueWrite({w.path, w.bytes, logging::FileWrite::Kind::Replace, {}});
    if (const QString& notice = m_curve.rotor().fileNotice(); !notice.isEmpty())
        m_curveNotice += (m_curveNotice.isEmpty() ? QString() : QStringLiteral(" ")) + notice;
    m_delivery.restoreFromLog(files.alarms, m_station.clock().now());
    composeWarning();
    emit alarmsChanged();
}

void Watchers::reload()
{
    m_alarmsWarning.clear();
    // Without the file the alarms are simply off, as a new user's are; a file that is there
    // but cannot be used is worth a word.
    QString warning;
    const alarms::AlarmsConfig config = alarms::readAlarmsConfig(m_station.app(), &warning);
    if (QFileInfo::exists(alarms::alarmsCfgPath(m_station.app())))
        m_alarmsWarning = warning;
    m_alarms.setConfig(config);
    m_wsUnits = m_station.options().wsUnits;
    QString batteryWarning;
    const season::BatteryConfig battery =
        season::readBatteryConfig(m_station.app(), &batteryWarning);
    m_curve.setBattery(battery);
    // Held records are written at once below BattLow's level, when that alarm is on, else below
    // a low bank's volts. (A raised alarm's log line is written with what is held before it.)
    std::optional<double> battLow;
    if (config[alarms::Kind::BattLow].on)
        battLow = config[alarms::Kind::BattLow].level;
    m_station.setLowVoltsDefault([this, battLow, nominal = battery.nominalVolts] {
        const int bank = nominal > 0 ? nominal : season::nominalFromVolts(m_volts);
        return storage::syncBelowVolts({}, battLow, bank);
    });
    const curve::RefCurveLoad reference = curve::readRefCurve(m_station.app(), m_curve.scale());
    m_curve.setReference(reference.curve);
    m_settingsWarnings = {m_alarmsWarning, batteryWarning, m_curve.settingsWarning(),
                          reference.warning};
    m_noReference.clear();
    if (config[alarms::Kind::CurveLow].on && !reference.curve && reference.warning.isEmpty())
        m_noReference = QStringLiteral("Power curve low is on, but there is no reference curve "
                                       "(refcurve.cfg) to weigh the turbine against: enter one in "
                                       "the power-curve view.");
    m_notify.reload();
    composeWarning();
    m_delivery.reload();
    emit alarmsChanged();
}

void Watchers::composeWarning()
{
    QStringList warnings = m_settingsWarnings;
    warnings << m_curveNotice << m_windNotice << m_noReference << m_notify.statusText();
    warnings.removeAll(QString());
    m_alarmsWarning = warnings.join(QLatin1Char(' '));
}

QString Watchers::alarmLine() const
{
    const auto raised = m_alarms.raised();
    if (raised.empty())
        return {};
    return alarms::alarmLine(raised, m_wsUnits, m_station.clock().now().date());
}

void Watchers::saveCurve()
{
    // One hand for them all: while records are held, their writes share one journal commit.
    addCurveWrites(m_hourWrites);
    m_station.queueWrites(std::exchange(m_hourWrites, {}));
}

void Watchers::addCurveWrites(std::vector<logging::FileWrite>& writes)
{
    m_hoursUnsaved = 0;
    if (auto wind = windSave())
        writes.push_back(std::move(*wind));
    if (m_curve.fileRead()) {
        if (!m_curve.curve().bins().empty() || m_curveFileThere || m_curve.setAside()) {
            writes.push_back(
                {m_curve.path(), m_curve.bytes(), logging::FileWrite::Kind::Replace, {}});
            m_curveFileThere = true;
        }
        // The turbulence and the RPM per bin; their own emptiness decides for each.
        for (const curve::FileBytes& w : m_curve.rotor().saves())
            writes.push_back({w.path, w.bytes, logging::FileWrite::Kind::Replace, {}});
    }
}

// A curve of another unit that cannot be turned into the one set now is kept whole beside the
// new one, through the disk thread: nobody may be there to ask, so nothing is dropped.
void Watchers::keepOldCurve(const QString& keptAs)
{
    if (!m_curve.setAside()) {
        m_curveNotice = m_curve.fileNotice();
        return;
    }
    m_station.queueWrite({keptAs, *m_curve.setAside(), logging::FileWrite::Kind::Replace, {}});
    m_curveNotice = m_curve.fileNotice(QFileInfo(keptAs).fileName());
    saveCurve();
}

// Counts of another unit are kept whole beside the new ones, as a curve's are.
void Watchers::takeWindFile(curve::WindFileLoad load, const QString& keptAs, bool there)
{
    m_windFileThere = there;
    m_wind.takeFile(std::move(load));
    if (!m_wind.setAside())
        return;
    m_station.queueWrite({keptAs, *m_wind.setAside(), logging::FileWrite::Kind::Replace, {}});
    m_windNotice = QStringLiteral("The wind's counts were kept in another unit or width than "
                                  "WSUnits now asks for: they begin again, the old ones kept as "
                                  "%1.")
                       .arg(QFileInfo(keptAs).fileName());
    if (auto wind = windSave())
        m_station.queueWrite(std::move(*wind));
}

std::optional<logging::FileWrite> Watchers::windSave()
{
    if (!m_wind.fileRead() || (m_wind.bins().empty() && !m_windFileThere && !m_wind.setAside()))
        return std::nullopt;
    m_windFileThere = true;
    return logging::FileWrite{curve::windBinsPath(m_station.app()),
                              m_wind.bytes(),
                              logging::FileWrite::Kind::Replace,
                              {}};
}

void Watchers::curveMinute(const curve::MinuteMean& minute, qint64 monotonicMs)
{
    // The site's wind as measured, held back or not: the minute's wind put back from sea level
    // when the bins are normalised. Its month is the local one the minute closed in.
    m_wind.add(m_station.clock().now().date(),
               minute.wind / curve::densityFactor(m_curve.altitude()));
    const std::optional<curve::RefCurve>& reference = m_curve.reference();
    if (!reference || minute.heldBack || minute.wind < reference->cutIn())
        return;
    m_alarms.onCurveMinute(reference->wattsAt(minute.wind), minute.watts, monotonicMs,
                           m_station.clock().now());
}

void Watchers::energyAdded(const QDateTime& at, double wattHours)
{
    // The charge in amp-hours at the bank's volts of the moment; nothing from a bank read as dead.
    const double ampHours = m_volts > 1 ? wattHours / m_volts : 0.0;
    const double loadMinutes = double(std::exchange(m_loadMs, 0)) / 60000.0;
    if (const auto line = m_ledger.add(at, wattHours, ampHours, loadMinutes))
        ledgerLine(*line);
}

void Watchers::ledgerLine(const season::LedgerLine& line)
{
    m_hourWrites.push_back(season::ledgerWrite(m_station.app(), line));
    m_station.publisher().onEnergyHour(line.date, line.hour, line.utcOffsetSeconds, line.wattHours);
}

void Watchers::everySecond()
{
    const QDateTime now = m_station.clock().now();
    m_alarms.onTick(m_station.clock().elapsedMs(), now);
    if (const auto line = m_ledger.flush(now))
        ledgerLine(*line);
    m_completeness.setInterval(intervalSeconds());
    completenessLine(m_completeness.flush(now));
    const QDateTime hour = core::hourStart(now);
    if (hour != m_tickHour) {
        // Not at the start: the files were read then, and nothing has been counted yet.
        if (m_tickHour.isValid())
            ++m_hoursUnsaved;
        m_tickHour = hour;
    }
    // The curve's files are rewritten whole, so they go at each clock hour, or while records
    // are held (an SD card's storage mode) every few hours: a cut then costs a few hours of
    // counts, never a record. Volts falling to the level write them at once.
    if (m_hoursUnsaved >= (m_station.holdingRecords() ? kHeldCurveHours : 1))
        addCurveWrites(m_hourWrites);
    // The clock hour's lines, however they came in the last second, and the hourly saves go to
    // the disk in one hand: while records are held, the records the hour ends with go in the
    // same round, one commit of the file system for them all.
    m_station.queueWrites(std::exchange(m_hourWrites, {}));
}

void Watchers::completenessLine(const std::optional<season::CompletenessLine>& line)
{
    if (line)
        m_hourWrites.push_back(season::completenessWrite(m_station.app(), *line));
}

// The interval records are meant to come at: logging's own, or before it first started, the
// one it will start with.
int Watchers::intervalSeconds() const
{
    if (const int ms = m_station.loggingInterval(); ms >= 1000)
        return ms / 1000;
    bool ok = false;
    const int seconds = m_station.options().logDelay.toInt(&ok);
    return ok && seconds >= 1 && seconds <= 86400 ? seconds : 60;
}

void Watchers::closing()
{
    // Nothing more is counted or raised once the close steps have begun.
    m_second.stop();
    if (const auto line = m_ledger.closeHour())
        ledgerLine(*line);
    completenessLine(m_completeness.closeHour());
    saveCurve();
}

} // namespace plant
