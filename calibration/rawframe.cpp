#include "rawframe.h"

#include "numbers.h"
#include "tags.h"

namespace calibration {
namespace {

double rawNumber(QStringView frame, QStringView key)
{
    const auto text = core::tagValue(frame, key);
    return text ? core::numericValue(*text).value_or(0.0) : 0.0;
}

QString pulseText(QStringView frame, QStringView key)
{
    const auto text = core::tagValue(frame, key);
    if (!text)
        return QString();
    return core::isNumeric(*text) ? *text : QStringLiteral("0");
}

} // namespace

std::optional<QString> takeFrame(QString& buffer, QStringView received)
{
    buffer += received;
    if (buffer.contains(QLatin1Char('[')) && buffer.contains(QLatin1Char(']'))) {
        QString frame;
        frame.swap(buffer);
        return frame;
    }
    if (buffer.size() > kReceiveBufferLimit)
        buffer.remove(0, buffer.size() - kReceiveBufferLimit);
    return std::nullopt;
}

RawReadings readRawValues(QStringView frame)
{
    RawReadings raw;
    raw.RawVolts = rawNumber(frame, u"V");
    raw.RawShunt = rawNumber(frame, u"I");
    raw.R = pulseText(frame, u"R");
    raw.S = pulseText(frame, u"S");
    return raw;
}

double pulseNumber(const QString& text)
{
    return core::numericValue(text).value_or(0.0);
}

} // namespace calibration
