// The turbulence and the rotor's RPM in the running plant: frames on a pseudo-terminal make
// their ten-minute blocks and minutes, the files are written at close beside powercurve.txt,
// and a restart within the hour starts from them; bins of another unit are kept aside.

#include "curve/curvesettings.h"
#include "curve/rotor.h"
#include "curve/turbulence.h"
#include "tests/logger_window.h"

#include <cmath>
#include <numbers>

namespace {

// With kSettings: 300 RPM and 12.8 V at 18 A, in a wind of 4 or 6 m/s.
const std::string kLull = "[<V>512</V><I>548</I><R>10</R><M>0</M><S>20</S>]\r\n";
const std::string kGust = "[<V>512</V><I>548</I><R>10</R><M>0</M><S>30</S>]\r\n";

class RotorPlant : public LoggerWindow
{
protected:
    void SetUp() override
    {
        LoggerWindow::SetUp();
        writeProg(ProgFile{.WSUnits = "m/s"});
        ASSERT_TRUE(core::replaceFile(curve::curveCfgPath(m_app),
                                      "Power Curve Settings\r\n\r\n<Altitude>0</Altitude>\r\n\r\n"
                                      "<RotorDiameter>2</RotorDiameter>\r\n\r\n"));
    }
    // Four frames a minute of the fake clock, lull and gust in turn (each minute's mean 5 m/s),
    // each decoded before the clock moves on.
    void minutesOf(monitor::Logger& w, sim::PseudoTerminal& pty, int minutes)
    {
        int frames = 0;
        const QMetaObject::Connection counting = QObject::connect(
            &w.station(), &station::Station::freshReading, [&frames] { ++frames; });
        for (int k = 0; k < minutes * 4; ++k) {
            ASSERT_TRUE(pty.write(k % 2 ? kGust : kLull));
            ASSERT_TRUE(waitFor([&] { return frames > k; }));
            m_now = m_now.addSecs(15);
        }
        QObject::disconnect(counting);
    }
};

// From 14:05:07 the block of 14:00 lacks its first five minutes; that of 14:10 is whole: 40
// frames of 5 ± 1 m/s, a deviation (n - 1) of √(40/39), a ratio of 0.2025. A restart at 14:21
// adds the block of 14:20 to the one read back, and its minutes to the RPM's.
TEST_F(RotorPlant, BlocksAndMinutesAreKeptAtCloseAndCountedOnAfterARestart)
{
    const QByteArray header = "<Units>m/s</Units><Width>0.5</Width>\r\n";
    auto pty = line(1);
    {
        auto w = start();
        ASSERT_TRUE(waitFor([&] { return w->watchers().filesRead(); }));
        minutesOf(*w, *pty, 16); // to 14:21:07
        const curve::CurveData& data = w->watchers().curve();
        const std::vector<curve::Bin> turbulence = data.rotor().turbulence().bins();
        ASSERT_EQ(turbulence.size(), 1u);
        EXPECT_EQ(turbulence[0].centre, 5);
        EXPECT_EQ(turbulence[0].minutes, 1);
        EXPECT_NEAR(turbulence[0].meanWatts, 0.2 * std::sqrt(40.0 / 39), 1e-9);
        const std::vector<curve::RotorBin> bins = data.rotorBins();
        ASSERT_EQ(bins.size(), 1u);
        EXPECT_EQ(bins[0].minutes, 15);
        EXPECT_NEAR(bins[0].rpm, 300, 1e-9);
        ASSERT_TRUE(bins[0].tsr);
        EXPECT_NEAR(*bins[0].tsr, 2 * std::numbers::pi, 1e-9);
        EXPECT_NEAR(*bins[0].cp, 230.4 / (0.5 * 1.225 * std::numbers::pi * 125), 1e-9);
        w->plant().close();
    }
    EXPECT_EQ(fileBytes(curve::turbulencePath(m_app)),
              header + "<B>5</B><N>1</N><TI>0.203</TI><SD>0</SD>\r\n");
    EXPECT_EQ(fileBytes(curve::rotorPath(m_app)), header + "<B>5</B><N>15</N><RPM>300</RPM>\r\n");

    m_now = m_now.addSecs(60); // 14:22:07: the block of 14:20 keeps its minutes 2 to 9
    auto w = start();
    minutesOf(*w, *pty, 9); // to 14:31:07
    ASSERT_TRUE(waitFor([&] { return w->watchers().filesRead(); }));
    const curve::RotorData& rotor = w->watchers().curve().rotor();
    ASSERT_EQ(rotor.turbulence().bins().size(), 1u);
    EXPECT_EQ(rotor.turbulence().bins()[0].minutes, 2);
    ASSERT_EQ(rotor.rpm().bins().size(), 1u);
    EXPECT_EQ(rotor.rpm().bins()[0].minutes, 15 + 8);
    w->plant().close();
    EXPECT_EQ(fileBytes(curve::rotorPath(m_app)), header + "<B>5</B><N>23</N><RPM>300</RPM>\r\n");
    EXPECT_TRUE(fileBytes(curve::turbulencePath(m_app)).startsWith(header + "<B>5</B><N>2</N>"));
}

// The plant alone, as tessalyd runs it: turbulence bins of the user's own unit cannot become m/s
// bins, so the file is kept whole as turbulence-<date>.txt and a new one begun, and the status
// line says so.
TEST_F(RotorPlant, TurbulenceOfAnotherUnitIsKeptAsideByThePlantWithoutAWindow)
{
    ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
    const QByteArray old = "<Units>WIND</Units><Width>1</Width>\r\n"
                           "<B>5</B><N>20</N><TI>0.2</TI><SD>0</SD>\r\n";
    ASSERT_TRUE(core::replaceFile(curve::turbulencePath(m_app), old));
    plant::Plant plant(m_app, core::Clock{[this] {
                           return m_now;
                       }});
    ASSERT_TRUE(waitFor([&] { return plant.watchers().filesRead(); }));
    station::StationProbe::waitForDisk(plant.station());
    EXPECT_EQ(fileBytes(m_app.logsDir() + QStringLiteral("turbulence-2024-03-07.txt")), old);
    EXPECT_EQ(fileBytes(curve::turbulencePath(m_app)),
              QByteArray("<Units>m/s</Units><Width>0.5</Width>\r\n"));
    EXPECT_TRUE(plant.watchers().alarmsWarning().contains(u"kept as turbulence-2024-03-07.txt"))
        << plant.watchers().alarmsWarning().toStdString();
    plant.close();
}

} // namespace
