#pragma once

#include "core/appdir.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
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

// One minute's mean wind (in the bin unit) and mean watts.
struct MinuteMean
{
    qint64 minute = 0; // monotonic minutes
    double wind = 0;
    double watts = 0;
};

// Folds fresh readings into one-minute means. A minute ends when a reading of a later minute
// comes; stale readings take no part.
class MinuteFolder
{
public:
    std::optional<MinuteMean> add(double wind, double watts, qint64 monotonicMs, bool fresh = true);

private:
    qint64 m_minute = -1;
    int m_count = 0;
    double m_wind = 0;
    double m_watts = 0;
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
    void addMinute(double wind, double watts);
    void addBin(const Bin& bin);
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
// The bins of a file's text; nullopt when a line is not such a bin.
std::optional<std::vector<Bin>> parsePowerCurve(const QByteArray& bytes);

// Reads the file into a curve of the width; a damaged file is renamed "*.damaged" and the curve
// starts empty. damaged says whether it was.
PowerCurve loadPowerCurve(const QString& path, double binWidth, bool* damaged = nullptr);

} // namespace curve
