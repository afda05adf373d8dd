#include "station/station.h"

#include "core/datetime.h"
#include "logging/spool.h"
#include "publish/messages.h"

#include <QCoreApplication>
#include <algorithm>
#include <future>
#include <thread>

// The station's handlers: the line's notifications, the logging tick and the energy tick, the
// stale-data watch, and what the disk thread reports back.
namespace station {

// Runs on every notification of the line, errors included, so the holders are assigned even
// when no frame came: a holder whose value did not change redraws nothing.
void Station::MSComm1_OnComm(const QString& frame)
{
    if (!frame.isEmpty()) {
        const qint64 at = m_clock.elapsedMs();
        m_lastDataMs = at;
        m_lastDataAt = m_clock.now();
        if (m_status.staleSince) {
            m_status.staleSince.reset();
            emit dataReturned();
            announceStatus();
        }
        m_energy.frame(at);
        m_reading = computeReading(decodeFrame(frame), m_conversion);
        if (m_Timer1.isActive())
            raisePeaks(m_peaks, m_reading);
        watchVolts();
        emit readingDecoded(m_reading);
        emit freshReading(m_reading.value, m_reading.mode, at);
        m_publisher.onReading(m_reading.value, m_energy.total(), m_reading.mode, m_lastDataAt);
    }
    emit lineNotified(m_reading, m_energy.total());
}

// The values on show stay as they were; the line says since when nothing new came. Once said,
// it stands until a frame comes: a line that reopens has not yet sent anything.
void Station::checkData()
{
    if (m_status.staleSince || !m_lastDataMs)
        return;
    const bool lost = m_MSComm1.status().state == core::LineStatus::State::Lost;
    const bool quiet = m_MSComm1.isOpen() && m_clock.elapsedMs() - *m_lastDataMs >= kStaleAfterMs;
    if (!lost && !quiet)
        return;
    m_status.staleSince = m_lastDataAt;
    // The line may be lost with the power: what is held goes to the disk now.
    writeHeld();
    emit dataStale(m_lastDataAt);
    announceStatus();
}

// The line is closed, lost or handed over: the energy counts up to now and no further.
void Station::lineDown()
{
    addEnergy(m_clock.now(), m_energy.lineDown(m_reading[core::kWatts], m_clock.elapsedMs()));
}

void Station::Timer1_Timer()
{
    const QDateTime now = m_clock.now();
    m_energy.newDate(now);
    const logging::RecordInputs in{m_peaks,
                                   m_reading.mode,
                                   now,
                                   m_energy.total(),
                                   m_options.wsUnits,
                                   m_options.saveHtml,
                                   m_options.saveExcel};
    // For web dashboards, beside the page; only while publishing is on, so with it off the
    // folder holds exactly what it always did.
    std::optional<QByteArray> json;
    if (in.saveHtml && m_publisher.enabled())
        json = publish::statusJson(m_peaks.peak, in.wattHourTotal, in.mode, in.wsUnits, now);
    Handed record;
    record.kind = Handed::Kind::Record;
    record.record = in;
    record.statusJson = json;
    record.hold = holdRecord(now);
    record.syncPage = !m_storage.holds();
    hand(std::move(record));
    m_publisher.onRecord(m_peaks.peak, m_reading.mode, now);
    m_peaks = IntervalPeaks{};
    // After the record is handed: what this makes others write comes behind it, and does not
    // begin a new period of held records before it.
    emit recordWritten();
}

// Records are held while storage.cfg asks for it and the volts are up. A period ends on the
// clock's next multiple of its length within the hour (:05, :10 and so on for five minutes) or at
// the hour's end, and never lasts longer than its length by the monotonic clock, whatever the
// wall clock does. The record whose next would come after the period's end is written, with all
// held before it. The hour's last period is written by the hour's own writes (the ledger's line,
// the hourly saves), so the hour costs the disk no round of its own; failing those, by the first
// record of the next hour.
bool Station::holdRecord(const QDateTime& now)
{
    if (!holdingRecords()) {
        m_heldSinceMs.reset();
        return false;
    }
    constexpr qint64 kHourMs = 3600 * 1000;
    const qint64 at = m_clock.elapsedMs();
    const qint64 length = qint64(m_storage.syncSeconds) * 1000;
    const QDateTime hour = core::hourStart(now);
    const qint64 intoHour = hour.msecsTo(now);
    if (!m_heldSinceMs) {
        m_heldSinceMs = at;
        m_heldHour = hour;
        m_heldUntil = hour.addMSecs(std::min((intoHour / length + 1) * length, kHourMs));
    }
    const qint64 next = m_Timer1.interval();
    const qint64 lengthLeft = *m_heldSinceMs + length - at;
    if (hour == m_heldHour) {
        const qint64 toEnd = now.msecsTo(m_heldUntil);
        if (next < toEnd && next < lengthLeft)
            return true;
        const bool hoursLast = m_heldUntil == m_heldHour.addMSecs(kHourMs);
        if (hoursLast && toEnd > 0 && toEnd <= lengthLeft)
            return true;
    }
    m_heldSinceMs.reset();
    return false;
}

double Station::lowVoltsLevel() const
{
    if (m_storage.syncBelowVolts)
        return *m_storage.syncBelowVolts;
    return m_lowVoltsDefault ? m_lowVoltsDefault() : storage::syncBelowVolts({}, std::nullopt, 0);
}

void Station::setLowVoltsDefault(std::function<double()> level)
{
    m_lowVoltsDefault = std::move(level);
}

// The computer may be fed by the bank it watches: as the volts fall to the level, what is held
// is written at once, and from then on every record, until they are back above it. A reading
// of about 0 V is a line without its sensor, not a bank.
void Station::watchVolts()
{
    if (!m_storage.holds()) {
        m_lowVolts = false;
        return;
    }
    const double volts = m_reading[core::kVolts];
    const bool low = volts > 1 && volts <= lowVoltsLevel();
    if (low && !m_lowVolts)
        writeHeld();
    m_lowVolts = low;
}

void Station::writeHeld()
{
    m_heldSinceMs.reset();
    if (!m_storage.holds() && !m_status.writes.held)
        return;
    QMetaObject::invokeMethod(m_writer.get(), [w = m_writer.get()] { w->writeHeld(); });
}

bool Station::writeHeldNow(std::chrono::milliseconds deadline)
{
    if (!m_outbox->holding)
        return true;
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> written = done->get_future();
    QMetaObject::invokeMethod(m_writer.get(), [w = m_writer.get(), done] {
        w->writeHeld();
        done->set_value();
    });
    return written.wait_for(deadline) == std::future_status::ready;
}

void Station::Timer3_Timer()
{
    const QDateTime now = m_clock.now();
    addEnergy(now, m_energy.tick(m_reading[core::kWatts], now, m_clock.elapsedMs()));
}

void Station::addEnergy(const QDateTime& at, double wattHours)
{
    if (wattHours != 0.0)
        emit energyAdded(at, wattHours);
}

// Every request goes to the disk thread in the order handed, and is kept here until the writer
// says it has taken it in: a close that cannot wait for the disk keeps it from here.
quint64 Station::hand(Handed request)
{
    request.number = ++m_lastHanded;
    request.atMs = m_clock.elapsedMs();
    const quint64 n = request.number;
    const qint64 at = request.atMs;
    DiskWriter* w = m_writer.get();
    switch (request.kind) {
    case Handed::Kind::Restore:
        QMetaObject::invokeMethod(w, [w, n, at] { w->restore(n, at); });
        break;
    case Handed::Kind::Record:
        QMetaObject::invokeMethod(
            w, [w, n, at, in = request.record, json = request.statusJson, hold = request.hold,
                syncPage = request.syncPage] { w->record(n, in, json, at, hold, syncPage); });
        break;
    case Handed::Kind::Write:
        QMetaObject::invokeMethod(w,
                                  [w, n, at, writes = request.writes] { w->write(n, writes, at); });
        break;
    }
    m_handed.push_back(std::move(request));
    return n;
}

void Station::takeWriteState(const WriteState& state)
{
    while (!m_handed.empty() && m_handed.front().number <= state.takenUpTo)
        m_handed.pop_front();
    m_status.writes = state;
    m_lastDiskReportMs = m_clock.elapsedMs();
    m_status.diskSilentSince.reset();
    // A page or a curve that waits is tried again as a record is.
    if (state.writes == 0)
        m_writeRetry.stop();
    else
        m_writeRetry.start();
    announceStatus();
}

// A disk that takes a few seconds for a sync is slow; one that has said nothing for kDiskSilentMs
// while work waits for it is not answering, and the user hears of it.
void Station::checkDisk()
{
    if (m_handed.empty() || m_status.diskSilentSince)
        return;
    const qint64 waited = m_clock.elapsedMs() - std::max(m_handed.front().atMs, m_lastDiskReportMs);
    if (waited < kDiskSilentMs)
        return;
    m_status.diskSilentSince = m_clock.now().addMSecs(-waited);
    announceStatus();
}

CloseResult Station::closeSteps(std::chrono::milliseconds deadline)
{
    const auto started = std::chrono::steady_clock::now();
    m_Timer1.stop();
    m_Timer3.stop();
    m_dataWatch.stop();
    m_writeRetry.stop();
    // The energy counts up to the close, as it does when the line is lost.
    m_MSComm1.close();
    lineDown();
    emit closing();
    const qint64 at = m_clock.elapsedMs();
    auto done = std::make_shared<std::promise<CloseResult>>();
    std::future<CloseResult> result = done->get_future();
    QMetaObject::invokeMethod(m_writer.get(),
                              [w = m_writer.get(), at, done] { done->set_value(w->close(at)); });
    // Most of the deadline goes to the disk; the rest to keeping a snapshot if it is stuck.
    const auto forDisk = deadline * 2 / 3;
    if (result.wait_for(forDisk) == std::future_status::ready)
        return result.get();
    const auto left = deadline - std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - started);
    return keepFromSnapshot(std::max(left, std::chrono::milliseconds(500)));
}

