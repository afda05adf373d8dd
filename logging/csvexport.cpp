#include "logging/csvexport.h"

#include "core/numbers.h"

#include <QIODevice>
#include <QLocale>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace logging {
namespace {

// The column names of the logged quantities, for a spreadsheet or a database.
constexpr core::PerQuantity<const char*> kColumnNames{
    {"volts", "amps", "watts", "", "rpm", "wind_speed"}};

QString field(const QString& text)
{
    static const QString special = QStringLiteral(",\"\r\n");
    const bool quote =
        std::any_of(text.begin(), text.end(), [](QChar c) { return special.contains(c); });
    if (!quote)
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString timeField(double dayTime)
{
    const double minutes =
        std::clamp(std::round(core::finiteOrZero(dayTime) * 24 * 60), 0.0, 24.0 * 60 - 1);
    const int m = int(minutes);
    return QStringLiteral("%1:%2")
        .arg(m / 60, 2, 10, QLatin1Char('0'))
        .arg(m % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

QString csvFileName(QDate date)
{
    return date.toString(Qt::ISODate) + QStringLiteral(".csv");
}

bool writeCsv(QIODevice& out, QDate date, const QString& wsUnits,
              std::span<const CsvRecord> records)
{
    // The C locale writes a point and no group separators, whatever the user's setting.
    const QLocale c = QLocale::c();
    QStringList header{QStringLiteral("date"), QStringLiteral("time"), QStringLiteral("mode")};
    for (const core::Quantity q : core::kLogged)
        header << QString::fromLatin1(kColumnNames[q]);
    const QString unit = wsUnits.trimmed();
    if (!unit.isEmpty())
        header.last() += QStringLiteral(" (%1)").arg(unit);

    QString text;
    auto row = [&text](const QStringList& fields) {
        QStringList quoted;
        for (const QString& f : fields)
            quoted << field(f);
        text += quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    };
    row(header);
    const QString dateText = date.toString(Qt::ISODate);
    for (const CsvRecord& r : records) {
        QStringList fields{dateText, timeField(r.dayTime), QString::number(r.mode)};
        for (const core::Quantity q : core::kLogged)
            fields << core::plainNumberText(r.values[q], c);
        row(fields);
    }
    const QByteArray bytes = text.toUtf8();
    return out.write(bytes) == bytes.size();
}

} // namespace logging
