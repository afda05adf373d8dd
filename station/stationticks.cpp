#include "station/station.h"

#include "publish/messages.h"

#include <QCoreApplication>

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
        if (!m_status.stale.isEmpty()) {
            m_status.stale.clear();
            emit dataReturned();
            announceStatus();
        }
        m_energy.frame(at);
        m_reading = computeReading(decodeFrame(frame), m_conversion);
        if (m_Timer1.isActive())
            raisePeaks(m_peaks, m_reading);
        emit readingDecoded(m_reading, titleText(m_reading), modeText(m_reading.mode));
        emit freshReading(m_reading.value, m_reading.mode, at);
        m_publisher.onReading(m_reading.value, m_energy.total(), m_reading.mode, m_lastDataAt);
    }
    emit holdersChanged(holderValues(m_reading, m_energy.total(), m_compactPanel));
}

// The values on show stay as they were; the line says since when nothing new came. Once said,
// it stands until a frame comes: a line that reopens has not yet sent anything.
void Station::checkData()
{
    if (!m_status.stale.isEmpty() || !m_lastDataMs)
        return;
    const bool lost = m_MSComm1.status().state == core::LineStatus::State::Lost;
    const bool quiet = m_MSComm1.isOpen() && m_clock.elapsedMs() - *m_lastDataMs >= kStaleAfterMs;
    if (!lost && !quiet)
        return;
    m_status.stale = QStringLiteral("No data since ") + m_lastDataAt.time().toString(u"HH:mm:ss");
    if (m_lastDataAt.date() != m_clock.now().date())
        m_status.stale += QStringLiteral(" on ") + m_lastDataAt.date().toString(Qt::ISODate);
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
    emit recordWritten();
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
    const qint64 at = m_clock.elapsedMs();
    QMetaObject::invokeMethod(m_writer.get(),
                              [w = m_writer.get(), in, json, at] { w->record(in, json, at); });
    m_publisher.onRecord(m_peaks.peak, m_reading.mode, now);
    m_peaks = IntervalPeaks{};
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

void Station::takeWriteState(const WriteState& state)
{
    m_status.writes = state;
    if (state.records == 0)
        m_writeRetry.stop();
    else
        m_writeRetry.start();
    announceStatus();
}

CloseResult Station::closeSteps()
{
    m_Timer1.stop();
    m_MSComm1.close();
    emit closing();
    CloseResult result;
    const qint64 at = m_clock.elapsedMs();
    QMetaObject::invokeMethod(
        m_writer.get(), [w = m_writer.get(), at] { return w->close(at); },
        Qt::BlockingQueuedConnection, &result);
    return result;
}

void Station::queueWrite(logging::FileWrite write)
{
    const qint64 at = m_clock.elapsedMs();
    QMetaObject::invokeMethod(m_writer.get(), [w = m_writer.get(), write = std::move(write), at] {
        w->write(write, at);
    });
}

void Station::waitForDisk()
{
    QMetaObject::invokeMethod(
        m_writer.get(), [] {}, Qt::BlockingQueuedConnection);
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

} // namespace station
