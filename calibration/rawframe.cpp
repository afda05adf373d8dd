#include "calibration/rawframe.h"

#include "core/numbers.h"
#include "core/tags.h"

namespace calibration {
namespace {

QString pulseText(QStringView frame, QStringView key)
{
    const auto text = core::tagValue(frame, key);
    if (!text)
        return QString();
    return core::isNumeric(*text) ? *text : QStringLiteral("0");
}

} // namespace

RawReadings readRawValues(QStringView frame)
{
    RawReadings raw;
    raw.RawVolts = core::tagNumber(frame, u"V");
    raw.RawShunt = core::tagNumber(frame, u"I");
    raw.R = pulseText(frame, u"R");
    raw.S = pulseText(frame, u"S");
    return raw;
}

double pulseNumber(const QString& text)
{
    return core::numericValue(text).value_or(0.0);
}

} // namespace calibration
