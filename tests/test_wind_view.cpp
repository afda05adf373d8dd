// The Wind tab on real widgets offscreen, from real files: the wind counts of two months of known
// Weibull distributions, the turbulence, the rotor's RPM, curve.cfg with and without a rotor
// diameter and the hours the plant saw; the month chosen, and the tab kept in view.cfg.

#include "core/files.h"
#include "curve/curvedata.h"
#include "curve/curvesettings.h"
#include "curve/rotor.h"
#include "curve/turbulence.h"
#include "curve/windbins.h"
#include "curve/windview.h"
#include "season/completeness.h"
#include "season/season.h"
#include "season/seasonview.h"
#include "tests/fixture.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineSeries>
#include <QTabWidget>
#include <QTableWidget>
#include <cmath>

namespace {

const QDateTime kNow(QDate(2026, 12, 9), QTime(12, 0));

// A month's minutes binned as the plant bins them, each bin [centre − 0.25, centre + 0.25)
// holding its share of a Weibull of shape k and scale c.
void addMonth(curve::WindBins& bins, int month, double k, double c, int minutes)
{
    const auto below = [k, c](double v) {
        return v <= 0 ? 0.0 : 1 - std::exp(-std::pow(v / c, k));
    };
    for (double centre = 0; centre <= 30; centre += 0.5) {
        const int n = int(std::lround(minutes * (below(centre + 0.25) - below(centre - 0.25))));
        if (n > 0) {
            ASSERT_TRUE(bins.add(month, centre, n));
        }
    }
}

class WindView : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        writeProg(ProgFile{.WSUnits = "m/s"});
        ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
    }

    // November a Weibull of k 2 and c 7 m/s over 30 days, October one of k 1.5 and c 5 over 31;
    // turbulence in two bins, the RPM and power of a small turbine, and completeness.txt holding
    // every hour of November's first half (the second missed).
    void writeSite(std::optional<double> diameter)
    {
        curve::WindBins bins(0.5);
        addMonth(bins, curve::monthKey(QDate(2026, 11, 1)), 2, 7, 30 * 1440);
        addMonth(bins, curve::monthKey(QDate(2026, 10, 1)), 1.5, 5, 31 * 1440);
        write(curve::windBinsPath(m_app), curve::windBinsFileBytes(bins, QStringLiteral("m/s")));
        const QByteArray header = "<Units>m/s</Units><Width>0.5</Width>\r\n";
        QByteArray power = header;
        QByteArray rpm = header;
        for (int i = 0; i <= 10; ++i) {
            const QByteArray centre = QByteArray::number(2.5 + 0.5 * i);
            power += "<B>" + centre + "</B><N>20</N><P>" + QByteArray::number(i * i * 4) +
                     "</P><SD>1</SD>\r\n";
            rpm += "<B>" + centre + "</B><N>20</N><RPM>" + QByteArray::number(100 + 40 * i) +
                   "</RPM>\r\n";
        }
        write(curve::powerCurvePath(m_app), power);
        write(curve::rotorPath(m_app), rpm);
        write(curve::turbulencePath(m_app), header +
                                                "<B>6</B><N>12</N><TI>0.182</TI><SD>0.031</SD>\r\n"
                                                "<B>6.5</B><N>7</N><TI>0.15</TI><SD>0.02</SD>\r\n");
        write(curve::curveCfgPath(m_app), curve::curveSettingsText({0, diameter}));
        QByteArray hours;
        for (QDate d(2026, 11, 1); d.day() <= 15; d = d.addDays(1)) {
            for (int h = 0; h < 24; ++h) {
                const int offset = QDateTime(d, QTime(h, 0)).offsetFromUtc();
                hours += season::completenessLineFor({d, h, offset, 60, 6, 600});
            }
        }
        write(season::completenessFile(m_app), hours);
    }
    static void write(const QString& path, const QByteArray& bytes)
    {
        ASSERT_TRUE(core::replaceFile(path, bytes)) << path.toStdString();
    }

    // The plant's counts as it holds them: read from the files.
    void readSite()
    {
        m_data = std::make_unique<curve::CurveData>(m_app, QStringLiteral("m/s"));
        m_wind = std::make_unique<curve::SiteWind>(m_data->scale());
        m_wind->takeFile(curve::loadWindFile(curve::windBinsPath(m_app), m_data->scale()));
    }
    std::unique_ptr<curve::WindView> open()
    {
        readSite();
        auto view =
            std::make_unique<curve::WindView>(m_app, *m_data, *m_wind, core::Clock::fixed(kNow));
        EXPECT_TRUE(shown(*view));
        return view;
    }
    // Waits for the figures the view was last asked for.
    static bool shown(curve::WindView& view)
    {
        bool done = false;
        const auto connection =
            QObject::connect(&view, &curve::WindView::figuresShown, [&done] { done = true; });
        const bool ok = waitFor([&done] { return done; });
        QObject::disconnect(connection);
        return ok;
    }
    static QChart* chartOf(const curve::WindView& view, const char* name)
    {
        return child<QChartView>(view, name)->chart();
    }
    template <typename T> static T* series(QChart* chart, const char* name)
    {
        for (QAbstractSeries* s : chart->series()) {
            if (s->objectName() == QLatin1String(name) || s->name() == QLatin1String(name))
                return qobject_cast<T*>(s);
        }
        return nullptr;
    }

    std::unique_ptr<curve::CurveData> m_data;
    std::unique_ptr<curve::SiteWind> m_wind;
};

