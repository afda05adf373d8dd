// The Season window reopens on the tab it was left on, the tab chosen with the mouse on the tab
// bar and the window closed with Exit, as an owner does it: the clicks come through the window
// system as a mouse's do (QTest), offscreen, with a year of day files and the views the Logger
// adds after Season's own.
#include "core/files.h"
#include "season/season.h"
#include "season/seasonview.h"
#include "tests/fixture.h"
#include "tools/daylog.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {

const QDate kToday(2024, 3, 8);

class SeasonTab : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(m_app.logsDir()));
        // A year of days, ten minutes apart.
        for (QDate d = kToday.addDays(-365); d <= kToday; d = d.addDays(1)) {
            std::string text;
            for (int m = 0; m < 1440; m += 10) {
                sim::LogValues v{12.5, 2 + m % 3 * 0.1, 100.0 + m % 7, 300, 8, 0, 0};
                v.secondOfDay = m * 60 + 30;
                text += sim::logRecordText(v);
            }
            ASSERT_TRUE(core::replaceFile(m_app.dailyLog(d), QByteArray::fromStdString(text)));
        }
    }
    // The window as the Logger opens it: Season's own tabs, then three views of its own.
    std::unique_ptr<season::Season> open()
    {
        auto w = std::make_unique<season::Season>(
            m_app, core::Clock::fixed(QDateTime(kToday, QTime(12, 0))), nullptr);
        for (const char* title : {"Power curve", "Reference", "Battery"})
            w->addView(new QLabel(QString::fromLatin1(title)), QString::fromLatin1(title));
        return w;
    }
};

TEST_F(SeasonTab, ItReopensOnTheTabClickedBeforeExit)
{
    for (const int tab : {int(season::kDaysTab), 4, int(season::kEnergyTab), 2}) {
        {
            auto w = open();
            w->show();
            QTabBar* bar = w->findChild<QTabWidget*>(QStringLiteral("Views"))->tabBar();
            ASSERT_TRUE(waitFor([&] { return bar->isVisible(); }));
            QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
            ASSERT_EQ(bar->currentIndex(), tab);
            auto* exit = child<QPushButton>(*w, "Exit");
            QTest::mouseClick(exit, Qt::LeftButton, {}, exit->rect().center());
            ASSERT_TRUE(waitFor([&] { return !w->isVisible(); }));
        }
        EXPECT_EQ(season::readSeasonView(m_app).tab, tab);
        auto w = open();
        w->show();
        auto* views = w->findChild<QTabWidget*>(QStringLiteral("Views"));
        EXPECT_EQ(views->currentIndex(), tab);
        // The Days tab's run comes in a moment; it must not take the window to another tab.
        if (tab == season::kDaysTab) {
            bool shown = false;
            QObject::connect(w.get(), &season::Season::daysShown, [&shown] { shown = true; });
            ASSERT_TRUE(waitFor([&] { return shown; }, 60000));
        }
        QCoreApplication::processEvents();
        EXPECT_EQ(views->currentIndex(), tab);
        w->close();
    }
}

// Other ways an owner leaves the window on a tab: the keyboard's Ctrl+Tab, a button that shows
// a tab's figures, and Escape or the window's close instead of Exit; the window runs modal, as
// the Logger runs it.
TEST_F(SeasonTab, ItReopensOnTheTabLeftWhicheverWayItWasChosen)
{
    using Way = std::function<void(season::Season&, QTabBar&)>;
    const Way ctrlTab = [](season::Season&, QTabBar& bar) {
        QTest::keyClick(&bar, Qt::Key_Tab, Qt::ControlModifier);
    };
    const Way last7 = [](season::Season& w, QTabBar&) {
        auto* button = child<QPushButton>(w, "Last7");
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    };
    const Way exitButton = [](season::Season& w, QTabBar&) {
        auto* exit = child<QPushButton>(w, "Exit");
        QTest::mouseClick(exit, Qt::LeftButton, {}, exit->rect().center());
    };
    const Way escape = [](season::Season& w, QTabBar&) {
        QTest::keyClick(&w, Qt::Key_Escape);
    };
    const Way windowClose = [](season::Season& w, QTabBar&) {
        w.close();
    };
    const struct
    {
        const char* name;
        Way choose;
        Way leave;
    } rows[] = {{"Ctrl+Tab, Exit", ctrlTab, exitButton},
                {"Last 7 days, Escape", last7, escape},
                {"Ctrl+Tab, the window closed", ctrlTab, windowClose}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(m_app.path(QStringLiteral("view.cfg")));
        auto w = open();
        QTabBar* bar = w->findChild<QTabWidget*>(QStringLiteral("Views"))->tabBar();
        int chosen = -1;
        QTimer::singleShot(0, w.get(), [&] {
            row.choose(*w, *bar);
            chosen = bar->currentIndex();
            row.leave(*w, *bar);
        });
        w->exec();
        EXPECT_EQ(chosen, int(season::kDaysTab));
        EXPECT_EQ(season::readSeasonView(m_app).tab, int(season::kDaysTab));
        auto again = open();
        again->show();
        EXPECT_EQ(again->findChild<QTabWidget*>(QStringLiteral("Views"))->currentIndex(),
                  int(season::kDaysTab));
    }
}

} // namespace
