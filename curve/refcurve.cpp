#include "curve/refcurve.h"

#include "core/files.h"
#include "core/numbers.h"
#include "core/tags.h"
#include "core/windunits.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <cmath>

namespace curve {
namespace {

const QByteArray kTitle = "Reference Power Curve";

QString number(double v)
{
    return core::numberText(v, QLocale::c());
}

// The number as the file would write it again, so what is checked is what is kept.
std::optional<double> numberIn(const QString& line, const QString& key)
{
    const auto text = core::tagValue(line, key);
    const auto value = text ? core::numericValue(*text, QLocale::c()) : std::nullopt;
    if (!value || !std::isfinite(*value))
        return std::nullopt;
    return core::numericValue(number(*value), QLocale::c()).value_or(*value);
}

QDate dateOf(const QString& text)
{
    static const QRegularExpression kDate(QStringLiteral("^(\\d{4})_(\\d{1,2})_(\\d{1,2})$"));
    const QRegularExpressionMatch m = kDate.match(text);
    return m.hasMatch() ? QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt())
                        : QDate();
}

} // namespace

double RefCurve::wattsAt(double wind) const
{
    if (points.size() < 2 || wind < points.front().wind || wind > points.back().wind)
        return 0;
    for (std::size_t k = 1; k < points.size(); ++k) {
        const RefPoint& a = points[k - 1];
        const RefPoint& b = points[k];
        if (wind <= b.wind)
            return a.watts + (b.watts - a.watts) * (wind - a.wind) / (b.wind - a.wind);
    }
    return points.back().watts;
}

std::vector<Bin> RefCurve::asBins(double width) const
{
    std::vector<Bin> out;
    const double last = points.empty() ? 0 : points.back().wind;
    for (int k = 1; k * width <= last + 1e-9; ++k)
        out.push_back({k * width, kCompleteMinutes, wattsAt(k * width), 0});
    return out;
}

double RefCurve::cutIn() const
{
    for (const RefPoint& p : points) {
        if (p.watts > 0)
            return p.wind;
    }
    return 0;
}

std::optional<QString> pointsProblem(const std::vector<RefPoint>& points)
{
    if (points.size() < 3)
        return QStringLiteral("it has %1 points, fewer than 3").arg(points.size());
    if (points.size() > kMaxRefPoints)
        return QStringLiteral("it has %1 points, more than %2")
            .arg(points.size())
            .arg(kMaxRefPoints);
    bool someWatts = false;
    for (std::size_t k = 0; k < points.size(); ++k) {
        const RefPoint& p = points[k];
        if (!(p.wind >= 0 && p.wind <= kMaxBinCentre) || !(p.watts <= kMaxBinWatts))
            return QStringLiteral("point %1 (%2, %3 W) is beyond any turbine's")
                .arg(k + 1)
                .arg(number(p.wind), number(p.watts));
        if (!(p.watts >= 0))
            return QStringLiteral("point %1 has %2 W, below 0").arg(k + 1).arg(number(p.watts));
        if (k > 0 && !(p.wind > points[k - 1].wind))
            return QStringLiteral("the winds do not rise at point %1 (%2 after %3)")
                .arg(k + 1)
                .arg(number(p.wind), number(points[k - 1].wind));
        someWatts = someWatts || p.watts > 0;
    }
    if (!someWatts)
        return QStringLiteral("it promises no power at any wind");
    return std::nullopt;
}

QString refCurvePath(const core::AppDir& app)
{
    return app.path(QStringLiteral("refcurve.cfg"));
}

QByteArray refCurveBytes(const RefCurve& curve)
{
    QByteArray out = kTitle + "\r\n<Units>" + curve.units.toLatin1() + "</Units>\r\n";
    if (curve.frozenOn.isValid())
        out += "<Date>" + curve.frozenOn.toString(QStringLiteral("yyyy_M_d")).toLatin1() +
               "</Date>\r\n";
    for (const RefPoint& p : curve.points)
        out +=
            "<V>" + number(p.wind).toLatin1() + "</V><W>" + number(p.watts).toLatin1() + "</W>\r\n";
    return out;
}

