#include "station/diskwriter.h"

#include "logging/spool.h"
#include "publish/messages.h"

namespace station {

DiskWriter::DiskWriter(const core::AppDir& app)
    : m_app(app)
{}

void DiskWriter::restore(qint64 nowMs)
{
    logging::SpooledWrites spooled = logging::loadSpool(m_app);
    QStringList notes = spooled.problems;
    if (!spooled.files.isEmpty()) {
        for (auto it = spooled.writes.rbegin(); it != spooled.writes.rend(); ++it)
            m_pending.queue.push_front(std::move(*it));
        m_spoolFile = spooled.files.back();
        const std::size_t kept = m_pending.records();
        writeWaiting(nowMs);
        const std::size_t written = kept - m_pending.records();
        notes.prepend(QStringLiteral("%1 of %2 lines kept from the last run in %3 were written.")
                          .arg(written)
                          .arg(kept)
                          .arg(spooled.files.join(QStringLiteral(", "))));
    }
    if (!spooled.problems.isEmpty())
        notes.prepend(QStringLiteral("Lines kept from the last run could not be read:"));
    m_spoolNotice = notes.join(QLatin1Char('\n'));
    announce();
}

void DiskWriter::record(const logging::RecordInputs& in,
                        const std::optional<QByteArray>& statusJson, qint64 nowMs)
{
    m_templateWarning.clear();
    // Behind anything still waiting, so every file keeps its records in order.
    for (logging::FileWrite& write : logging::recordWrites(m_app, in, &m_templateWarning))
        m_pending.add(std::move(write));
    if (statusJson) {
        m_pending.add(
            {publish::statusJsonPath(m_app), *statusJson, logging::FileWrite::Kind::Replace, {}});
    }
    writeWaiting(nowMs);
    announce();
}

void DiskWriter::write(const logging::FileWrite& write, qint64 nowMs)
{
    m_pending.add(write);
    writeWaiting(nowMs);
    announce();
}

void DiskWriter::retry(qint64 nowMs)
{
    writeWaiting(nowMs);
    announce();
}

CloseResult DiskWriter::close(qint64 nowMs)
{
    CloseResult result;
    if (m_pending.empty())
        return result;
    writeWaiting(nowMs);
    if (m_pending.empty())
        return result;
    result.allWritten = false;
    result.keptIn = logging::saveSpool(m_app, m_pending, &result.spoolError);
    result.warnings = m_warnings;
    return result;
}

void DiskWriter::writeWaiting(qint64 nowMs)
{
    const std::size_t before = m_pending.records();
    m_warnings = logging::failureWarnings(logging::writePending(m_pending));
    keepSpoolInStep(before, nowMs);
}

// The spool mirrors what waits, so a killed program loses little: it is rewritten whenever a
// waiting record reached its file (a stale spool would write it twice at the next start), at
// most once a minute while records only pile up behind a full disk, and removed when nothing
// waits.
void DiskWriter::keepSpoolInStep(std::size_t recordsBefore, qint64 nowMs)
{
    if (m_pending.empty()) {
        if (!m_spoolFile.isEmpty())
            m_placeNote = logging::removeSpool(m_app);
        m_spoolFile.clear();
        return;
    }
    const qsizetype bytes = m_pending.bytes();
    const bool wroteSome = m_pending.records() < recordsBefore;
    const bool unchanged = bytes == m_spooledBytes;
    const bool cheap = bytes < 1024 * 1024;
    const bool due = !m_spoolSavedAt || nowMs - *m_spoolSavedAt >= 60000;
    if (!m_spoolFile.isEmpty() && !wroteSome && (unchanged || (!cheap && !due)))
        return;
    QString error;
    if (const auto file = logging::saveSpool(m_app, m_pending, &error)) {
        m_spoolFile = *file;
        m_placeNote = logging::spoolPlaceNote(*file);
        m_spoolSavedAt = nowMs;
        m_spooledBytes = bytes;
    } else {
        m_spoolFile.clear();
        m_spoolNotice = QStringLiteral("The waiting lines cannot be kept for a restart: ") + error;
    }
}

void DiskWriter::announce()
{
    QStringList notices{m_spoolNotice, m_placeNote};
    notices.removeAll(QString());
    emit stateChanged(
        WriteState{m_warnings, m_templateWarning,
                   m_pending.dropped > 0 ? logging::droppedWarning(m_pending.dropped) : QString(),
                   notices.join(QLatin1Char('\n')), m_spoolFile, m_pending.records()});
}

} // namespace station
