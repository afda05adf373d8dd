#pragma once

#include "web/apidata.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUrlQuery>
#include <optional>

// The pieces the API's JSON answers are made of.
namespace web {

// A number as the answers give it: rounded to 6 decimals, and 0 for one that is not finite.
double round6(double v);

// The number rounded as above, or null when it is not known.
QJsonValue numberOrNull(const std::optional<double>& v);
QJsonValue numberOrNull(bool known, double v);

// 200 with the object as compact JSON.
ApiAnswer json(const QJsonObject& object);

// 400 with the reason as one line of text.
ApiAnswer bad(const QString& why);

// A whole number from the query: the fallback when the key is missing, none when it is not a
// number from low to high.
std::optional<int> whole(const QUrlQuery& query, const QString& key, int fallback, int low,
                         int high);

} // namespace web
