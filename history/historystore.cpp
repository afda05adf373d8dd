#include "historystore.h"

#include "datetime.h"
#include "files.h"
#include "numbers.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTime>
#include <algorithm>
#include <charconv>
#include <cmath>

namespace history {
namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// A number of minDigits to maxDigits ASCII digits, blanks around allowed.
std::optional<int> smallNumber(std::string_view text, std::size_t minDigits, std::size_t maxDigits)
{
    text = trimBlanks(text);
    if (text.size() < minDigits || text.size() > maxDigits)
        return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (!isDigit(c))
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<int> smallNumber(const QString& text, std::size_t minDigits, std::size_t maxDigits)
{
    const QByteArray bytes = text.toUtf8();
    return smallNumber(std::string_view(bytes.constData(), std::size_t(bytes.size())), minDigits,
                       maxDigits);
}

// The text between the first "<K>" and the first "</K>" of the line, or nullopt when either is
// missing or the closing tag comes first.
std::optional<std::string_view> tagText(std::string_view line, char key)
{
    const char open[3] = {'<', key, '>'};
    const char close[4] = {'<', '/', key, '>'};
    const std::size_t p = line.find(std::string_view(open, 3));
    if (p == std::string_view::npos)
        return std::nullopt;
    const std::size_t q = line.find(std::string_view(close, 4));
    if (q == std::string_view::npos || q < p + 3)
        return std::nullopt;
    return line.substr(p + 3, q - p - 3);
}

// The value of a tag as the loader takes it: the number it reads as, else 0. The logger writes
// plain "-12.34" forms, read here directly; anything else goes through the program's own reader.
double tagNumber(std::string_view line, char key)
{
    const std::optional<std::string_view> text = tagText(line, key);
    if (!text)
        return 0.0;
    const std::string_view t = *text;
    std::size_t i = t.starts_with('-') ? 1 : 0;
    int digits = 0;
    bool point = false;
    bool plain = true;
    for (; i < t.size(); ++i) {
        if (isDigit(t[i])) {
            ++digits;
        } else if (t[i] == '.' && !point) {
            point = true;
        } else {
            plain = false;
            break;
        }
    }
    if (plain && digits > 0) {
        double value = 0;
        const auto res = std::from_chars(t.data(), t.data() + t.size(), value);
        if (res.ec == std::errc() && res.ptr == t.data() + t.size())
            return value;
    }
    const QString decoded = QString::fromLocal8Bit(t.data(), qsizetype(t.size()));
    return core::numericValue(decoded).value_or(0.0);
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

std::optional<int> minutesOfDay(std::string_view text)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const std::optional<int> hours = smallNumber(text.substr(0, colon), 1, 2);
    const std::optional<int> minutes = smallNumber(text.substr(colon + 1), 1, 2);
    if (!hours || !minutes || *hours > 23 || *minutes > 59)
        return std::nullopt;
    return *hours * 60 + *minutes;
}

std::optional<int> minutesOfDay(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return minutesOfDay(std::string_view(bytes.constData(), std::size_t(bytes.size())));
}

double dayTime(int minutes)
{
    return minutes / 1440.0;
}

QString timeText(double dayTime)
{
    const long minutes = std::clamp(std::lround(dayTime * 1440.0), 0L, 1439L);
    return core::hoursMinutes(QTime(int(minutes / 60), int(minutes % 60)));
}

bool isCalendarDate(const QString& day, const QString& month, const QString& year)
{
    const std::optional<int> d = smallNumber(day, 1, 2);
    const std::optional<int> m = smallNumber(month, 1, 2);
    const std::optional<int> y = smallNumber(year, 4, 4);
    return d && m && y && QDate::isValid(*y, *m, *d);
}

DayRecords parseDayLog(QByteArrayView content, double start, double finish)
{
    DayRecords out;
    out.records.reserve(std::size_t(std::min<qsizetype>(kMaxRecords, content.size() / 30 + 1)));
    const std::string_view all(content.data(), std::size_t(content.size()));
    std::size_t from = 0;
    while (true) {
        const std::size_t end = all.find("\r\n", from);
        const std::string_view line =
            all.substr(from, end == std::string_view::npos ? std::string_view::npos : end - from);

        if (const std::optional<std::string_view> t = tagText(line, 'T')) {
            if (const std::optional<int> minutes = minutesOfDay(*t)) {
                const double time = dayTime(*minutes);
                if (start < time && time < finish) {
                    if (out.records.size() >= std::size_t(kMaxRecords)) {
                        out.overLimit = true;
                        return out;
                    }
                    LoadedRecord r;
                    r.time = time;
                    for (const core::Quantity q : core::kLogged)
                        r.values[q] = tagNumber(line, core::facts(q).logTag);
                    r.mode = core::toInt16(tagNumber(line, 'M'));
                    out.records.push_back(r);
                }
            }
        }
        if (end == std::string_view::npos)
            break;
        from = end + 2;
    }
    return out;
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
