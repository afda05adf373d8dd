#pragma once

#include "core/appdir.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace curve {

// How wind speeds are binned: in m/s, 0.5 wide, when WSUnits names a known unit; otherwise in
// the user's own unit, 1 wide.
struct WindScale
{
    bool known = true;
    double toBinUnit = 1; // multiplies a reading's wind speed
    double binWidth = 0.5;
    QString unitName = QStringLiteral("m/s");
};
WindScale windScale(const QString& wsUnits);

// One minute's mean wind (in the bin unit), mean watts, mean battery volts and mean RPM; heldBack
// when the battery was full, so the charge controller may have held the turbine back.
struct MinuteMean
{
    qint64 minute = 0; // monotonic minutes
    double wind = 0;
    double watts = 0;
    double volts = 0;
    bool heldBack = false;
    double rpm = 0;
};

// Folds fresh readings into one-minute means. A minute ends when a reading of a later minute
// comes; stale readings take no part.
class MinuteFolder
{
public:
    std::optional<MinuteMean> add(double wind, double watts, qint64 monotonicMs, bool fresh = true,
                                  double volts = 0, double rpm = 0);

private:
    qint64 m_minute = -1;
    int m_count = 0;
    double m_wind = 0;
    double m_watts = 0;
    double m_volts = 0;
    double m_rpm = 0;
};

// One wind bin: the count of minutes, their mean power and its standard deviation (n - 1).
struct Bin
{
    double centre = 0;
    int minutes = 0;
    double meanWatts = 0;
    double sdWatts = 0;
};

inline constexpr int kCompleteMinutes = 10;

// What a bin read from a file may hold. Beyond these a line is damaged, never converted: wind
// within 1000 of any unit, at most 100 million minutes (190 years), power and its spread within
// a gigawatt either way.
inline constexpr double kMaxBinCentre = 1000;
inline constexpr int kMaxBinMinutes = 100'000'000;
inline constexpr double kMaxBinWatts = 1e9;

class PowerCurve
{
public:
    explicit PowerCurve(double binWidth = 0.5)
        : m_width(binWidth)
    {}

    double binWidth() const { return m_width; }
    // The bin a wind speed falls in: centred on multiples of the width, each holding its lower
    // edge (0.25 m/s falls in the bin of 0.5, 0.75 in that of 1).
    int binIndex(double wind) const;
    // One minute's mean; a minute beyond the limits above (a divider of 1e-300 in
    // settings.cfg makes such readings) is not counted.
    void addMinute(double wind, double watts);
    // A bin read back: false (and nothing added) when its centre or power lies beyond the limits
    // above, or its minutes would take the bin's count past kMaxBinMinutes.
    bool addBin(const Bin& bin);
    std::vector<Bin> bins() const;
    bool empty() const { return m_sums.empty(); }
    void clear() { m_sums.clear(); }

private:
    struct Sums
    {
        int n = 0;
        double sum = 0;
        double sumSquares = 0;
    };
    double m_width;
    std::map<int, Sums> m_sums;
};

// "logs/powercurve.txt".
QString powerCurvePath(const core::AppDir& app);
// One line a bin: "<B>5.5</B><N>12</N><P>230.4</P><SD>12.1</SD>" CR LF.
QByteArray powerCurveBytes(const PowerCurve& curve);
// The file's first line, "<Units>m/s</Units><Width>0.5</Width>" CR LF: the bins' unit and width,
// so a later change of WSUnits can never re-bin them unseen; "<Altitude>850</Altitude>" follows
// when the winds were normalised to sea-level density for a site that high (0: not, left out).
QByteArray powerCurveHeader(const QString& unitName, double binWidth, double altitudeMetres = 0);
// The whole file: the header, then the bins.
QByteArray powerCurveFileBytes(const PowerCurve& curve, const QString& unitName,
                               double altitudeMetres = 0);

// The bins of a file's text, and how many lines (not empty) were skipped: a line without its
// CR LF, without one of the four numbers, with minutes that are not a whole number from 1 to
// kMaxBinMinutes, or with a number beyond the limits above (a negative spread, 1e308) is
// skipped whole; no number of it is converted.
// A first line "<Units>..</Units><Width>..</Width>" gives units and width, and an optional
// "<Altitude>" (-500 to 5000) the altitude its winds were normalised for; a file written before
// it was kept has none (altitude 0), and a header that does not read whole is a skipped line.
struct PowerCurveContent
{
    std::vector<Bin> bins;
    int skippedLines = 0;
    std::optional<QString> units;
    double width = 0;
    double altitude = 0;
};
PowerCurveContent parsePowerCurve(const QByteArray& bytes);

// Reads the file into a curve of the width. A file with a skipped line is renamed "*.damaged",
// kept for whoever wants to look, and its good bins are used; damaged says whether it was.
PowerCurve loadPowerCurve(const QString& path, double binWidth, bool* damaged = nullptr);

// A file read for the scale WSUnits sets now. A file without a header is in that scale (as it
// was written by an older version under the unit then set). A file of another unit or width is
// converted when each of its bins falls whole inside one of the scale's bins (a known unit to
// another, widths that nest); otherwise the curve starts again and the old file's bytes come back
// in setAside, to be kept as powercurve-<date>.txt: nothing is ever re-binned by guess. Winds
// normalised for another altitude (an older file: none) cannot be turned either, bin by bin, so
// such a file is set aside too. waiting: what a replace still waiting for the disk will make the
// file, read in its place (a damaged one is then not renamed: the file is not what was read).
struct CurveFileLoad
{
    PowerCurve curve;
    bool damaged = false;
    bool converted = false;
    std::optional<QByteArray> setAside;
    QString fileUnits; // as the header names them, when there was one
    double fileWidth = 0;
    double fileAltitude = 0;
    bool otherAltitude = false; // the reason it was set aside
};
CurveFileLoad loadCurveFile(const QString& path, const WindScale& scale, double altitudeMetres = 0,
                            const std::optional<QByteArray>& waiting = std::nullopt);
// The same steps for a file of bins in the curve's layout read by another parser (the files kept
// beside the curve): parse turns the bytes into their content.
CurveFileLoad loadBinsWith(const QString& path, const WindScale& scale, double altitudeMetres,
                           const std::optional<QByteArray>& waiting,
                           const std::function<PowerCurveContent(const QByteArray&)>& parse);
// A file with a skipped line is renamed "*.damaged", kept for whoever wants to look; the next
// save writes the good lines.
void keepDamaged(const QString& path);

// Whether bins of fromWidth in fromUnits fall each whole in one bin of the scale; factor is then
// what multiplies a centre in fromUnits to give it in the scale's unit.
std::optional<double> exactFactor(const QString& fromUnits, double fromWidth,
                                  const WindScale& scale);

} // namespace curve
