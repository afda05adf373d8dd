// history_png: one Display of the history window on a given day file, offscreen. Writes the
// chart (or the whole window) to a PNG and prints how long the Display took, so the figure can
// be set beside other tools' on the same file. The day file itself is left untouched: the window
// reads a copy, as a Display appends an empty line to the file it reads.

#include "files.h"
#include "graph.h"
#include "messagebox.h"
#include "windowlook.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdio>

namespace {

void usage()
{
    std::fputs("usage: history_png DAYFILE OUT.png [--width PIXELS] [--from HH:MM] [--to HH:MM]\n"
               "                   [--window]\n"
               "  DAYFILE     a daily log file, e.g. logs/2024_3_7.txt\n"
               "  --width     the window's client width: 758 (Tessaly, default) or 974\n"
               "  --from/--to the time range typed into the window (default 00:00 to 23:59)\n"
               "  --window    write the whole window instead of the chart alone\n",
               stderr);
}

void setBox(QWidget& w, const char* name, const QString& text)
{
    if (auto* box = w.findChild<QLineEdit*>(QString::fromLatin1(name)))
        box->setText(text);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("history_png"));
    core::installFontSubstitutes();

    QStringList args = QApplication::arguments().mid(1);
    int width = 758;
    QString from = QStringLiteral("00:00");
    QString to = QStringLiteral("23:59");
    bool wholeWindow = false;
    QStringList files;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--width") && hasValue) {
            bool ok = false;
            width = args[++i].toInt(&ok);
            if (!ok || width < 200 || width > 4000) {
                std::fprintf(stderr, "history_png: bad width\n");
                return 2;
            }
        } else if (a == QLatin1String("--from") && hasValue) {
            from = args[++i];
        } else if (a == QLatin1String("--to") && hasValue) {
            to = args[++i];
        } else if (a == QLatin1String("--window")) {
            wholeWindow = true;
        } else if (a.startsWith(QLatin1String("--"))) {
            usage();
            return 2;
        } else {
            files << a;
        }
    }
    if (files.size() != 2) {
        usage();
        return 2;
    }

    const std::optional<QByteArray> day = core::readWholeFile(files[0]);
    if (!day) {
        std::fprintf(stderr, "history_png: cannot read %s\n", qPrintable(files[0]));
        return 1;
    }
    // The file's own date when its name carries one, so the window types what the user would.
    static const QRegularExpression named(QStringLiteral("^(\\d{4})_(\\d{1,2})_(\\d{1,2})\\.txt$"));
    const QRegularExpressionMatch m = named.match(QFileInfo(files[0]).fileName());
    QDate date(2000, 1, 1);
    if (m.hasMatch())
        date = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!date.isValid())
        date = QDate(2000, 1, 1);

    QTemporaryDir tmp;
    const core::AppDir dir{tmp.path()};
    QDir(dir.dir).mkdir(QStringLiteral("logs"));
    const QString copy = dir.dailyLog(date);
    const QByteArray cfg = "Program Config File\r\n\r\n<DisplayRPM>1</DisplayRPM>\r\n"
                           "<DisplayWS>1</DisplayWS>\r\n<WSUnits>km/h</WSUnits>\r\n";
    if (!core::replaceFile(copy, *day) || !core::replaceFile(dir.progCfg(), cfg)) {
        std::fprintf(stderr, "history_png: cannot write to %s\n", qPrintable(dir.dir));
        return 1;
    }
    core::setMessageHandler([](const QString& text) {
        std::fprintf(stderr, "history_png: message: %s\n", qPrintable(text));
    });

    history::HistoryStore store;
    history::Graph window(store, dir, core::Clock::fixed(QDateTime(date, QTime(12, 0))), width,
                          nullptr);
    window.show();
    QApplication::processEvents();
    setBox(window, "Time1h", from.section(QLatin1Char(':'), 0, 0));
    setBox(window, "Time1m", from.section(QLatin1Char(':'), 1));
    setBox(window, "Time2h", to.section(QLatin1Char(':'), 0, 0));
    setBox(window, "Time2m", to.section(QLatin1Char(':'), 1));

    QElapsedTimer timer;
    timer.start();
    window.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    const double displayMs = timer.nsecsElapsed() / 1e6;
    QApplication::processEvents(); // the window paints the new chart and list
    const double shownMs = timer.nsecsElapsed() / 1e6;

    QWidget* shot = wholeWindow ? static_cast<QWidget*>(&window)
                                : window.findChild<QLabel*>(QStringLiteral("Plot"));
    if (!shot->grab().save(files[1], "PNG")) {
        std::fprintf(stderr, "history_png: cannot write %s\n", qPrintable(files[1]));
        return 1;
    }
    std::printf("%d records, Display %.2f ms, %.2f ms with the window painted\n",
                int(store.RecordCount), displayMs, shownMs);
    return 0;
}
