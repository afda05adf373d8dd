#pragma once

#include "publish/messages.h"

#include <QByteArray>
#include <QDate>

namespace publish {

// "<base>/<name>/energy_hour", beside the record topic of the same plant.
QByteArray energyHourTopic(const Topics& topics);

// One clock hour's energy by its local date and hour and the offset from UTC in force then (in
// ISO 8601's form, "+01:00"; the hour repeated when the clocks go back comes twice, once at
// each offset): {"date":"2024-03-07","hour":14,"offset":"+01:00","wh":123.45}, a point as the
// separator whatever the locale, 15 significant digits, a value that is not finite 0.
QByteArray energyHourMessage(QDate date, int hour, int utcOffsetSeconds, double wattHours);

// "+01:00", "-03:30", "+00:00": an offset in seconds east of UTC, in whole minutes.
QByteArray isoOffsetText(int utcOffsetSeconds);

} // namespace publish