TEST_F(WindView, EachMonthShowsItsHistogramWithItsFit)
{
    writeSite(std::nullopt);
    const auto view = open();
    auto* period = child<QComboBox>(*view, "WindPeriod");
    ASSERT_EQ(period->count(), 3);
    EXPECT_EQ(period->itemText(0), QStringLiteral("Last 12 months"));
    EXPECT_EQ(period->itemText(1), QStringLiteral("2026-11"));
    EXPECT_EQ(period->itemText(2), QStringLiteral("2026-10"));
    const QStringList year = view->note().split(QLatin1Char('\n'));
    ASSERT_EQ(year.size(), 3) << view->note().toStdString();
    EXPECT_TRUE(year[0].startsWith(QStringLiteral("2026-01 to 2026-12: Weibull k ")));
    EXPECT_TRUE(year[1].startsWith(QStringLiteral(
        "Yearly energy under the site's wind of 2026-01 to 2026-12 (2 months with data, 2026-10 "
        "to 2026-11): ")))
        << year[1].toStdString();
    EXPECT_TRUE(year[1].contains(QStringLiteral("Rayleigh at the same mean")))
        << year[1].toStdString();

    const struct
    {
        int index;
        const char* fit;
        const char* seen;
    } months[] = {
        {1, "2026-11: Weibull k 2.0, c 7.0 m/s, mean 6.2 m/s from 720 h.",
         "Seen in 2026-11: 50 % of minutes with a fresh frame"},
        {2, "2026-10: Weibull k 1.5, c 5.0 m/s, mean 4.5 m/s from 744 h.",
         "Seen in 2026-10: no hours counted."},
    };
    for (const auto& m : months) {
        period->setCurrentIndex(m.index);
        ASSERT_TRUE(shown(*view));
        const QStringList lines = view->note().split(QLatin1Char('\n'));
        ASSERT_EQ(lines.size(), 3);
        EXPECT_EQ(lines[0], QString::fromUtf8(m.fit));
        EXPECT_TRUE(lines[2].startsWith(QString::fromUtf8(m.seen))) << lines[2].toStdString();
        // The yearly energy is the year's, whichever month is shown.
        EXPECT_EQ(lines[1], year[1]);
        QChart* chart = chartOf(*view, "WindHistogram");
        auto* counts = series<QAreaSeries>(chart, "WindCounts");
        auto* fit = series<QLineSeries>(chart, "WeibullFit");
        ASSERT_TRUE(counts && fit);
        EXPECT_GT(counts->upperSeries()->count(), 20);
        EXPECT_GT(fit->count(), 100);
        // The fit's peak stands near the histogram's.
        double countsTop = 0, fitTop = 0;
        for (const QPointF& p : counts->upperSeries()->points())
            countsTop = std::max(countsTop, p.y());
        for (const QPointF& p : fit->points())
            fitTop = std::max(fitTop, p.y());
        EXPECT_NEAR(fitTop, countsTop, countsTop * 0.05);
    }
}

