#pragma once

#include "core/appdir.h"
#include "curve/powercurve.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace curve {

// A month as one number, year·12 + month − 1, so months follow each other.
int monthKey(const QDate& date);
// The month's first day.
QDate monthStart(int month);
// "2026-11".
QByteArray monthText(int month);

// What the wind counts may hold. Beyond these a line is damaged, never converted: a month of
// the years 2000 to 2100, a bin centre within kMaxBinCentre, and in one bin of one month at
// most every minute of 31 days and the hour a clock turned back repeats.
inline constexpr int kFirstWindYear = 2000;
inline constexpr int kLastWindYear = 2100;
inline constexpr int kMaxMonthBinMinutes = 31 * 24 * 60 + 60;

// One bin of one month: its centre in the bin unit and the one-minute means it counts.
struct WindCount
{
    int month = 0;
    double centre = 0;
    int minutes = 0;

    bool operator==(const WindCount&) const = default;
};

// One bin of a histogram over one or more months.
struct WindBin
{
    double centre = 0;
    int minutes = 0;

    bool operator==(const WindBin&) const = default;
};

// The site's one-minute mean winds counted by local month and bin, binned as the power curve
// bins them (PowerCurve::binIndex), in the bin unit. The winds are the site's as measured, never
// normalised to sea level: they are the wind the turbine stands in.
class WindBins
{
public:
    WindBins() = default;
    explicit WindBins(double binWidth)
        : m_width(binWidth)
    {}

    double binWidth() const { return m_width; }
    // Counts minutes of a wind in a month; false, and nothing counted, when the month or the
    // wind lies beyond the limits above or the bin would hold more than kMaxMonthBinMinutes.
    bool add(int month, double wind, int minutes = 1);
    // Every bin of every month, in order of month, then of wind.
    std::vector<WindCount> counts() const;
    // The months from first to last together, in order of wind.
    std::vector<WindBin> histogram(int firstMonth, int lastMonth) const;
    // The months that hold minutes, in order.
    std::vector<int> months() const;
    bool empty() const { return m_counts.empty(); }

private:
    double m_width = 0.5;
    std::map<std::pair<int, int>, int> m_counts; // by month and bin index
};

// "logs/windbins.txt".
QString windBinsPath(const core::AppDir& app);
// The whole file: the power curve's first line for the unit and width (without an altitude:
// the winds are as measured), then one line a bin of a month,
// "<M>2026-11</M><B>5.5</B><N>1234</N>" CR LF.
QByteArray windBinsFileBytes(const WindBins& bins, const QString& unitName);

// The counts of a file's text, and how many lines (not empty) were skipped: a line without its
// CR LF, without one of the three values, with a month that is not YYYY-MM of the years above,
// minutes that are not a whole number from 1 to kMaxMonthBinMinutes, or a centre beyond
// kMaxBinCentre is skipped whole, no number of it converted. The first line may be the power
// curve's header (read by its reader); one with an altitude, or that does not read whole, is a
// skipped line.
struct WindBinsContent
{
    std::vector<WindCount> counts;
    int skippedLines = 0;
    std::optional<QString> units;
    double width = 0;
};
WindBinsContent parseWindBins(const QByteArray& bytes);

// The file read for the scale WSUnits sets now, by the power curve's rule (loadCurveFile): no
// header, the scale's; another unit or width converted when its bins nest exactly, else set
// aside whole in setAside (to be kept as windbins-<date>.txt) and the counts begin again. A file
// with a skipped line is renamed "*.damaged" and its good lines used. waiting: what a replace
// still waiting for the disk will make the file, read in its place (then nothing is renamed).
struct WindFileLoad
{
    WindBins bins;
    bool damaged = false;
    bool converted = false;
    std::optional<QByteArray> setAside;
};
WindFileLoad loadWindFile(const QString& path, const WindScale& scale,
                          const std::optional<QByteArray>& waiting = std::nullopt);

// The site's wind while the program runs: the file's counts, read elsewhere and handed in,
// and each minute's wind counted in the local month the minute closed in. Minutes counted
// before the file came stay on top of its counts.
class SiteWind
{
public:
    explicit SiteWind(const WindScale& scale)
        : m_scale(scale)
        , m_bins(scale.binWidth)
        , m_beforeFile(scale.binWidth)
    {}

    // A minute's mean wind as measured, in the bin unit, closed on the local day.
    void add(const QDate& day, double wind);
    // The file as read elsewhere; ignored once one is in.
    void takeFile(WindFileLoad load);
    bool fileRead() const { return m_fileRead; }

    const WindScale& scale() const { return m_scale; }
    const WindBins& bins() const { return m_bins; }
    bool loadedDamaged() const { return m_damaged; }
    const std::optional<QByteArray>& setAside() const { return m_setAside; }
    // What to write to windBinsPath(), hourly and at close.
    QByteArray bytes() const { return windBinsFileBytes(m_bins, m_scale.unitName); }

private:
    WindScale m_scale;
    WindBins m_bins;
    WindBins m_beforeFile;
    bool m_fileRead = false;
    bool m_damaged = false;
    std::optional<QByteArray> m_setAside;
};

} // namespace curve
