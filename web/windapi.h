#pragma once

#include "web/apidata.h"

#include <QByteArray>
#include <QDate>
#include <QUrlQuery>

namespace web {

// /api/wind?months=12|YYYY-MM: the site's wind over the last 12 months (the default) or one month.
// unit, binWidth, months, first and last (YYYY-MM), minutes, histogram [{wind, minutes, share,
// fitted}] (fitted: the minutes the fit gives the bin), fit {k, c, mean, minutes} or null with
// fitNotice; energy: the site's yearly energy over the last 12 months whatever the query, with the
// months it rests on (measuredKWh, referenceKWh, incomplete, and rayleighKWh: the yearly table's
// figure at the fitted mean, when the unit is m/s), or null with its notice; turbulence [{wind,
// count, intensity, spread}]; rotor {diameter, notice, betzLimit, bins [{wind, minutes, rpm, tsr,
// cp}]}; units. A query it cannot take is a 400.
ApiAnswer windAnswer(const QUrlQuery& query, const ApiContext& context);

// The figures of the site's wind for /metrics, after metricsText's: the Weibull shape, its scale
// and mean in metres per second (when the unit is one), and the site's yearly energy from the
// measured and the reference curve. Nothing while there is no fit.
QByteArray windMetricsText(const CurveFacts& curve, const QDate& today);

} // namespace web
