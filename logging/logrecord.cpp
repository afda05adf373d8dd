#include "logrecord.h"

#include "datetime.h"
#include "numbers.h"

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
    return "<V>" + number(p.volts, locale) + "</V><I>" + number(p.amps, locale) + "</I><W>" +
           number(p.watts, locale) + "</W><R>" + number(p.rpm, locale) + "</R><S>" +
           number(p.windSpeed, locale) + "</S><M>" + QByteArray::number(mode) + "</M><T>" +
           text(core::hoursMinutes(time)) + "</T>\r\n";
}

QByteArray historyLine(const IntervalPeaks& p, const QString& wsUnits, const QString& load,
                       const QString& longTime, const QLocale& locale)
{
    return number(p.volts, locale) + "V\t\t" + number(p.amps, locale) + "A\t\t" +
           number(p.watts, locale) + "W\t\t" + number(p.rpm, locale) + "RPM\t\t" +
           number(p.windSpeed, locale) + text(wsUnits) + "\t\t" + text(load) + "\t\t" +
           text(longTime) + "\r\n";
}

QByteArray webPage(const QByteArray& pageTemplate, const IntervalPeaks& p, double wattHourTotal,
                   const QString& longTime, const QString& load, const QLocale& locale)
{
    QByteArray page = pageTemplate;
    page.replace("<VV>", number(p.volts, locale));
    page.replace("<II>", number(p.amps, locale));
    page.replace("<WW>", number(p.watts, locale));
    page.replace("<WH>", number(wattHourTotal, locale));
    page.replace("<RR>", number(p.rpm, locale));
    page.replace("<SS>", number(p.windSpeed, locale));
    page.replace("<TT>", text(longTime));
    page.replace("<MM>", text(load));
    return page + "\r\n";
}

QByteArray spreadsheetHeader(const QString& wsUnits)
{
    return "<html><body><table><tr><td><b>Volts</b></td><td><b>Amps</b></td><td><b>Watts</b>"
           "</td><td><b>RPM</b></td><td><b>" +
           text(wsUnits) + "</b></td><td><b>Mode</b></td><td><b>Time</b></td></tr>\r\n\r\n";
}

QByteArray spreadsheetRow(const IntervalPeaks& p, const QString& load, const QString& longTime,
                          const QLocale& locale)
{
    return "<tr><td>" + number(p.volts, locale) + "</td><td>" + number(p.amps, locale) +
           "</td><td>" + number(p.watts, locale) + "</td><td>" + number(p.rpm, locale) +
           "</td><td>" + number(p.windSpeed, locale) + "</td><td>" + text(load) + "</td><td>" +
           text(longTime) + "</td></tr>\r\n\r\n";
}

} // namespace logging
