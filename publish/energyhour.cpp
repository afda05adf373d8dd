#include "publish/energyhour.h"

#include "core/numbers.h"

#include <QLocale>

namespace publish {

QByteArray energyHourTopic(const Topics& topics)
{
    QByteArray topic = topics.record;
    topic.chop(int(qstrlen("record")));
    return topic + "energy_hour";
}

QByteArray energyHourMessage(QDate date, int hour, double wattHours)
{
    return "{\"date\":\"" + date.toString(Qt::ISODate).toLatin1() +
           "\",\"hour\":" + QByteArray::number(hour) + ",\"wh\":" +
           core::plainNumberText(core::finiteOrZero(wattHours), QLocale::c()).toLatin1() + "}";
}

} // namespace publish
