#include "web/apijson.h"

#include <QJsonDocument>
#include <cmath>

namespace web {

double round6(double v)
{
    return std::isfinite(v) ? std::round(v * 1e6) / 1e6 : 0.0;
}

QJsonValue numberOrNull(const std::optional<double>& v)
{
    return v ? QJsonValue(round6(*v)) : QJsonValue();
}

QJsonValue numberOrNull(bool known, double v)
{
    return known ? QJsonValue(round6(v)) : QJsonValue();
}

ApiAnswer json(const QJsonObject& object)
{
    return {200, QJsonDocument(object).toJson(QJsonDocument::Compact)};
}

ApiAnswer bad(const QString& why)
{
    return {400, why.toUtf8() + '\n'};
}

std::optional<int> whole(const QUrlQuery& query, const QString& key, int fallback, int low,
                         int high)
{
    if (!query.hasQueryItem(key))
        return fallback;
    bool ok = false;
    const int value = query.queryItemValue(key).toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

} // namespace web
