#include "core/tags.h"

#include "core/numbers.h"

namespace core {

QStringView firstLine(QStringView text)
{
    const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
    QStringView first = lineEnd < 0 ? QStringView() : text.left(lineEnd);
    if (first.endsWith(QLatin1Char('\r')))
        first.chop(1);
    return first;
}

std::optional<QString> tagValue(QStringView text, QStringView key)
{
    const QString open = QLatin1String("<") + key.toString() + QLatin1String(">");
    const QString close = QLatin1String("</") + key.toString() + QLatin1String(">");
    const qsizetype p = text.indexOf(open);
    const qsizetype q = text.indexOf(close);
    if (p < 0 || q < 0 || q < p + open.size())
        return std::nullopt;
    const qsizetype start = p + open.size();
    return text.mid(start, q - start).toString();
}

double tagNumber(QStringView text, QStringView key)
{
    const auto value = tagValue(text, key);
    return value ? numericValue(*value).value_or(0.0) : 0.0;
}

} // namespace core
