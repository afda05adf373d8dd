#pragma once

#include "core/appdir.h"
#include "logging/logfiles.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace station {

// What the waiting writes look like after the writer's latest step, for the status line.
struct WriteState
{
    QStringList warnings;    // one line per file that writes wait for
    QString templateWarning; // from the latest record
    QString droppedWarning;  // empty while none were dropped
    QString spoolNotice;     // what the last run's spool gave, or why one cannot be kept
    QString spoolFile;       // where the waiting writes are kept; empty when none are
    std::size_t records = 0; // records still waiting
    std::size_t writes = 0;  // writes still waiting, records and replaced files alike
    std::size_t held = 0;    // records held in memory on purpose (storage.cfg), not yet written
    quint64 takenUpTo = 0;   // the last request handed over that the writer has taken in
};

// What the close steps could not write: nothing when every write reached its file.
struct CloseResult
{
    bool allWritten = true;
    std::optional<QString> keptIn; // the spool that keeps them for the next start
    QString spoolError;            // why no spool took them
    QStringList warnings;          // the files that failed, as the status line words them
    // The disk did not answer before the close's deadline: what waited was kept from a
    // snapshot, and the disk thread is left behind.
    bool diskSilent = false;
};

// What the disk thread holds as of its latest step, for a close that cannot wait for it: read
// from another thread under its lock. Each append carries the size its file had before it, so
// a replay skips what reached the file after the snapshot was taken. It also holds what such a
// close needs to keep the spool without looking at the application directory: where the spool
// may go and the page's template, as the disk thread found them.
struct Outbox
{
    std::mutex mutex;
    std::deque<logging::FileWrite> waiting;
    quint64 takenUpTo = 0; // the last request whose writes are in `waiting` or written
    // The close kept a snapshot and left the disk thread behind. Set with the snapshot taken,
    // under the lock; the writer asks under the lock before it takes in or writes anything,
    // and from then on writes nothing more and leaves the spool to the close.
    bool leftBehind = false;
    QStringList spoolFiles; // the spool's candidates; empty until the disk thread has them
    logging::PageTemplate pageTemplate;
    // Held while the spool is saved or removed, by the writer or by the close, so the writer's
    // last save never lands over the snapshot's.
    std::mutex spoolMutex;
    // Whether records may be held in memory (storage.cfg), for the views that ask from threads
    // of their own: without it they read at once.
    std::atomic<bool> holding = false;
};

// The disk side of the logging tick. It lives on the station's disk thread: every append, sync,
// replaced file and spool save happens there, in the order the ticks hand them over, so a slow
// or dying disk never holds up the window. Times are the monotonic clock's milliseconds, taken
// on the station's thread and handed in.
class DiskWriter : public QObject
{
    Q_OBJECT
public:
    DiskWriter(const core::AppDir& app, std::shared_ptr<Outbox> outbox);

    // Each request carries the number the station gave it, counted from 1, in the order handed.
    // Records kept by the last run go to their files before any new one.
    void restore(quint64 request, qint64 nowMs);
    // One record's writes, and status.json when statusJson is given; then everything waiting.
    // With hold the record's writes are held in memory instead, behind the records held before
    // (its page and status.json in place of the held ones): the disk sees them once a period.
    // Without it what is held goes first, so no file's records are ever reordered. Without
    // syncPage the page and status.json are written over in place without syncs.
    void record(quint64 request, const logging::RecordInputs& in,
                const std::optional<QByteArray>& statusJson, qint64 nowMs, bool hold = false,
                bool syncPage = true);
    // The held records go to their files now, each file's in one write with one sync, and the
    // page held with them.
    void writeHeld();
    void retry(qint64 nowMs);
    // Any other append or replaced file of the plant (the energy ledger, the alarm log, the power
    // curve), behind what already waits, kept and spooled as the records are. The held records
    // go first: the ledger's hour and a raised alarm are moments to have them on the disk.
    void write(quint64 request, const std::vector<logging::FileWrite>& writes, qint64 nowMs);
    // Everything still waiting, held records too, is written, or else kept in the spool.
    CloseResult close(qint64 nowMs);

signals:
    void stateChanged(const station::WriteState& state);

private:
    // The spool's candidates and the page's template, found once, on the disk thread.
    void prepare();
    // Whether the close has left this writer behind (see Outbox::leftBehind).
    bool leftBehind() const;
    // The held records join what waits to be written, behind it.
    void releaseHeld();
    void writeWaiting(qint64 nowMs);
    void keepSpoolInStep(std::size_t recordsBefore, qint64 nowMs);
    std::optional<QString> keepInSpool(QString* error, bool* stopped);
    void announce();
    void publish();

    core::AppDir m_app;
    std::shared_ptr<Outbox> m_outbox;
    bool m_prepared = false;
    QStringList m_spoolFiles;
    logging::PageTemplate m_template;
    quint64 m_takenUpTo = 0;
    logging::PendingWrites m_pending;
    // Records held in memory on purpose, with the latest page and status.json; not spooled while
    // the program runs (a kill loses them, as storage.cfg says), but kept by the close and by its
    // snapshot as waiting writes are.
    logging::PendingWrites m_held;
    qint64 m_lastNowMs = 0; // the latest time handed in, for a request that brings none
    QStringList m_warnings;
    QString m_templateWarning;
    QString m_spoolFile;
    QString m_spoolNotice;
    // Where the spool is when that needs saying (a RAM disk), or why it cannot be removed.
    QString m_placeNote;
    std::optional<qint64> m_spoolSavedAt;
    // Counts every change to what waits; the spool is in step when it was saved at the count.
    quint64 m_changes = 0;
    quint64 m_spooledChanges = 0;
};

} // namespace station
