// season_png: each tab of the Season window (Energy, Days, Power curve) and the live trend drawn
// offscreen from a folder of day files and written to PNG files, so anyone can look at them. The
// day files are copied into a folder of the tool's own (with its own summary cache), so the
// folder given is only read. Without an energy ledger there, hourly ledger lines are made from
// the day files' watts, as the energy tick would have counted them.

#include "core/files.h"
#include "curve/curvedata.h"
#include "curve/powercurveview.h"
#include "history/dayreader.h"
#include "season/energyledger.h"
#include "season/season.h"
#include "trend/livetrend.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <map>

namespace {

// The day files of a folder by date ("2024_3_7.txt"), as the program names them.
std::map<QDate, QString> dayFiles(const QString& folder)
{
    static const QRegularExpression name(QStringLiteral("^(\\d{4})_(\\d{1,2})_(\\d{1,2})\\.txt$"));
    std::map<QDate, QString> out;
    for (const QString& f : QDir(folder).entryList(QDir::Files)) {
        const auto m = name.match(f);
        const QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        if (m.hasMatch() && d.isValid())
            out[d] = QDir(folder).filePath(f);
    }
    return out;
}

// Hourly ledger lines from each record's watts over the time since the record before it.
QByteArray ledgerFrom(const std::map<QDate, history::DayRecords>& days)
{
    QByteArray out;
    for (const auto& [date, day] : days) {
        std::array<double, 24> wh{};
        double last = 0;
        for (const history::LoadedRecord& r : day.records) {
            const double hours = std::max(0.0, r.time - last) * 24;
            last = r.time;
            wh[std::size_t(std::clamp(int(r.time * 24), 0, 23))] +=
                r.values[core::kWatts] * std::min(hours, 1.0 / 60);
        }
        for (int h = 0; h < 24; ++h)
            out +=
                season::lineFor({date, h, wh[std::size_t(h)], date.startOfDay().offsetFromUtc()});
    }
    return out;
}

bool save(QWidget& w, const QString& path)
{
    if (w.grab().save(path))
        return true;
    std::fprintf(stderr, "season_png: cannot write %s\n", qPrintable(path));
    return false;
}

template <typename Sender, typename Signal> void waitFor(Sender* sender, Signal signal)
{
    QEventLoop loop;
    QObject::connect(sender, signal, &loop, &QEventLoop::quit);
    // No picture within a minute is a fault of the reading: the tool says so instead of hanging.
    QTimer::singleShot(60000, &loop, [&loop] {
        std::fputs("season_png: nothing shown within a minute\n", stderr);
        loop.exit(1);
    });
    if (loop.exec() != 0)
        std::exit(1);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir work;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(work.filePath(QStringLiteral("cache"))));
    QApplication qt(argc, argv);
    if (argc != 3) {
        std::fputs("usage: season_png DAYFOLDER OUTFOLDER\n"
                   "  DAYFOLDER  a folder of day files (2024_3_7.txt), e.g. the program's logs\n"
                   "  OUTFOLDER  where season-energy.png, season-days.png,\n"
                   "             season-powercurve.png and livetrend.png are written\n",
                   stderr);
        return 2;
    }
    const QString from = QString::fromLocal8Bit(argv[1]);
    const QString out = QString::fromLocal8Bit(argv[2]);
    const std::map<QDate, QString> files = dayFiles(from);
    if (files.empty() || !QDir().mkpath(out)) {
        std::fprintf(stderr, "season_png: no day files in %s, or no folder %s\n", argv[1], argv[2]);
        return 1;
    }
    const core::AppDir app(work.filePath(QStringLiteral("app")));
    QDir().mkpath(app.logsDir());
    std::map<QDate, history::DayRecords> days;
    for (const auto& [date, path] : files) {
        const QByteArray bytes = core::readWholeFile(path).value_or(QByteArray());
        core::replaceFile(app.dailyLog(date), bytes);
        days[date] = history::parseDayLog(bytes, 0, 1);
    }
    const QString ledger = QDir(from).filePath(QFileInfo(season::energyLedgerFile(app)).fileName());
    core::replaceFile(season::energyLedgerFile(app),
                      core::readWholeFile(ledger).value_or(ledgerFrom(days)));

    const QDate first = files.begin()->first;
    const QDate last = files.rbegin()->first;
    season::Season window(app, core::Clock::fixed(QDateTime(last, QTime(23, 59))), nullptr);
    curve::CurveData curve(app, QStringLiteral("km/h"));
    qint64 ms = 0;
    for (const auto& [date, day] : days) {
        for (const history::LoadedRecord& r : day.records)
            curve.add(r.values, ms += 10000);
    }
    auto* view = new curve::PowerCurveView(app, curve, &window);
    window.addView(view, QStringLiteral("Power curve"));
    window.show();
    waitFor(&window, &season::Season::energyShown);
    bool ok = save(window, QDir(out).filePath(QStringLiteral("season-energy.png")));

    window.findChild<QLineEdit*>(QStringLiteral("From"))
        ->setText(std::max(first, last.addDays(-365)).toString(Qt::ISODate));
    window.findChild<QLineEdit*>(QStringLiteral("To"))->setText(last.toString(Qt::ISODate));
    window.findChild<QPushButton*>(QStringLiteral("ShowDays"))->click();
    waitFor(&window, &season::Season::daysShown);
    ok = save(window, QDir(out).filePath(QStringLiteral("season-days.png"))) && ok;

    view->refresh();
    window.findChild<QTabWidget*>(QStringLiteral("Views"))->setCurrentWidget(view);
    waitFor(view, &curve::PowerCurveView::figuresShown);
    ok = save(window, QDir(out).filePath(QStringLiteral("season-powercurve.png"))) && ok;

    // The trend fed the last day's records as they came, at their wall times.
    trend::LiveTrend trend;
    trend.resize(900, 240);
    const auto& [lastDate, lastDay] = *days.rbegin();
    for (const history::LoadedRecord& r : lastDay.records) {
        const qint64 at = qint64(r.time * 86400000);
        trend.add(r.values, at, lastDate.startOfDay().addMSecs(at));
    }
    trend.setSpan(trend::kSpans[2]);
    trend.show();
    trend.redraw();
    ok = save(trend, QDir(out).filePath(QStringLiteral("livetrend.png"))) && ok;
    return ok ? 0 : 1;
}
