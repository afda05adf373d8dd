#include "graphlayout.h"

#include <cmath>

namespace history {
namespace {

constexpr int kTwipsPerPixel = 15;
constexpr int kStandardWidth = 758;
constexpr int kWideWidth = 974;

// In twips: left, top, width, height of the standard window, then left, width and height of the
// wide one.
struct Twips
{
    const char* name;
    int x, y, w, h;
    int wideX, wideW, wideH;
};

// clang-format off
constexpr Twips kPlaces[] = {
    {"vv",       600,    0, 1230,  195,   600, 1230,  195},
    {"av",      2040,    0, 1230,  195,  2688, 1230,  195},
    {"wv",      3480,    0, 1230,  195,  4776, 1230,  195},
    {"rv",      4920,    0, 1230,  195,  6864, 1230,  195},
    {"sv",      6360,    0, 1230,  195,  8952, 1230,  195},
    {"vt",      8040,    0, 1230,  195, 11280, 1230,  195},
    {"stime",    120,   45, 1005,  285,   120, 1005,  285},
    {"ftime",  10350,   45,  870,  240, 13560,  870,  240},
    {"Line3",      0,   45,   15,  270,     0,   15,  270},
    {"Line9",  11340,   45,   15,  270, 14520,   15,  270},
    {"Plot",       0,  240, 11355, 5235,    0, 14535, 5235},
    {"VMin1",      0, 5520, 1455,  195,     0, 1455,  195},
    {"AMin1",   2280, 5520, 1455,  195,  2599, 1455,  195},
    {"WMin1",   4560, 5520, 1410,  195,  5243, 1410,  195},
    {"RMin1",   6840, 5520, 1455,  195,  7796, 1455,  195},
    {"SMin1",   9120, 5520, 1410,  195, 10440, 1410,  195},
    {"VMax1",      0, 5760, 1455,  195,     0, 1455,  195},
    {"AMax1",   2160, 5760, 1575,  195,  2479, 1575,  195},
    {"WMax1",   4560, 5760, 1410,  195,  5243, 1410,  195},
    {"RMax1",   6840, 5760, 1455,  195,  7796, 1455,  195},
    {"SMax1",   9000, 5760, 1530,  195, 10320, 1530,  195},
    {"Check1",  1485, 5520,  780,  375,  1485,  780,  375},
    {"Check2",  3765, 5520,  780,  375,  4084,  780,  375},
    {"Check3",  6000, 5520,  780,  375,  6683,  780,  375},
    {"Check4",  8325, 5520,  780,  375,  9281,  780,  375},
    {"Check5", 10560, 5520,  780,  375, 11880,  780,  375},
    {"Check6",   960, 6120, 1185,  240,   960, 1185,  240},
    {"ListView1", 3120, 6120, 5055, 2025, 3994, 5055, 2130},
    {"Label12",  630, 6600, 1650,  210,   630, 1650,  210},
    {"Label1",   120, 6885,  480,  210,   120,  480,  210},
    {"DateY1",   630, 6840,  555,  285,   630,  555,  285},
    {"Label13", 1185, 6885,  120,  210,  1185,  120,  210},
    {"DateM1",  1305, 6840,  375,  285,  1305,  375,  285},
    {"Label14", 1680, 6885,  120,  210,  1680,  120,  210},
    {"DateD1",  1800, 6840,  360,  285,  1800,  360,  285},
    {"Label2",   120, 7455,  480,  210,   120,  480,  210},
    {"Time1h",   630, 7410,  300,  285,   630,  300,  285},
    {"Label4",   930, 7455,   75,  210,   930,   75,  210},
    {"Time1m",  1005, 7410,  300,  285,  1005,  300,  285},
    {"Label3",  1320, 7455,  225,  210,  1320,  225,  210},
    {"Time2h",  1545, 7410,  300,  285,  1545,  300,  285},
    {"Label5",  1845, 7455,   75,  210,  1845,   75,  210},
    {"Time2m",  1920, 7410,  300,  285,  1920,  300,  285},
    {"Command1", 8880, 6360, 1980,  495, 11367, 1980,  495},
    {"Command2", 9360, 7440, 1050,  375, 11981, 1050,  375},
};
// clang-format on

constexpr int kStandardHeight = 8250;
constexpr int kWideHeight = 8355;

// 0 for the standard window, 1 for the wide one.
double share(int width)
{
    return double(width - kStandardWidth) / double(kWideWidth - kStandardWidth);
}

int between(int standard, int wide, double t)
{
    return int(std::lround((standard + (wide - standard) * t) / kTwipsPerPixel));
}

QRect placeOf(const Twips& p, double t)
{
    const int x = between(p.x, p.wideX, t);
    const int y = between(p.y, p.y, t);
    return QRect(x, y, between(p.w, p.wideW, t), between(p.h, p.wideH, t));
}

} // namespace

QSize graphClientSize(int width)
{
    return QSize(width, between(kStandardHeight, kWideHeight, share(width)));
}

std::vector<GraphPlace> graphPlaces(int width)
{
    const double t = share(width);
    std::vector<GraphPlace> out;
    out.reserve(std::size(kPlaces));
    for (const Twips& p : kPlaces)
        out.push_back({QString::fromLatin1(p.name), placeOf(p, t)});
    return out;
}

QRect graphPlace(int width, const QString& name)
{
    for (const Twips& p : kPlaces) {
        if (name == QLatin1String(p.name))
            return placeOf(p, share(width));
    }
    return {};
}

} // namespace history
