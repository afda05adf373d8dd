// history_png: one Display of a given day file, written to a PNG with its time, so the figure
// can be set beside other tools' on the same file (bench/compare_gnuplot.sh does). By default
// the chart alone, drawn by the history window's own loading and drawing at its size with every
// series shown: no window, so no widgets or fonts to start. With --window, the whole window,
// offscreen. The day file itself is left untouched: the Display reads a copy, as a Display
// appends an empty line to the file it reads.

#include "history/chartgeometry.h"
#include "history/chartpicture.h"
#include "history/graph.h"
#include "history/graphlayout.h"
#include "history/historystore.h"
#include "ui/messagebox.h"
#include "ui/windowlook.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <array>
#include <cstdio>
#include <memory>

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

struct Options
{
    QString day;
    QString out;
    int width = 758;
    QString from = QStringLiteral("00:00");
    QString to = QStringLiteral("23:59");
    bool wholeWindow = false;
};

// nullopt after telling what is wrong.
std::optional<Options> readOptions(int argc, char** argv)
{
    Options o;
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        const bool hasValue = i + 1 < argc;
        if (a == QLatin1String("--width") && hasValue) {
            bool ok = false;
            o.width = QString::fromLocal8Bit(argv[++i]).toInt(&ok);
            if (!ok || o.width < 200 || o.width > 4000) {
                std::fprintf(stderr, "history_png: bad width\n");
                return std::nullopt;
            }
        } else if (a == QLatin1String("--from") && hasValue) {
            o.from = QString::fromLocal8Bit(argv[++i]);
        } else if (a == QLatin1String("--to") && hasValue) {
            o.to = QString::fromLocal8Bit(argv[++i]);
        } else if (a == QLatin1String("--window")) {
            o.wholeWindow = true;
        } else if (a.startsWith(QLatin1String("--"))) {
            usage();
            return std::nullopt;
        } else {
            files << a;
        }
    }
    if (files.size() != 2) {
        usage();
        return std::nullopt;
    }
    o.day = files[0];
    o.out = files[1];
    return o;
}

// The file's own date when its name carries one, so the query names the file the user would.
QDate dateOf(const QString& dayFile)
{
    static const QRegularExpression named(QStringLiteral("^(\\d{4})_(\\d{1,2})_(\\d{1,2})\\.txt$"));
    const QRegularExpressionMatch m = named.match(QFileInfo(dayFile).fileName());
    QDate date(2000, 1, 1);
    if (m.hasMatch())
        date = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    return date.isValid() ? date : QDate(2000, 1, 1);
}

// A plain write: the folder is thrown away afterwards, so nothing needs to reach the disk.
bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A chart holds a handful of colours: written as a palette image, the PNG is made several times
// faster and smaller, pixel for pixel the same. Anything with more colours is written as it is.
bool savePng(const QImage& picture, const QString& path)
{
    QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    rgb.setDevicePixelRatio(1);
    QImage indexed(rgb.size(), QImage::Format_Indexed8);
    QList<QRgb> palette;
    std::array<int, 4096> slot{}; // 1 + the colour's index in the palette, by a hash of it
    bool fits = true;
    for (int y = 0; y < rgb.height() && fits; ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        uchar* to = indexed.scanLine(y);
        for (int x = 0; x < rgb.width() && fits; ++x) {
            const QRgb c = from[x];
            std::size_t h = (c * 2654435761u >> 20) & 4095;
            while (slot[h] != 0 && palette[slot[h] - 1] != c)
                h = (h + 1) & 4095;
            if (slot[h] == 0) {
                fits = palette.size() < 256;
                palette << c;
                slot[h] = int(palette.size());
            }
            to[x] = uchar(slot[h] - 1);
        }
    }
    if (fits)
        indexed.setColorTable(palette);
    QImageWriter writer(path, "png");
    // Light compression: a chart's flat grounds pack nearly as small as at the default, in
    // about a third of the time.
    writer.setCompression(34);
    return writer.write(fits ? indexed : rgb);
}

struct Shown
{
    int records = 0;
    double displayMs = 0;
    double shownMs = 0;
};

