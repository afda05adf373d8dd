#include "season/seasonview.h"

#include "core/files.h"
#include "core/keyedsettings.h"
#include "core/tags.h"

#include <QDate>
#include <QRegularExpression>

namespace season {
namespace {

QString viewCfgPath(const core::AppDir& app)
{
    return app.path(QStringLiteral("view.cfg"));
}

// A whole number of at most five digits, blanks around allowed; nullopt otherwise.
std::optional<int> smallNumber(const QString& text, const char* key)
{
    const std::optional<QString> value = core::tagValue(text, QString::fromLatin1(key));
    if (!value)
        return std::nullopt;
    static const QRegularExpression digits(QStringLiteral("^\\s*(\\d{1,5})\\s*$"));
    const QRegularExpressionMatch m = digits.match(*value);
    if (!m.hasMatch())
        return std::nullopt;
    return m.captured(1).toInt();
}

bool validDays(const QString& days)
{
    if (days == QLatin1String("7") || days == QLatin1String("30") || days == QLatin1String("year"))
        return true;
    const QStringList ends = days.split(QStringLiteral(".."));
    if (ends.size() != 2)
        return false;
    const QDate from = QDate::fromString(ends[0], Qt::ISODate);
    const QDate to = QDate::fromString(ends[1], Qt::ISODate);
    return from.isValid() && to.isValid() && from <= to && from.daysTo(to) < 366;
}

} // namespace

SeasonView seasonViewFrom(const QByteArray& bytes)
{
    SeasonView v;
    const QString text = QString::fromLatin1(bytes);
    if (const auto tab = smallNumber(text, "SeasonTab"); tab && *tab <= 9)
        v.tab = *tab;
    if (const auto span = smallNumber(text, "SeasonEnergy"); span && *span <= 2)
        v.energySpan = *span;
    if (const auto days = core::tagValue(text, QStringLiteral("SeasonDays"));
        days && validDays(days->trimmed()))
        v.days = days->trimmed();
    if (const auto series = core::tagValue(text, QStringLiteral("SeasonSeries"))) {
        static const QRegularExpression flags(QStringLiteral("^[01]{5}$"));
        const QString s = series->trimmed();
        if (flags.match(s).hasMatch()) {
            for (std::size_t k = 0; k < kSeries; ++k)
                v.series[k] = s[qsizetype(k)] == QLatin1Char('1');
        }
    }
    if (const auto robust = smallNumber(text, "SeasonRobust"); robust && *robust <= 1)
        v.robust = *robust == 1;
    const auto width = smallNumber(text, "SeasonWidth");
    const auto height = smallNumber(text, "SeasonHeight");
    if (width && height && *width >= 200 && *height >= 150 && *width <= 10000 && *height <= 10000)
        v.size = QSize(*width, *height);
    return v;
}

SeasonView readSeasonView(const core::AppDir& app)
{
    return seasonViewFrom(core::readWholeFile(viewCfgPath(app)).value_or(QByteArray()));
}

bool writeSeasonView(const core::AppDir& app, const SeasonView& v)
{
    QString series;
    for (const bool on : v.series)
        series += on ? QLatin1Char('1') : QLatin1Char('0');
    return core::writeKeys(
        viewCfgPath(app), QStringLiteral("View Settings"),
        {{QStringLiteral("SeasonTab"), QString::number(v.tab)},
         {QStringLiteral("SeasonEnergy"), QString::number(v.energySpan)},
         {QStringLiteral("SeasonDays"), v.days},
         {QStringLiteral("SeasonSeries"), series},
         {QStringLiteral("SeasonRobust"), v.robust ? QStringLiteral("1") : QStringLiteral("0")},
         {QStringLiteral("SeasonWidth"), QString::number(v.size.width())},
         {QStringLiteral("SeasonHeight"), QString::number(v.size.height())}});
}

} // namespace season
