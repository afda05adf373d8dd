#include "publish/energyhour.h"

#include "core/numbers.h"

#include <QLocale>
#include <algorithm>
#include <cstdlib>

namespace publish {

QByteArray energyHourTopic(const Topics& topics)
{
    QByteArray topic = topics.record;
    topic.chop(int(qstrlen("record")));
    return topic + "energy_hour";
}

QByteArray isoOffsetText(int utcOffsetSeconds)
{
    // Real zones lie within 14 hours of UTC; the clamp only keeps the text at its width.
    const int minutes = std::abs(std::clamp(utcOffsetSeconds, -86340, 86340)) / 60;
    return QByteArray(1, utcOffsetSeconds < 0 ? '-' : '+') +
           QByteArray::number(minutes / 60).rightJustified(2, '0') + ':' +
           QByteArray::number(minutes % 60).rightJustified(2, '0');
}

QByteArray energyHourMessage(QDate date, int hour, int utcOffsetSeconds, double wattHours)
{
    return "{\"date\":\"" + date.toString(Qt::ISODate).toLatin1() +
           "\",\"hour\":" + QByteArray::number(hour) + ",\"offset\":\"" +
           isoOffsetText(utcOffsetSeconds) + "\",\"wh\":" +
           core::plainNumberText(core::finiteOrZero(wattHours), QLocale::c()).toLatin1() + "}";
}

} // namespace publish
