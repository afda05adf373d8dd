#include "web/summarymemo.h"

#include "web/apidata.h"

#include <QMutexLocker>
#include <algorithm>

namespace web {
namespace {

bool going(JobControl* control)
{
    return !control || control->step();
}

} // namespace

SummaryMemo::SummaryMemo(int maxDays)
    : m_maxDays(std::max(1, maxDays))
{}

int SummaryMemo::size() const
{
    const QMutexLocker lock(&m_mutex);
    return int(m_days.size());
}

SummaryMemo::Summaries SummaryMemo::summaries(const season::SummarySource& source, QDate from,
                                              QDate to, JobControl* control)
{
    if (!from.isValid() || !to.isValid() || to < from)
        return {};
    const auto count = std::size_t(from.daysTo(to) + 1);
    // Stamped before anything is read: a file that changes meanwhile differs from its stamp next
    // time and is read again then.
    std::vector<std::optional<season::SourceStamp>> stamps(count);
    Summaries found(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (!going(control))
            return found;
        stamps[i] = season::dayFileStamp(source.app, from.addDays(qint64(i)));
    }
    {
        const QMutexLocker lock(&m_mutex);
        const quint64 now = ++m_requests;
        for (std::size_t i = 0; i < count; ++i) {
            const QDate day = from.addDays(qint64(i));
            if (!stamps[i] || day == source.today)
                continue;
            const auto kept = m_days.find(day.toJulianDay());
            if (kept != m_days.end() && kept->stamp == *stamps[i]) {
                kept->used = now;
                found[i] = kept->summary;
            }
        }
    }
    readMissing(source, from, stamps, found, control);
    return found;
}

// Each stretch of days not kept within a month is one season::runSummaries: a pack read a
// month, as the Season window reads them.
void SummaryMemo::readMissing(const season::SummarySource& source, QDate from,
                              const std::vector<std::optional<season::SourceStamp>>& stamps,
                              Summaries& found, JobControl* control)
{
    std::vector<std::size_t> fresh;
    for (std::size_t i = 0; i < found.size();) {
        if (!stamps[i] || found[i]) {
            ++i;
            continue;
        }
        if (!going(control))
            break;
        const int month = from.addDays(qint64(i)).month();
        std::size_t end = i + 1;
        while (end < found.size() && !found[end] && from.addDays(qint64(end)).month() == month)
            ++end;
        auto part =
            season::runSummaries(source, from.addDays(qint64(i)), from.addDays(qint64(end - 1)));
        for (std::size_t k = 0; k < part.size(); ++k) {
            if (!part[k])
                continue;
            found[i + k] = std::make_shared<const season::DaySummary>(std::move(*part[k]));
            if (stamps[i + k] && from.addDays(qint64(i + k)) != source.today)
                fresh.push_back(i + k);
        }
        i = end;
    }
    if (fresh.empty())
        return;
    const QMutexLocker lock(&m_mutex);
    for (const std::size_t i : fresh)
        m_days.insert(from.addDays(qint64(i)).toJulianDay(), {*stamps[i], found[i], m_requests});
    trim();
}

void SummaryMemo::trim()
{
    if (m_days.size() <= m_maxDays)
        return;
    std::vector<std::pair<quint64, qint64>> ages;
    ages.reserve(std::size_t(m_days.size()));
    for (auto it = m_days.cbegin(); it != m_days.cend(); ++it)
        ages.emplace_back(it->used, it.key());
    std::sort(ages.begin(), ages.end());
    const auto excess = std::size_t(m_days.size() - m_maxDays);
    for (std::size_t i = 0; i < excess; ++i)
        m_days.remove(ages[i].second);
}

} // namespace web