std::optional<RefCurve> parseRefCurve(QByteArrayView bytes, QString* problem)
{
    const auto fail = [problem](const QString& why) {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    RefCurve out;
    bool titled = false;
    bool unitsSeen = false;
    int lineNo = 0;
    for (QByteArrayView raw : QByteArray(bytes.data(), bytes.size()).split('\n')) {
        ++lineNo;
        QByteArray line(raw.data(), raw.size());
        if (line.endsWith('\r'))
            line.chop(1);
        if (!titled) {
            if (line != kTitle)
                return fail(QStringLiteral("its first line is not \"Reference Power Curve\""));
            titled = true;
            continue;
        }
        if (line.trimmed().isEmpty())
            continue;
        const QString text = QString::fromLatin1(line);
        if (text.startsWith(QStringLiteral("<Units>"))) {
            const auto units = core::tagValue(text, QStringLiteral("Units"));
            if (!units || units->trimmed().isEmpty() || unitsSeen)
                return fail(QStringLiteral("line %1 names no unit, or a second one").arg(lineNo));
            out.units = units->trimmed();
            unitsSeen = true;
        } else if (text.startsWith(QStringLiteral("<Date>"))) {
            out.frozenOn = dateOf(core::tagValue(text, QStringLiteral("Date")).value_or(QString()));
            if (!out.frozenOn.isValid())
                return fail(QStringLiteral("line %1 names no date").arg(lineNo));
        } else if (text.startsWith(QStringLiteral("<V>"))) {
            const auto wind = numberIn(text, QStringLiteral("V"));
            const auto watts = numberIn(text, QStringLiteral("W"));
            if (!wind || !watts || !std::isfinite(*wind) || !std::isfinite(*watts))
                return fail(
                    QStringLiteral("line %1 is not a wind and watts in numbers").arg(lineNo));
            if (out.points.size() >= kMaxRefPoints)
                return fail(QStringLiteral("it has more than %1 points").arg(kMaxRefPoints));
            out.points.push_back({*wind, *watts});
        } else {
            return fail(QStringLiteral("line %1 is not a unit, a date or a point").arg(lineNo));
        }
    }
    if (!titled)
        return fail(QStringLiteral("its first line is not \"Reference Power Curve\""));
    if (!unitsSeen)
        return fail(QStringLiteral("it names no <Units>"));
    if (const auto why = pointsProblem(out.points))
        return fail(*why);
    return out;
}

std::optional<RefCurve> inScale(const RefCurve& curve, const WindScale& scale, QString* problem)
{
    RefCurve out = curve;
    if (scale.known) {
        const std::optional<core::WindUnit> unit = core::windUnit(curve.units);
        if (!unit) {
            if (problem)
                *problem = QStringLiteral("its unit \"%1\" is not one the program can convert")
                               .arg(curve.units);
            return std::nullopt;
        }
        for (RefPoint& p : out.points)
            p.wind *= unit->metresPerSecond;
        out.units = scale.unitName;
    } else if (curve.units.compare(scale.unitName, Qt::CaseInsensitive) != 0) {
        if (problem)
            *problem = QStringLiteral("its unit \"%1\" is not WSUnits' \"%2\"")
                           .arg(curve.units, scale.unitName);
        return std::nullopt;
    }
    return out;
}

RefCurveLoad readRefCurve(const core::AppDir& app, const WindScale& scale)
{
    const QString path = refCurvePath(app);
    if (!QFile::exists(path))
        return {};
    const auto off = [&path](const QString& why) {
        return RefCurveLoad{std::nullopt,
                            QStringLiteral("The reference power curve is off: %1 cannot be used "
                                           "(%2). Enter it again in the power-curve view.")
                                .arg(path, why)};
    };
    QString reason;
    const auto bytes = core::readWholeFile(path, &reason);
    if (!bytes)
        return off(reason);
    const std::optional<RefCurve> read = parseRefCurve(*bytes, &reason);
    if (!read)
        return off(reason);
    std::optional<RefCurve> scaled = inScale(*read, scale, &reason);
    if (!scaled)
        return off(reason);
    return {std::move(scaled), {}};
}

std::optional<RefCurve> refCurveFromBins(const std::vector<Bin>& bins, const WindScale& scale,
                                         const QDate& day)
{
    RefCurve out{scale.unitName, day, {}};
    for (const Bin& b : bins) {
        if (b.minutes >= kRefMinutes)
            out.points.push_back({b.centre, std::max(b.meanWatts, 0.0)});
    }
    if (pointsProblem(out.points))
        return std::nullopt;
    return out;
}

} // namespace curve