// The disk thread is stuck in a call. What it holds (as of its latest step) and what was handed
// to it since is kept in the spool by a thread of its own, which is not waited for past the
// deadline either: the spool may be on the same dead disk. That thread never looks at the
// application directory, which may hang as a whole: where the spool goes and the page's
// template are what the disk thread found while it answered, and nothing is asked of a file.
CloseResult Station::keepFromSnapshot(std::chrono::milliseconds deadline)
{
    m_diskLeftBehind = true;
    std::deque<logging::FileWrite> waiting;
    quint64 takenUpTo = 0;
    QStringList spoolFiles;
    logging::PageTemplate pageTemplate;
    {
        // From here on the writer takes in and writes nothing: whatever it has not written is
        // in this snapshot or handed after it, and kept once, by the spool.
        const std::lock_guard lock(m_outbox->mutex);
        m_outbox->leftBehind = true;
        waiting = m_outbox->waiting;
        takenUpTo = m_outbox->takenUpTo;
        spoolFiles = m_outbox->spoolFiles;
        pageTemplate = m_outbox->pageTemplate;
    }
    std::vector<Handed> later;
    for (const Handed& h : m_handed) {
        if (h.number > takenUpTo)
            later.push_back(h);
    }
    auto done = std::make_shared<std::promise<CloseResult>>();
    std::future<CloseResult> result = done->get_future();
    std::thread keeper([app = m_app, outbox = m_outbox, waiting = std::move(waiting),
                        later = std::move(later), spoolFiles = std::move(spoolFiles),
                        pageTemplate = std::move(pageTemplate), done]() mutable {
        // A disk thread stuck from the start never found the candidates: they are ordered
        // without the application directory's disk.
        if (spoolFiles.isEmpty())
            spoolFiles = logging::spoolCandidates(app, logging::AppFolder::Untouched);
        logging::PendingWrites pending;
        for (logging::FileWrite& w : waiting)
            pending.queue.push_back(std::move(w));
        // What was handed after the snapshot never reached its file: its size before stays
        // unknown, and the replay writes it whole, once.
        for (const Handed& h : later) {
            switch (h.kind) {
            case Handed::Kind::Restore:
                // Not yet read back: the last run's spool is kept with the rest, first.
                for (logging::FileWrite& w : logging::loadSpool(app, spoolFiles).writes)
                    pending.add(std::move(w));
                break;
            case Handed::Kind::Record: {
                QString warning;
                for (logging::FileWrite& w :
                     logging::recordWrites(app, h.record, pageTemplate, &warning))
                    pending.add(std::move(w));
                if (h.statusJson) {
                    pending.add({publish::statusJsonPath(app),
                                 *h.statusJson,
                                 logging::FileWrite::Kind::Replace,
                                 {}});
                }
                break;
            }
            case Handed::Kind::Write:
                for (const logging::FileWrite& w : h.writes)
                    pending.add(w);
                break;
            }
        }
        CloseResult r;
        r.diskSilent = true;
        r.allWritten = pending.empty();
        r.warnings << QStringLiteral("The folder %1 did not answer.").arg(app.dir);
        if (!pending.empty()) {
            const std::lock_guard lock(outbox->spoolMutex);
            r.keptIn = logging::saveSpool(app, pending, spoolFiles, &r.spoolError);
            if (r.keptIn) {
                if (const QString note = logging::spoolPlaceNote(*r.keptIn); !note.isEmpty())
                    r.warnings << note;
            }
        }
        done->set_value(std::move(r));
    });
    keeper.detach();
    if (result.wait_for(deadline) == std::future_status::ready)
        return result.get();
    CloseResult r;
    r.diskSilent = true;
    r.allWritten = false;
    r.spoolError = QStringLiteral("the spool's folder did not answer either");
    r.warnings << QStringLiteral("The folder %1 did not answer.").arg(m_app.dir);
    return r;
}

void Station::queueWrite(logging::FileWrite write)
{
    std::vector<logging::FileWrite> writes;
    writes.push_back(std::move(write));
    queueWrites(std::move(writes));
}

void Station::queueWrites(std::vector<logging::FileWrite> writes)
{
    if (writes.empty())
        return;
    // The disk thread writes what is held before them: a new period begins.
    m_heldSinceMs.reset();
    Handed request;
    request.kind = Handed::Kind::Write;
    request.writes = std::move(writes);
    hand(std::move(request));
}

void Station::waitForDisk()
{
    QMetaObject::invokeMethod(
        m_writer.get(), [] {}, Qt::BlockingQueuedConnection);
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

} // namespace station
