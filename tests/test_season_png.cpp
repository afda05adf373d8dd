// season_png run as anyone would run it, on a month of day files the simulated board writes:
// a PNG of each Season tab and of the live trend, none of them blank.
#include "tests/fixture.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <set>

namespace {

class SeasonPng : public AppDirTest
{};

bool run(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(program, arguments);
    // A run that hangs fails here and says which, well before ctest's limit.
    const bool ended = p.waitForFinished(200000);
    EXPECT_TRUE(ended) << program.toStdString() << " did not end within 200 s";
    return ended && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

TEST_F(SeasonPng, EachTabAndTheTrendOfAGeneratedMonthIsDrawn)
{
    const QString days = m_tmp.filePath(QStringLiteral("days"));
    const QString out = m_tmp.filePath(QStringLiteral("png"));
    ASSERT_TRUE(QDir().mkpath(days));
    for (int d = 1; d <= 31; ++d) {
        if (d == 12)
            continue; // a day without a file
        ASSERT_TRUE(run(QStringLiteral(SIMBOARD_PATH),
                        {QStringLiteral("--write-day"), days, QStringLiteral("--date"),
                         QStringLiteral("2024-3-%1").arg(d), QStringLiteral("--seed"),
                         QString::number(d)}));
    }
    ASSERT_TRUE(run(QStringLiteral(SEASON_PNG_PATH), {days, out}));
    for (const char* name :
         {"season-energy.png", "season-days.png", "season-powercurve.png", "livetrend.png"}) {
        const QImage image(QDir(out).filePath(QString::fromLatin1(name)));
        ASSERT_FALSE(image.isNull()) << name;
        EXPECT_GE(image.width(), 400) << name;
        std::set<QRgb> colours;
        for (int y = 0; y < image.height(); y += 3) {
            for (int x = 0; x < image.width(); x += 3)
                colours.insert(image.pixel(x, y));
        }
        EXPECT_GE(colours.size(), 6u) << name << " looks blank";
    }
}

} // namespace
