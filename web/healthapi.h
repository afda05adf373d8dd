#pragma once

#include "web/apidata.h"

#include <QUrlQuery>

namespace web {

// /api/health: the turbine's health as the desktop's Reference view shows it: the measured bins
// with the reference's watts beside them (when refcurve.cfg is set), the shortfall over 7 and
// 30 days in kWh and per cent, the minutes left out at full battery, the winds' normalisation
// and the Power curve low alarm's state, each with the view's own words.
ApiAnswer healthAnswer(const ApiContext& context);

// /api/battery?year=Y&month=M: the battery's days of the month up to today, as the desktop's
// Battery view reads them (lowest and highest volts and when, charge Ah and Wh, load hours,
// full or not), and the days since the battery was last full with the view's summary line:
// both of the last recentDays days up to today, whatever the month.
ApiAnswer batteryAnswer(const QUrlQuery& query, const ApiContext& context);

} // namespace web
