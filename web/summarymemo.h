#pragma once

#include "season/summarycache.h"

#include <QHash>
#include <QMutex>
#include <memory>

namespace web {

struct JobControl;

// The day summaries /api/days has read, kept in memory between requests: a page that asks for a
// year again would otherwise read and check a year of month packs each time. A kept day is used
// only while its file has the stamp it was read at (the packs' own check), and today's is never
// kept, as in the packs.
class SummaryMemo
{
public:
    // A year's run and some, at about 12 KB a day.
    static constexpr int kDefaultDays = 400;

    // maxDays: the most days kept; the ones the longest unasked go first.
    explicit SummaryMemo(int maxDays = kDefaultDays);

    using Summaries = std::vector<std::shared_ptr<const season::DaySummary>>;

    // The summaries of every day from `from` to `to`, as season::runSummaries gives them (null:
    // no day file): the kept ones whose files are unchanged, the others through the packs (and
    // kept). Shared, not copied: a year is megabytes. Safe to call from several threads; it
    // blocks while packs are read, so never on the plant's thread. With a control, each day's
    // look at its file and each month's read is a step, and a job told to stop ends early with
    // what it has (the rest null).
    Summaries summaries(const season::SummarySource& source, QDate from, QDate to,
                        JobControl* control = nullptr);

    // How many days are kept.
    int size() const;

private:
    struct Entry
    {
        season::SourceStamp stamp;
        std::shared_ptr<const season::DaySummary> summary;
        quint64 used = 0;
    };
    void readMissing(const season::SummarySource& source, QDate from,
                     const std::vector<std::optional<season::SourceStamp>>& stamps,
                     Summaries& found, JobControl* control);
    void trim();

    mutable QMutex m_mutex;
    QHash<qint64, Entry> m_days; // by Julian day
    quint64 m_requests = 0;
    int m_maxDays;
};

} // namespace web
