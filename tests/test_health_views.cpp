// The health views on real widgets offscreen: the maker's curve entered and checked, the measured
// curve taken as the reference with the shortfall shown, and the battery's days of real day files.

#include "curve/curvedata.h"
#include "curve/referencedialog.h"
#include "curve/referencepanel.h"
#include "season/batteryview.h"
#include "tests/fixture.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

namespace {

class HealthViews : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
    }
    qint64 m_ms = 0;
    core::Clock clock()
    {
        return core::Clock{[] { return QDateTime(QDate(2024, 3, 7), QTime(12, 0)); },
                           [this] {
                               return m_ms;
                           }};
    }
};

void typeRows(QTableWidget* table, const std::vector<std::pair<const char*, const char*>>& rows)
{
    for (int r = 0; r < table->rowCount(); ++r) {
        table->setItem(r, 0, new QTableWidgetItem());
        table->setItem(r, 1, new QTableWidgetItem());
    }
    for (int r = 0; r < int(rows.size()); ++r) {
        table->item(r, 0)->setText(QString::fromLatin1(rows[std::size_t(r)].first));
        table->item(r, 1)->setText(QString::fromLatin1(rows[std::size_t(r)].second));
    }
}

TEST_F(HealthViews, TheMakersCurveIsCheckedBeforeItIsTaken)
{
    curve::ReferenceDialog dialog(QStringLiteral("m/s"), std::nullopt);
    auto* table = dialog.findChild<QTableWidget*>(QStringLiteral("RefPoints"));
    auto* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    ASSERT_TRUE(table && ok);
    const struct
    {
        std::vector<std::pair<const char*, const char*>> rows;
        const char* said;
    } refused[] = {
        {{{"3", "0"}, {"5", "200"}}, "fewer than 3"},
        {{{"3", "0"}, {"7", "200"}, {"5", "600"}}, "do not rise"},
        {{{"3", "-1"}, {"5", "200"}, {"7", "600"}}, "below 0"},
        {{{"3", "0"}, {"five", "200"}, {"7", "600"}}, "Row 2"},
    };
    for (const auto& r : refused) {
        m_messages.clear();
        typeRows(table, r.rows);
        ok->click();
        ASSERT_EQ(m_messages.size(), 1);
        EXPECT_TRUE(m_messages[0].contains(QLatin1String(r.said))) << m_messages[0].toStdString();
        EXPECT_FALSE(dialog.curve());
    }
    m_messages.clear();
    typeRows(table, {{"3", "0"}, {"5", "200"}, {"7", "600"}});
    ok->click();
    EXPECT_TRUE(m_messages.isEmpty());
    ASSERT_TRUE(dialog.curve());
    EXPECT_EQ(dialog.curve()->points.size(), 3u);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

// Forty minutes each at 3, 5 and 7 m/s (60, 100 and 140 W) and a calm, then the measured curve
// becomes the reference: the file is written, the plant's data holds it, and the panel shows the
// shortfall over the same minutes (none: it is itself).
TEST_F(HealthViews, TheMeasuredCurveBecomesTheReference)
{
    curve::CurveData data(m_app, QStringLiteral("m/s"));
    core::QuantityValues v{};
    v[core::kVolts] = 12.6;
    for (const double wind : {3.0, 5.0, 7.0, 0.0}) {
        for (int m = 0; m < 40; ++m) {
            v[core::kWind] = wind;
            v[core::kWatts] = wind * 20;
            data.add(v, m_ms);
            m_ms += 60000;
        }
    }
    curve::ReferencePanel panel(m_app, data, clock());
    EXPECT_TRUE(panel.note().startsWith(u"No reference curve"));
    ui::setQuestionHandler([](const QString&) { return true; });
    panel.findChild<QPushButton*>(QStringLiteral("UseMeasuredCurve"))->click();
    ui::setQuestionHandler({});
    ASSERT_TRUE(data.reference());
    EXPECT_EQ(fileBytes(curve::refCurvePath(m_app)),
              QByteArray("Reference Power Curve\r\n<Units>m/s</Units>\r\n<Date>2024_3_7</Date>\r\n"
                         "<V>0</V><W>0</W>\r\n<V>3</V><W>60</W>\r\n<V>5</V><W>100</W>\r\n"
                         "<V>7</V><W>140</W>\r\n"));
    EXPECT_TRUE(panel.note().contains(u"Last 7 days: the reference promises"))
        << panel.note().toStdString();
    EXPECT_TRUE(panel.note().contains(u"0.00 kWh (0.0 %) short")) << panel.note().toStdString();
    EXPECT_TRUE(panel.binsCsv().contains("\r\n5,40,100,100,100,0\r\n"))
        << panel.binsCsv().toStdString();
}

TEST_F(HealthViews, TheBatteryViewShowsTheDaysNewestFirst)
{
    QByteArray text;
    for (int h = 0; h < 24; ++h)
        text +=
            QStringLiteral("<V>%1</V><I>2</I><W>25</W><R>100</R><S>10</S><M>0</M><T>%2:00</T>\r\n")
                .arg(h == 4 ? 11.9 : 12.5)
                .arg(h, 2, 10, QLatin1Char('0'))
                .toLatin1();
    ASSERT_TRUE(core::replaceFile(m_app.dailyLog(QDate(2024, 3, 6)), text));
    season::BatteryView view(m_app, QDate(2024, 3, 7), 14.4);
    bool shown = false;
    QObject::connect(&view, &season::BatteryView::daysShown, [&shown] { shown = true; });
    ASSERT_TRUE(waitFor([&shown] { return shown; }, 60000));
    EXPECT_EQ(view.summary(), QStringLiteral("Battery: lowest 11.9 V on 2024-03-06 at 04:00; not "
                                             "full in these days (full at 14.4 V)."));
    auto* table = view.findChild<QTableWidget*>(QStringLiteral("BatteryDays"));
    ASSERT_EQ(table->rowCount(), season::BatteryView::kBatteryViewDays);
    EXPECT_EQ(table->item(1, 0)->text(), QStringLiteral("2024-03-06"));
    EXPECT_EQ(table->item(1, 1)->text(), QStringLiteral("11.9"));
}

} // namespace
