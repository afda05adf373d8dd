#include "curve/windstats.h"

#include <algorithm>
#include <cmath>

namespace curve {

namespace {

struct Interval
{
    double lower = 0; // 0 for a bin reaching below 0
    double upper = 0;
    double n = 0;
};

// Σ n·log(F(upper) − F(lower)) / Σ n at k = e^a, c = e^b. With z = (v/c)^k the bin's share is
// e^(−z_lower)·(1 − e^(−(z_upper − z_lower))), summed in logs so a far tail never rounds to 0.
double logLikelihood(const std::vector<Interval>& bins, double total, double a, double b)
{
    const double k = std::exp(a);
    const auto z = [k, b](double v) {
        return v > 0 ? std::exp(k * (std::log(v) - b)) : 0.0;
    };
    double sum = 0;
    for (const Interval& i : bins) {
        const double zLower = z(i.lower);
        const double dz = z(i.upper) - zLower;
        if (!(dz > 0))
            return -HUGE_VAL;
        sum += i.n * (-zLower + std::log(-std::expm1(-dz)));
    }
    return sum / total;
}

} // namespace

std::optional<WeibullFit> fitWeibull(const std::vector<WindBin>& histogram, double binWidth)
{
    std::vector<Interval> bins;
    double total = 0;
    double sum = 0;
    double sumSquares = 0;
    for (const WindBin& b : histogram) {
        const double upper = b.centre + binWidth / 2;
        if (upper <= 0 || b.minutes <= 0)
            continue;
        bins.push_back({std::max(b.centre - binWidth / 2, 0.0), upper, double(b.minutes)});
        total += b.minutes;
        const double middle = (bins.back().lower + upper) / 2;
        sum += b.minutes * middle;
        sumSquares += b.minutes * middle * middle;
    }
    if (total < kWeibullMinutes || bins.size() < 3)
        return std::nullopt;
    // The start: the shape from the spread over the mean (Justus's rule), the scale from the mean.
    const double mean = sum / total;
    const double sd = std::sqrt(std::max(sumSquares / total - mean * mean, 0.0));
    const double k0 = std::clamp(std::pow(std::max(sd, 1e-3) / mean, -1.086), 0.5, 10.0);
    double x[2] = {std::log(k0), std::log(mean / std::tgamma(1 + 1 / k0))};
    const auto f = [&](double a, double b) {
        return logLikelihood(bins, total, a, b);
    };
    double value = f(x[0], x[1]);
    if (!std::isfinite(value))
        return std::nullopt;
    bool converged = false;
    for (int iteration = 0; iteration < 100 && !converged; ++iteration) {
        // The gradient and the Hessian by central differences: smooth enough for Newton.
        const double h = 1e-4;
        const double fa1 = f(x[0] + h, x[1]), fa0 = f(x[0] - h, x[1]);
        const double fb1 = f(x[0], x[1] + h), fb0 = f(x[0], x[1] - h);
        const double g[2] = {(fa1 - fa0) / (2 * h), (fb1 - fb0) / (2 * h)};
        const double haa = (fa1 - 2 * value + fa0) / (h * h);
        const double hbb = (fb1 - 2 * value + fb0) / (h * h);
        const double hab = (f(x[0] + h, x[1] + h) - f(x[0] + h, x[1] - h) - f(x[0] - h, x[1] + h) +
                            f(x[0] - h, x[1] - h)) /
                           (4 * h * h);
        if (std::hypot(g[0], g[1]) < 1e-9) {
            converged = true;
            break;
        }
        const double det = haa * hbb - hab * hab;
        double d[2];
        if (haa < 0 && det > 0) { // a maximum ahead: Newton's step
            d[0] = -(hbb * g[0] - hab * g[1]) / det;
            d[1] = -(haa * g[1] - hab * g[0]) / det;
        } else { // else uphill
            d[0] = g[0];
            d[1] = g[1];
        }
        const double length = std::hypot(d[0], d[1]);
        if (length > 1) {
            d[0] /= length;
            d[1] /= length;
        }
        // Halved until the likelihood rises.
        double t = 1;
        for (; t > 1e-12; t /= 2) {
            const double next = f(x[0] + t * d[0], x[1] + t * d[1]);
            if (next > value) {
                x[0] += t * d[0];
                x[1] += t * d[1];
                value = next;
                break;
            }
        }
        if (t <= 1e-12) { // no step rises: the maximum, unless the slope says otherwise
            converged = std::hypot(g[0], g[1]) < 1e-5;
            break;
        }
        converged = t * std::hypot(d[0], d[1]) < 1e-10;
    }
    const double k = std::exp(x[0]);
    const double c = std::exp(x[1]);
    if (!converged || !(k >= 0.3 && k <= 20) || !std::isfinite(c))
        return std::nullopt;
    return WeibullFit{k, c, c * std::tgamma(1 + 1 / k), int(total)};
}

MonthSpan lastTwelveMonths(const QDate& day)
{
    const int last = monthKey(day);
    return {last - 11, last};
}

std::vector<Bin> sampledReference(const RefCurve& reference, double width)
{
    std::vector<Bin> out;
    const double last = reference.points.empty() ? 0 : reference.points.back().wind;
    for (int k = 1; k * width <= last + 1e-9; ++k)
        out.push_back({k * width, kCompleteMinutes, reference.wattsAt(k * width), 0});
    return out;
}

SiteEnergy siteEnergy(const WindBins& wind, const QDate& day, const std::vector<Bin>& curveBins,
                      double densityFactor, const std::optional<RefCurve>& reference)
{
    SiteEnergy out;
    const MonthSpan span = lastTwelveMonths(day);
    for (const int month : wind.months()) {
        if (month >= span.first && month <= span.last)
            out.months.push_back(month);
    }
    out.fit = fitWeibull(wind.histogram(span.first, span.last), wind.binWidth());
    if (!out.fit)
        return out;
    const double c = out.fit->c * densityFactor;
    out.measured = aepWeibull(curveBins, wind.binWidth(), out.fit->k, c);
    if (reference) {
        const std::vector<Bin> promised = sampledReference(*reference, wind.binWidth());
        out.referenceKWh = aepWeibull(promised, wind.binWidth(), out.fit->k, c).kWh;
    }
    return out;
}

} // namespace curve
