#include "core/datetime.h"

#include <QRegularExpression>

namespace core {

QString datePart(QDate date)
{
    return QStringLiteral("%1_%2_%3").arg(date.year()).arg(date.month()).arg(date.day());
}

QString hoursMinutes(QTime time)
{
    return time.toString(QStringLiteral("HH:mm"));
}

QString longTimeText(QTime time, const QLocale& locale)
{
    QString format = locale.timeFormat(QLocale::LongFormat);
    static const QRegularExpression zone(QStringLiteral("\\s*t+\\s*"));
    format.replace(zone, QStringLiteral(" "));
    return locale.toString(time, format.trimmed());
}

QString shortDateText(QDate date, const QLocale& locale)
{
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (format.contains(QLatin1String("MMM")))
        format = QStringLiteral("M/d/yyyy");
    else if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return locale.toString(date, format);
}

QDateTime hourStart(const QDateTime& at)
{
    const QTime time = at.time();
    return at.addMSecs(-((qint64(time.minute()) * 60 + time.second()) * 1000 + time.msec()));
}

} // namespace core