// Display on a copy of the day file in its own application folder, then the chart drawn as the
// window draws it when it opens with every series box ticked. nullopt after telling why.
std::optional<Shown> chartAlone(const Options& o, const core::AppDir& dir, QImage& picture)
{
    history::HistoryStore store;
    const history::QueryTexts query{
        QString::number(dateOf(o.day).year()), QString::number(dateOf(o.day).month()),
        QString::number(dateOf(o.day).day()),  o.from.section(QLatin1Char(':'), 0, 0),
        o.from.section(QLatin1Char(':'), 1),   o.to.section(QLatin1Char(':'), 0, 0),
        o.to.section(QLatin1Char(':'), 1)};
    QElapsedTimer timer;
    timer.start();
    const history::DisplayResult result = history::loadDay(store, dir, query);
    if (result.outcome != history::DisplayOutcome::Loaded) {
        std::fprintf(stderr, "history_png: %s\n", qPrintable(result.message));
        return std::nullopt;
    }
    history::SeriesFlags flags;
    for (const core::Quantity q : core::kLogged)
        flags.shown[q] = true;
    flags.RefVZero = true;
    picture = QImage(history::graphPlace(o.width, {history::GraphControl::Plot}).size(),
                     QImage::Format_RGB32);
    picture.fill(ui::kWindowGround);
    history::paintChart(picture, history::planChart(store, flags), store);
    const double ms = timer.nsecsElapsed() / 1e6;
    return Shown{store.RecordCount, ms, ms};
}

void setBox(QWidget& w, const char* name, const QString& text)
{
    if (auto* box = w.findChild<QLineEdit*>(QString::fromLatin1(name)))
        box->setText(text);
}

// The whole window, offscreen, and a press of its Display button.
std::optional<Shown> wholeWindow(const Options& o, const core::AppDir& dir, QImage& picture)
{
    ui::installFontSubstitutes();
    ui::setMessageHandler([](const QString& text) {
        std::fprintf(stderr, "history_png: message: %s\n", qPrintable(text));
    });
    history::HistoryStore store;
    history::Graph window(store, dir, core::Clock::fixed(QDateTime(dateOf(o.day), QTime(12, 0))),
                          o.width, nullptr);
    window.show();
    QApplication::processEvents();
    setBox(window, "Time1h", o.from.section(QLatin1Char(':'), 0, 0));
    setBox(window, "Time1m", o.from.section(QLatin1Char(':'), 1));
    setBox(window, "Time2h", o.to.section(QLatin1Char(':'), 0, 0));
    setBox(window, "Time2m", o.to.section(QLatin1Char(':'), 1));

    QElapsedTimer timer;
    timer.start();
    window.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    const double displayMs = timer.nsecsElapsed() / 1e6;
    QApplication::processEvents(); // the window paints the new chart and list
    const double shownMs = timer.nsecsElapsed() / 1e6;
    picture = window.grab().toImage();
    return Shown{store.RecordCount, displayMs, shownMs};
}

} // namespace

int main(int argc, char** argv)
{
    const std::optional<Options> o = readOptions(argc, argv);
    if (!o)
        return 2;
    // Widgets only for the window; the chart alone needs no application object at all.
    std::unique_ptr<QApplication> app;
    if (!o->wholeWindow) {
        // PNG is built into Qt: no plugin folder need be looked through to write one.
        QCoreApplication::setLibraryPaths({});
    } else {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
        QApplication::setApplicationName(QStringLiteral("history_png"));
    }

    QFile in(o->day);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "history_png: cannot read %s\n", qPrintable(o->day));
        return 1;
    }
    const QByteArray day = in.readAll();
    QTemporaryDir tmp;
    const core::AppDir dir{tmp.path()};
    QDir(dir.dir).mkdir(QStringLiteral("logs"));
    // The window reads its series boxes from prog.cfg: all five ticked, as the chart alone has
    // them.
    const QByteArray cfg = "Program Config File\r\n\r\n<DisplayRPM>1</DisplayRPM>\r\n"
                           "<DisplayWS>1</DisplayWS>\r\n<WSUnits>km/h</WSUnits>\r\n";
    if (!writeFile(dir.dailyLog(dateOf(o->day)), day) ||
        (o->wholeWindow && !writeFile(dir.progCfg(), cfg))) {
        std::fprintf(stderr, "history_png: cannot write to %s\n", qPrintable(dir.dir));
        return 1;
    }

    QImage picture;
    const std::optional<Shown> shown =
        o->wholeWindow ? wholeWindow(*o, dir, picture) : chartAlone(*o, dir, picture);
    if (!shown)
        return 1;
    if (!savePng(picture, o->out)) {
        std::fprintf(stderr, "history_png: cannot write %s\n", qPrintable(o->out));
        return 1;
    }
    std::printf("%d records, Display %.2f ms, %.2f ms with the %s drawn\n", shown->records,
                shown->displayMs, shown->shownMs, o->wholeWindow ? "window" : "chart");
    return 0;
}