TEST_F(WindView, NoWindCountedSaysSo)
{
    const auto view = open();
    EXPECT_EQ(child<QComboBox>(*view, "WindPeriod")->count(), 1);
    EXPECT_EQ(view->note(), QStringLiteral("2026-01 to 2026-12: No wind counted yet.\n"
                                           "No yearly energy: no Weibull fit to 2026-01 to "
                                           "2026-12.\n"
                                           "Seen in 2026-01 to 2026-12: no hours counted."));
    EXPECT_FALSE(series<QLineSeries>(chartOf(*view, "WindHistogram"), "WeibullFit"));

    // Opened before the plant has read the counts' file, the view says whose minutes it shows.
    curve::SiteWind early(m_data->scale());
    early.add(kNow.date(), 5);
    curve::WindView before(m_app, *m_data, early, core::Clock::fixed(kNow));
    ASSERT_TRUE(shown(before));
    EXPECT_EQ(
        before.note().split(QLatin1Char('\n')).mid(0, 2).join(QLatin1Char('\n')),
        QStringLiteral("The wind counts' file is still being read: these are this run's minutes "
                       "alone.\n2026-01 to 2026-12: No Weibull fit: 1 of the 1,440 minutes (a "
                       "day's) a fit needs."));
}

TEST_F(WindView, TheRotorsFiguresNeedItsDiameter)
{
    for (const std::optional<double> diameter :
         {std::optional<double>(2.0), std::optional<double>()}) {
        writeSite(diameter);
        const auto view = open();
        view->resize(900, 450);
        view->show();
        auto* notice = child<QLabel>(*view, "RotorNotice");
        auto* chart = child<QChartView>(*view, "RotorChart");
        EXPECT_EQ(chart->isVisible(), bool(diameter));
        EXPECT_EQ(notice->isVisible(), !diameter);
        if (diameter) {
            auto* cp = series<QLineSeries>(chart->chart(), "Cp");
            auto* tsr = series<QLineSeries>(chart->chart(), "TSR");
            auto* betz = series<QLineSeries>(chart->chart(), "Betz limit 0.593");
            ASSERT_TRUE(cp && tsr && betz);
            EXPECT_EQ(tsr->count(), 11);
            EXPECT_GT(cp->count(), 0);
            EXPECT_DOUBLE_EQ(betz->at(0).y(), curve::kBetzLimit);
        } else {
            EXPECT_TRUE(notice->text().contains(QStringLiteral("<RotorDiameter> in curve.cfg")));
        }
        auto* turbulence = child<QTableWidget>(*view, "TurbulenceBins");
        ASSERT_EQ(turbulence->rowCount(), 2);
        EXPECT_EQ(turbulence->item(0, 0)->text(), QStringLiteral("6.0"));
        EXPECT_EQ(turbulence->item(0, 1)->text(), QStringLiteral("0.182"));
        EXPECT_EQ(turbulence->item(0, 2)->text(), QStringLiteral("12"));
    }
}

// The Wind tab comes after the views the Logger adds before it, so the tabs kept before it came
// keep their meaning; it is reopened on, and its pieces lie side by side at the window's size.
TEST_F(WindView, TheWindowReopensOnTheWindTab)
{
    writeSite(2.0);
    readSite();
    for (int opening = 0; opening < 2; ++opening) {
        season::Season window(m_app, core::Clock::fixed(kNow), nullptr);
        for (const char* title : {"Power curve", "Reference", "Battery"})
            window.addView(new QLabel(QString::fromLatin1(title)), QString::fromLatin1(title));
        auto* view =
            new curve::WindView(m_app, *m_data, *m_wind, core::Clock::fixed(kNow), &window);
        window.addView(view, QStringLiteral("Wind"));
        auto* tabs = child<QTabWidget>(window, "Views");
        ASSERT_EQ(tabs->tabText(5), QStringLiteral("Wind"));
        if (opening == 0)
            tabs->setCurrentIndex(5);
        EXPECT_EQ(tabs->currentIndex(), 5);
        window.show();
        ASSERT_TRUE(shown(*view));
        QCoreApplication::processEvents();
        const QWidget* pieces[] = {
            child<QWidget>(*view, "WindHistogram"), child<QWidget>(*view, "RotorChart"),
            child<QWidget>(*view, "TurbulenceBins"), child<QWidget>(*view, "WindNote")};
        for (const QWidget* a : pieces) {
            EXPECT_TRUE(view->rect().contains(a->geometry())) << a->objectName().toStdString();
            for (const QWidget* b : pieces)
                EXPECT_TRUE(a == b || !a->geometry().intersects(b->geometry()))
                    << a->objectName().toStdString() << " " << b->objectName().toStdString();
        }
        auto* note = child<QLabel>(*view, "WindNote");
        EXPECT_GE(note->height(), note->heightForWidth(note->width()));
        window.close();
        EXPECT_EQ(season::readSeasonView(m_app).tab, 5);
    }
}

} // namespace
