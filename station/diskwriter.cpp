#include "station/diskwriter.h"

#include "logging/spool.h"
#include "publish/messages.h"

namespace station {

DiskWriter::DiskWriter(const core::AppDir& app, std::shared_ptr<Outbox> outbox)
    : m_app(app)
    , m_outbox(std::move(outbox))
{}

// At the first request, while the folder answers: should it stop answering later, a close that
// cannot wait for the disk still knows where the spool goes and how the page looks.
void DiskWriter::prepare()
{
    if (m_prepared)
        return;
    m_prepared = true;
    m_spoolFiles = logging::spoolCandidates(m_app);
    m_template = logging::readTemplate(m_app);
    const std::lock_guard lock(m_outbox->mutex);
    m_outbox->spoolFiles = m_spoolFiles;
    m_outbox->pageTemplate = m_template;
}

bool DiskWriter::leftBehind() const
{
    const std::lock_guard lock(m_outbox->mutex);
    return m_outbox->leftBehind;
}

void DiskWriter::restore(quint64 request, qint64 nowMs)
{
    if (leftBehind())
        return;
    prepare();
    logging::SpooledWrites spooled = logging::loadSpool(m_app, m_spoolFiles);
    QStringList notes = spooled.problems;
    m_takenUpTo = request;
    if (!spooled.files.isEmpty()) {
        ++m_changes;
        for (auto it = spooled.writes.rbegin(); it != spooled.writes.rend(); ++it)
            m_pending.queue.push_front(std::move(*it));
        m_spoolFile = spooled.files.back();
        m_placeNote = logging::spoolStatusNote(m_spoolFile);
        const std::size_t kept = m_pending.records();
        publish();
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
    publish();
    announce();
}

void DiskWriter::record(quint64 request, const logging::RecordInputs& in,
                        const std::optional<QByteArray>& statusJson, qint64 nowMs, bool hold,
                        bool syncPage)
{
    if (leftBehind())
        return;
    prepare();
    m_lastNowMs = nowMs;
    m_takenUpTo = request;
    if (!hold)
        releaseHeld();
    m_templateWarning.clear();
    ++m_changes;
    if (in.saveHtml) {
        m_template = logging::readTemplate(m_app);
        const std::lock_guard lock(m_outbox->mutex);
        m_outbox->pageTemplate = m_template;
    }
    // Behind anything still waiting, so every file keeps its records in order.
    for (logging::FileWrite& write :
         logging::recordWrites(m_app, in, m_template, &m_templateWarning)) {
        if (write.kind == logging::FileWrite::Kind::Replace)
            write.sync = syncPage;
        (hold ? m_held : m_pending).add(std::move(write));
    }
    if (statusJson) {
        logging::FileWrite json{
            publish::statusJsonPath(m_app), *statusJson, logging::FileWrite::Kind::Replace, {}};
        json.sync = syncPage;
        (hold ? m_held : m_pending).add(std::move(json));
    }
    publish();
    writeWaiting(nowMs);
    announce();
}

void DiskWriter::write(quint64 request, const std::vector<logging::FileWrite>& writes, qint64 nowMs)
{
    if (leftBehind())
        return;
    prepare();
    m_lastNowMs = nowMs;
    m_takenUpTo = request;
    releaseHeld();
    ++m_changes;
    for (const logging::FileWrite& w : writes)
        m_pending.add(w);
    publish();
    writeWaiting(nowMs);
    announce();
}

void DiskWriter::writeHeld()
{
    if (leftBehind() || m_held.empty())
        return;
    prepare();
    releaseHeld();
    publish();
    writeWaiting(m_lastNowMs);
    announce();
}

void DiskWriter::releaseHeld()
{
    if (m_held.empty())
        return;
    ++m_changes;
    for (logging::FileWrite& w : m_held.queue)
        m_pending.add(std::move(w));
    m_held.queue.clear();
}

void DiskWriter::retry(qint64 nowMs)
{
    if (leftBehind())
        return;
    prepare();
    writeWaiting(nowMs);
    announce();
}

CloseResult DiskWriter::close(qint64 nowMs)
{
    CloseResult result;
    if (leftBehind())
        return result;
    releaseHeld();
    if (m_pending.empty())
        return result;
    prepare();
    writeWaiting(nowMs);
    if (m_pending.empty())
        return result;
    result.allWritten = false;
    result.warnings = m_warnings;
    bool stopped = false;
    result.keptIn = keepInSpool(&result.spoolError, &stopped);
    if (result.keptIn) {
        if (const QString note = logging::spoolPlaceNote(*result.keptIn); !note.isEmpty())
            result.warnings << note;
    }
    return result;
}

void DiskWriter::writeWaiting(qint64 nowMs)
{
    const std::size_t before = m_pending.records();
    const std::size_t writesBefore = m_pending.queue.size();
    m_warnings = logging::failureWarnings(logging::writePending(
        m_pending, [this] { return leftBehind(); }, m_outbox->holding));
    if (m_pending.records() != before || m_pending.queue.size() != writesBefore)
        ++m_changes;
    publish();
    keepSpoolInStep(before, nowMs);
}

// Before and after each round of writes: what a close that cannot wait would keep. The sizes
// are taken here, on the disk thread, before the writes they belong to.
void DiskWriter::publish()
{
    // The held records stand behind what waits, as they will be written.
    logging::PendingWrites all = m_pending;
    for (const logging::FileWrite& w : m_held.queue)
        all.add(w);
    std::deque<logging::FileWrite> copy = std::move(all.queue);
    logging::noteSizesBefore(copy);
    const std::lock_guard lock(m_outbox->mutex);
    m_outbox->waiting = std::move(copy);
    m_outbox->takenUpTo = m_takenUpTo;
}

// What waits, saved in the spool unless the close has left this writer behind (stopped).
std::optional<QString> DiskWriter::keepInSpool(QString* error, bool* stopped)
{
    // The sizes are looked up before the spool's lock is taken: the application directory may
    // hang, and the close must still get the lock to keep its snapshot.
    logging::PendingWrites kept = m_pending;
    logging::noteSizesBefore(kept.queue);
    const std::lock_guard lock(m_outbox->spoolMutex);
    *stopped = leftBehind();
    if (*stopped)
        return std::nullopt;
    return logging::saveSpool(m_app, kept, m_spoolFiles, error);
}

// The spool mirrors what waits, so a killed program loses little: it is rewritten whenever a
// waiting record reached its file (a stale spool would write it twice at the next start), at
// most once a minute while records only pile up behind a full disk, and removed when nothing
// waits.
void DiskWriter::keepSpoolInStep(std::size_t recordsBefore, qint64 nowMs)
{
    if (leftBehind())
        return;
    if (m_pending.empty()) {
        if (!m_spoolFile.isEmpty()) {
            const std::lock_guard lock(m_outbox->spoolMutex);
            if (leftBehind())
                return;
            m_placeNote = logging::removeSpool(m_spoolFiles);
        }
        m_spoolFile.clear();
        return;
    }
    const bool wroteSome = m_pending.records() < recordsBefore;
    const bool unchanged = m_changes == m_spooledChanges;
    const bool cheap = m_pending.bytes() < 1024 * 1024;
    const bool due = !m_spoolSavedAt || nowMs - *m_spoolSavedAt >= 60000;
    if (!m_spoolFile.isEmpty() && !wroteSome && (unchanged || (!cheap && !due)))
        return;
    QString error;
    bool stopped = false;
    const std::optional<QString> file = keepInSpool(&error, &stopped);
    if (stopped)
        return;
    if (file) {
        m_spoolFile = *file;
        m_placeNote = logging::spoolStatusNote(*file);
        m_spoolSavedAt = nowMs;
        m_spooledChanges = m_changes;
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
                   notices.join(QLatin1Char('\n')), m_spoolFile, m_pending.records(),
                   m_pending.queue.size(), m_held.records(), m_takenUpTo});
}

} // namespace station
