#include "history/historystore.h"

#include "core/datetime.h"
#include "core/files.h"
#include "core/numbers.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTime>
#include <algorithm>
#include <cmath>

namespace history {
namespace {

std::optional<int> wholeNumber(const QString& text, std::size_t minDigits, std::size_t maxDigits)
{
    const QByteArray bytes = text.toUtf8();
    return history::wholeNumber(std::string_view(bytes.constData(), std::size_t(bytes.size())),
                                minDigits, maxDigits);
}

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

HistoryStore::HistoryStore()
    : Mode(kSlots, 0)
    , Time(kSlots, 0.0)
{
    for (const core::Quantity q : core::kLogged)
        Values[q].assign(kSlots, 0.0);
}

std::optional<int> minutesOfDay(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return minutesOfDay(std::string_view(bytes.constData(), std::size_t(bytes.size())));
}

QString timeText(double dayTime)
{
    const long minutes = std::clamp(std::lround(dayTime * 1440.0), 0L, 1439L);
    return core::hoursMinutes(QTime(int(minutes / 60), int(minutes % 60)));
}

bool isCalendarDate(const QString& day, const QString& month, const QString& year)
{
    const std::optional<int> d = wholeNumber(day, 1, 2);
    const std::optional<int> m = wholeNumber(month, 1, 2);
    const std::optional<int> y = wholeNumber(year, 4, 4);
    return d && m && y && QDate::isValid(*y, *m, *d);
}

QString dayFilePath(const core::AppDir& app, const QueryTexts& query)
{
    return app.logsDir() + query.year + QLatin1Char('_') + query.month + QLatin1Char('_') +
           query.day + QStringLiteral(".txt");
}

DisplayResult loadDay(HistoryStore& store, const core::AppDir& app, const QueryTexts& query)
{
    const std::optional<int> start =
        minutesOfDay(query.startHour + QLatin1Char(':') + query.startMinute);
    if (!start)
        return {DisplayOutcome::Rejected, kBadStartMessage};
    const std::optional<int> finish =
        minutesOfDay(query.finishHour + QLatin1Char(':') + query.finishMinute);
    if (!finish)
        return {DisplayOutcome::Rejected, kBadFinishMessage};
    if (!isCalendarDate(query.day, query.month, query.year))
        return {DisplayOutcome::Rejected, kBadDateMessage};

    // The program makes none of its folders; say so rather than fail on the file.
    if (!QFileInfo(app.logsDir()).isDir()) {
        return {
            DisplayOutcome::FileError,
            QStringLiteral("The logs folder %1 does not exist, so there is no day file to read.")
                .arg(native(app.logsDir()))};
    }
    const QString path = dayFilePath(app, query);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write("\r\n", 2) != 2 ||
            !file.flush()) {
            return {DisplayOutcome::FileError, QStringLiteral("Cannot write to the day file %1: %2")
                                                   .arg(native(path), file.errorString())};
        }
    }
    QString error;
    const std::optional<QByteArray> content = core::readWholeFile(path, &error);
    if (!content) {
        return {DisplayOutcome::FileError,
                QStringLiteral("Cannot read the day file %1: %2").arg(native(path), error)};
    }

    store.StartTime = dayTime(*start);
    store.FinishTime = dayTime(*finish);
    const DayRecords day = parseDayLog(*content, store.StartTime, store.FinishTime);
    if (day.overLimit)
        return {DisplayOutcome::OverLimit, kOverLimitMessage};

    store.Zoomed = 0;
    const int n = int(day.records.size());
    for (int k = 1; k <= n; ++k) {
        const LoadedRecord& r = day.records[std::size_t(k - 1)];
        store.Time[k] = r.time;
        for (const core::Quantity q : core::kLogged)
            store.Values[q][k] = r.values[q];
        store.Mode[k] = r.mode;
    }
    store.RecordCount = std::int16_t(n);
    if (n == 0)
        return {DisplayOutcome::NoData, kNoDataMessage};
    store.ViewStart = 1;
    store.ViewEnd = n;
    return {DisplayOutcome::Loaded, {}};
}

} // namespace history
