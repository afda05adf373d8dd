#pragma once

#include "publish/messages.h"

#include <QByteArray>
#include <QDate>

namespace publish {

// "<base>/<name>/energy_hour", beside the record topic of the same plant.
QByteArray energyHourTopic(const Topics& topics);

// One clock hour's energy: {"date":"2024-03-07","hour":14,"wh":123.45}, a point as the
// separator whatever the locale, 15 significant digits, a value that is not finite 0.
QByteArray energyHourMessage(QDate date, int hour, double wattHours);

} // namespace publish
