#include "logging/logrecord.h"

#include "core/datetime.h"
#include "core/numbers.h"

namespace logging {
namespace {

QByteArray text(const QString& s)
{
    return s.toLatin1();
}

QByteArray number(double value, const QLocale& locale)
{
    return core::numberText(value, locale).toLatin1();
}

} // namespace

QString loadText(std::int16_t mode)
{
    return mode == 1 ? QStringLiteral("Load On") : QString();
}

QByteArray logRecordLine(const IntervalPeaks& p, std::int16_t mode, QTime time,
                         const QLocale& locale)
{
    QByteArray line;
    for (const core::Quantity q : core::kLogged) {
        const char tag = core::facts(q).logTag;
        line += '<' + QByteArray(1, tag) + '>' + number(p[q], locale) + "</" + tag + '>';
    }
    return line + "<M>" + QByteArray::number(mode) + "</M><T>" + text(core::hoursMinutes(time)) +
           "</T>\r\n";
}

QByteArray historyLine(const IntervalPeaks& p, const QString& wsUnits, const QString& load,
                       const QString& longTime, const QLocale& locale)
{
    QByteArray line;
    for (const core::Quantity q : core::kLogged)
        line +=
            number(p[q], locale) + text(core::unitText(core::facts(q).shortUnit, wsUnits)) + "\t\t";
    return line + text(load) + "\t\t" + text(longTime) + "\r\n";
}

QByteArray webPage(const QByteArray& pageTemplate, const IntervalPeaks& p, double wattHourTotal,
                   const QString& longTime, const QString& load, const QLocale& locale)
{
    core::QuantityValues values = p.peak;
    values[core::kWattHours] = wattHourTotal;
    QByteArray page = pageTemplate;
    for (const core::Quantity q : core::kAllQuantities)
        page.replace(core::facts(q).pagePlaceholder, number(values[q], locale));
    page.replace("<TT>", text(longTime));
    page.replace("<MM>", text(load));
    return page + "\r\n";
}

QByteArray spreadsheetHeader(const QString& wsUnits)
{
    QByteArray row = "<html><body><table><tr>";
    for (const core::Quantity q : core::kLogged)
        row += "<td><b>" + text(core::unitText(core::facts(q).longUnit, wsUnits)) + "</b></td>";
    return row + "<td><b>Mode</b></td><td><b>Time</b></td></tr>\r\n\r\n";
}

QByteArray spreadsheetRow(const IntervalPeaks& p, const QString& load, const QString& longTime,
                          const QLocale& locale)
{
    QByteArray row = "<tr>";
    for (const core::Quantity q : core::kLogged)
        row += "<td>" + number(p[q], locale) + "</td>";
    return row + "<td>" + text(load) + "</td><td>" + text(longTime) + "</td></tr>\r\n\r\n";
}

} // namespace logging
