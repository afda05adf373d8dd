#include "core/frame.h"

#include "core/numbers.h"
#include "core/tags.h"

namespace core {
namespace {

QString pulseText(QStringView frame, QStringView key)
{
    const auto text = tagValue(frame, key);
    if (!text)
        return QString();
    return isNumeric(*text) ? *text : QStringLiteral("0");
}

} // namespace

RawValues decodeFrame(QStringView frame)
{
    RawValues raw;
    raw.v = tagNumber(frame, u"V");
    raw.i = tagNumber(frame, u"I");
    raw.r = tagNumber(frame, u"R");
    if (const auto m = tagValue(frame, u"M")) {
        if (const auto value = numericValue(*m))
            raw.mode = toInt16(*value);
    }
    raw.s = tagNumber(frame, u"S");
    return raw;
}

RawReadings readRawValues(QStringView frame)
{
    const RawValues values = decodeFrame(frame);
    return RawReadings{values.v, values.i, pulseText(frame, u"R"), pulseText(frame, u"S")};
}

double pulseNumber(const QString& text)
{
    return numericValue(text).value_or(0.0);
}

} // namespace core
