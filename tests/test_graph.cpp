#include "core/files.h"
#include "core/numbers.h"
#include "core/quantities.h"
#include "core/tags.h"
#include "history/chartgeometry.h"
#include "history/chartpicture.h"
#include "history/graph.h"
#include "history/historystore.h"
#include "history/pointer.h"
#include "tests/fixture.h"
#include "tools/daylog.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableView>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

using core::kAmps;
using core::kRpm;
using core::kVolts;
using core::kWatts;
using core::kWind;
using history::Graph;
using history::HistoryStore;

const QColor kRed{255, 0, 0};
const QColor kShade{128, 128, 255};
const QColor kGround{0, 64, 0};

QByteArray record(double v, double i, double w, double r, double s, int m, const char* t)
{
    return QByteArray("<V>") + core::numberText(v).toLatin1() + "</V><I>" +
           core::numberText(i).toLatin1() + "</I><W>" + core::numberText(w).toLatin1() + "</W><R>" +
           core::numberText(r).toLatin1() + "</R><S>" + core::numberText(s).toLatin1() + "</S><M>" +
           QByteArray::number(m) + "</M><T>" + t + "</T>\r\n";
}

// Ten records, 10:01 to 10:10; record k has volts 10 + k and amps k, load on for 4 to 6.
QByteArray tenRecords()
{
    QByteArray text;
    for (int k = 1; k <= 10; ++k) {
        const QByteArray t = QStringLiteral("10:%1").arg(k, 2, 10, QLatin1Char('0')).toLatin1();
        text += record(10 + k, k, 20 * k, 100 * k, k / 2.0, k >= 4 && k <= 6 ? 1 : 0, t.data());
    }
    return text;
}

class GraphWindow : public AppDirTest
{
protected:
    void SetUp() override
    {
        AppDirTest::SetUp();
        ASSERT_TRUE(QDir(m_app.dir).mkdir(QStringLiteral("logs")));
        writeProg(ProgFile{.DisplayRPM = "1"});
    }

    void writeDay(const QString& name, const QByteArray& text)
    {
        ASSERT_TRUE(core::replaceFile(m_app.logsDir() + name, text));
    }
    std::unique_ptr<Graph> open(int width = 758)
    {
        auto g = std::make_unique<Graph>(m_store, m_app, core::Clock::fixed(m_now), width, nullptr);
        g->show();
        return g;
    }
    static void type(QWidget& w, const char* name, const QString& value)
    {
        child<QLineEdit>(w, name)->setText(value);
    }
    // Types a query into the boxes and presses Display.
    void display(QWidget& w, const QString& y, const QString& m, const QString& d,
                 const QString& from = QStringLiteral("00:00"),
                 const QString& to = QStringLiteral("23:59"))
    {
        type(w, "DateY1", y);
        type(w, "DateM1", m);
        type(w, "DateD1", d);
        type(w, "Time1h", from.section(QLatin1Char(':'), 0, 0));
        type(w, "Time1m", from.section(QLatin1Char(':'), 1));
        type(w, "Time2h", to.section(QLatin1Char(':'), 0, 0));
        type(w, "Time2m", to.section(QLatin1Char(':'), 1));
        child<QPushButton>(w, "Command1")->click();
    }
    void displayDay(QWidget& w, const QString& from = QStringLiteral("00:00"),
                    const QString& to = QStringLiteral("23:59"))
    {
        display(w, QStringLiteral("2024"), QStringLiteral("3"), QStringLiteral("7"), from, to);
    }
    static QAbstractItemModel* list(QWidget& w)
    {
        return child<QTableView>(w, "ListView1")->model();
    }
    static QString cell(QWidget& w, int row, int column)
    {
        QAbstractItemModel* m = list(w);
        return m->data(m->index(row, column)).toString();
    }
    // A mouse event on the chart at x pixels.
    static void mouse(Graph& g, QEvent::Type type, double px, bool held)
    {
        QWidget* plot = child<QLabel>(g, "Plot");
        const QPointF at(px, 20);
        const Qt::MouseButton button =
            type == QEvent::MouseMove ? Qt::NoButton : Qt::MouseButton::LeftButton;
        QMouseEvent e(type, at, plot->mapToGlobal(at), button,
                      held ? Qt::MouseButtons(Qt::LeftButton) : Qt::MouseButtons(Qt::NoButton),
                      Qt::NoModifier);
        QCoreApplication::sendEvent(plot, &e);
    }
    // The pixel of chart position x, on the chart as drawn.
    static double px(const Graph& g, double x)
    {
        return x / g.chartWidth() * g.picture().deviceIndependentSize().width();
    }
    static QColor grabbed(Graph& g, int x, int y)
    {
        return child<QLabel>(g, "Plot")->grab().toImage().pixelColor(x, y);
    }

    QDateTime m_now{QDate(2024, 3, 7), QTime(14, 5, 7)};
    HistoryStore m_store;
};

// ---- The query's readers ----

TEST(QueryReaders, TimesOfDay)
{
    const std::pair<const char*, int> good[] = {{"0:0", 0},      {"00:00", 0},
                                                {"23:59", 1439}, {" 7 : 5 ", 425},
                                                {"9:30", 570},   {"\t12:\t01", 721}};
    for (const auto& [text, minutes] : good)
        EXPECT_EQ(history::minutesOfDay(std::string_view(text)), minutes) << text;
    for (const char* text : {"24:00", "23:60", "", ":", "12", "12:", ":30", "123:00", "12:005",
                             "-1:00", "1:2:3", "a:00", "12.5:00", "12:3 0", "+1:00"}) {
        EXPECT_FALSE(history::minutesOfDay(std::string_view(text))) << text;
    }
    EXPECT_EQ(history::timeText(history::dayTime(425)), QStringLiteral("07:05"));
    EXPECT_EQ(history::timeText(0), QStringLiteral("00:00"));
}

TEST(QueryReaders, CalendarDates)
{
    struct Case
    {
        const char *d, *m, *y;
        bool ok;
    };
    const Case cases[] = {
        {"7", "3", "2024", true},   {"07", "03", "2024", true}, {" 7", "3 ", " 2024 ", true},
        {"29", "2", "2024", true},  {"29", "2", "2023", false}, {"29", "2", "1900", false},
        {"29", "2", "2000", true},  {"31", "4", "2024", false}, {"0", "3", "2024", false},
        {"7", "13", "2024", false}, {"7", "3", "24", false},    {"7", "3", "02024", false},
        {"", "3", "2024", false},   {"7", "3", "20x4", false},  {"7.0", "3", "2024", false},
        {"123", "3", "2024", false}};
    for (const Case& c : cases) {
        EXPECT_EQ(history::isCalendarDate(QString::fromLatin1(c.d), QString::fromLatin1(c.m),
                                          QString::fromLatin1(c.y)),
                  c.ok)
            << c.d << "/" << c.m << "/" << c.y;
    }
}

// ---- Display: checks, the day file, the records taken ----

TEST_F(GraphWindow, BadBoxesGiveTheirMessageAndChangeNothing)
{
    writeDay(QStringLiteral("2024_3_7.txt"), tenRecords());
    auto g = open();
    displayDay(*g);
    ASSERT_EQ(m_store.RecordCount, 10);
    const qint64 size = QFileInfo(m_app.logsDir() + QStringLiteral("2024_3_7.txt")).size();
    struct Case
    {
        const char *y, *m, *d, *from, *to, *message;
    };
    const Case cases[] = {
        {"2024", "3", "7", "24:00", "23:59", "Bad time format for start time"},
        {"2024", "3", "7", "ab:00", "23:59", "Bad time format for start time"},
        {"2024", "3", "7", "00:", "23:59", "Bad time format for start time"},
        {"2024", "3", "7", "00:00", "23:60", "Bad time format for finish time"},
        {"2024", "3", "7", "00:00", ":", "Bad time format for finish time"},
        {"2024", "2", "30", "00:00", "23:59", "Bad date format for record date"},
        {"24", "3", "7", "00:00", "23:59", "Bad date format for record date"},
        {"2023", "2", "29", "00:00", "23:59", "Bad date format for record date"},
        // The start is checked first, then the finish, then the date.
        {"2024", "13", "7", "99:00", "99:00", "Bad time format for start time"},
        {"2024", "13", "7", "00:00", "99:00", "Bad time format for finish time"},
    };
    for (const Case& c : cases) {
        m_messages.clear();
        display(*g, QString::fromLatin1(c.y), QString::fromLatin1(c.m), QString::fromLatin1(c.d),
                QString::fromLatin1(c.from), QString::fromLatin1(c.to));
        EXPECT_EQ(m_messages, QStringList{QString::fromLatin1(c.message)}) << c.from << c.to;
    }
    EXPECT_EQ(m_store.RecordCount, 10);
    EXPECT_EQ(m_store.ViewEnd, 10);
    EXPECT_EQ(list(*g)->rowCount(), 10);
    EXPECT_EQ(QFileInfo(m_app.logsDir() + QStringLiteral("2024_3_7.txt")).size(), size);
    EXPECT_EQ(QDir(m_app.logsDir()).entryList(QDir::Files).size(), 1);
}

TEST_F(GraphWindow, EachDisplayAppendsOneEmptyLineToTheFileAsTyped)
{
    const QString day = m_app.logsDir() + QStringLiteral("2024_3_7.txt");
    writeDay(QStringLiteral("2024_3_7.txt"), tenRecords());
    auto g = open();
    const qint64 size = QFileInfo(day).size();
    displayDay(*g);
    EXPECT_EQ(QFileInfo(day).size(), size + 2);
    displayDay(*g, QStringLiteral("12:00"), QStringLiteral("11:00")); // start after finish
    EXPECT_EQ(m_messages, QStringList{history::kNoDataMessage});
    EXPECT_EQ(QFileInfo(day).size(), size + 4);
    EXPECT_TRUE(core::readWholeFile(day)->endsWith("</T>\r\n\r\n\r\n"));

    // A leading zero names another file than the logger's; it is made, holding one empty line.
    m_messages.clear();
    display(*g, QStringLiteral("2024"), QStringLiteral("03"), QStringLiteral("7"));
    EXPECT_EQ(m_messages, QStringList{history::kNoDataMessage});
    EXPECT_EQ(core::readWholeFile(m_app.logsDir() + QStringLiteral("2024_03_7.txt")),
              QByteArray("\r\n"));
    EXPECT_EQ(QFileInfo(day).size(), size + 4);
    // Blanks are kept too.
    m_messages.clear();
    display(*g, QStringLiteral("2024"), QStringLiteral("3"), QStringLiteral("7 "));
    EXPECT_TRUE(QFileInfo::exists(m_app.logsDir() + QStringLiteral("2024_3_7 .txt")));
    EXPECT_EQ(m_messages, QStringList{history::kNoDataMessage});
    // "No data" empties the store's count but leaves the view, chart and list.
    EXPECT_EQ(m_store.RecordCount, 0);
    EXPECT_EQ(m_store.Zoomed, 0);
    EXPECT_EQ(m_store.ViewEnd, 10);
    EXPECT_EQ(list(*g)->rowCount(), 10);
}

TEST_F(GraphWindow, RangeEndsAreNeverTaken)
{
    QByteArray text = record(1, 0, 0, 0, 0, 0, "00:00") + record(2, 0, 0, 0, 0, 0, "10:00") +
                      record(3, 0, 0, 0, 0, 0, "10:01") + record(4, 0, 0, 0, 0, 0, "12:00") +
                      record(5, 0, 0, 0, 0, 0, "12:01") + record(6, 0, 0, 0, 0, 0, "23:59");
    writeDay(QStringLiteral("2024_3_7.txt"), text);
    auto g = open();
    displayDay(*g);
    EXPECT_TRUE(m_messages.isEmpty());
    ASSERT_EQ(m_store.RecordCount, 4);
    for (int k = 1; k <= 4; ++k)
        EXPECT_EQ(m_store.Values[kVolts][k], k + 1);
    EXPECT_EQ(list(*g)->rowCount(), 4);
    EXPECT_EQ(textOf(*g, "stime"), QStringLiteral("10:00"));
    EXPECT_EQ(textOf(*g, "ftime"), QStringLiteral("12:01"));

    // One record: nothing is drawn, the list empties, the labels keep their captions.
    displayDay(*g, QStringLiteral("10:00"), QStringLiteral("12:00"));
    EXPECT_EQ(m_store.RecordCount, 1);
    EXPECT_EQ(m_store.Values[kVolts][1], 3);
    EXPECT_EQ(list(*g)->rowCount(), 0);
    EXPECT_EQ(textOf(*g, "stime"), QStringLiteral("10:00"));
    EXPECT_EQ(g->picture().pixelColor(10, 10), kGround);
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(GraphWindow, DrawsExactly9999RecordsAndRefusesOneMore)
{
    QByteArray full;
    for (int k = 1; k <= 9999; ++k)
        full += record(12 + k % 3, 1, 2, 3, 4, k % 2, "12:00");
    writeDay(QStringLiteral("2024_3_7.txt"), full);
    writeDay(QStringLiteral("2024_3_8.txt"), record(99, 9, 9, 9, 9, 0, "01:00") + full);
    auto g = open();
    displayDay(*g);
    EXPECT_TRUE(m_messages.isEmpty());
    ASSERT_EQ(m_store.RecordCount, 9999);
    EXPECT_EQ(m_store.ViewStart, 1);
    EXPECT_EQ(m_store.ViewEnd, 9999);
    EXPECT_EQ(list(*g)->rowCount(), 9999);
    EXPECT_EQ(g->chartWidth(), 9998);

    display(*g, QStringLiteral("2024"), QStringLiteral("3"), QStringLiteral("8"));
    EXPECT_EQ(m_messages, QStringList{history::kOverLimitMessage});
    EXPECT_TRUE(history::kOverLimitMessage.endsWith(QStringLiteral("future. ")));
    // The earlier load stays whole: no record of the refused day got in.
    EXPECT_EQ(m_store.RecordCount, 9999);
    EXPECT_EQ(m_store.Values[kVolts][1], 13);
    EXPECT_EQ(m_store.ViewEnd, 9999);
    EXPECT_EQ(list(*g)->rowCount(), 9999);
    child<QCheckBox>(*g, "Check1")->setChecked(false);
    EXPECT_EQ(cell(*g, 0, 2), QStringLiteral(" 13"));
}

TEST_F(GraphWindow, DamagedLinesAreSkippedOrReadAsZero)
{
    const QByteArray text =
        "no tags at all\r\n"
        "<V>1</V><T>25:00</T>\r\n"
        "<V>1</V><T>noon</T>\r\n"
        "<V>1</V>\r\n"
        "</T>10:00<T>\r\n"
        "\r\n"
        "<V>12.5</V><I>x</I><W></W><R>1e3</R><S> 7.25 </S><M>1.5</M><T>10:00</T>\r\n"
        "<T>10:01</T><M>2.5</M><S>3</S><R>2</R><W>1</W><V>-4</V>\r\n"
        "<V>13,5</V><I>-1.5E-05</I><M>99999</M><T> 10:02</T>\r\n"
        "<M>-70000</M></V>5<V><T>10:03</T>\r\n"
        "<V>7</V><T>10:04</T><T>10:05</T>";
    writeDay(QStringLiteral("2024_3_7.txt"), text);
    auto g = open();
    displayDay(*g);
    EXPECT_TRUE(m_messages.isEmpty());
    ASSERT_EQ(m_store.RecordCount, 5);
    EXPECT_EQ(m_store.Values[kVolts][1], 12.5);
    EXPECT_EQ(m_store.Values[kAmps][1], 0);
    EXPECT_EQ(m_store.Values[kWatts][1], 0);
    EXPECT_EQ(m_store.Values[kRpm][1], 1000);
    EXPECT_EQ(m_store.Values[kWind][1], 7.25);
    EXPECT_EQ(m_store.Mode[1], 2);
    EXPECT_EQ(m_store.Time[1], history::dayTime(600));
    EXPECT_EQ(m_store.Values[kVolts][2], -4);
    EXPECT_EQ(m_store.Values[kWatts][2], 1);
    EXPECT_EQ(m_store.Values[kRpm][2], 2);
    EXPECT_EQ(m_store.Values[kWind][2], 3);
    EXPECT_EQ(m_store.Mode[2], 2);
    EXPECT_EQ(m_store.Values[kVolts][3], 0); // "13,5" is no number under a point locale
    EXPECT_EQ(m_store.Values[kAmps][3], -1.5e-5);
    EXPECT_EQ(m_store.Mode[3], 32767);
    EXPECT_EQ(m_store.Values[kVolts][4], 0); // closing tag before the opening one
    EXPECT_EQ(m_store.Mode[4], -32768);
    EXPECT_EQ(m_store.Values[kVolts][5], 7);
    EXPECT_EQ(m_store.Time[5], history::dayTime(604)); // the first <T> counts
    EXPECT_EQ(cell(*g, 2, 3), QStringLiteral(" -0.000015"));
}

TEST_F(GraphWindow, AMissingLogsFolderIsReportedAndTheStoreKept)
{
    writeDay(QStringLiteral("2024_3_7.txt"), tenRecords());
    auto g = open();
    displayDay(*g);
    ASSERT_EQ(m_store.RecordCount, 10);
    ASSERT_TRUE(QDir(m_app.logsDir()).removeRecursively());
    displayDay(*g);
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].contains(QDir::toNativeSeparators(m_app.logsDir())))
        << m_messages[0].toStdString();
    EXPECT_FALSE(QDir(m_app.logsDir()).exists());
    EXPECT_EQ(m_store.RecordCount, 10);
    EXPECT_EQ(list(*g)->rowCount(), 10);
}

// The daily log's tags of the five logged quantities, as the log's record has them.
const std::pair<core::Quantity, const char*> kLogTags[] = {
    {kVolts, "V"}, {kAmps, "I"}, {kWatts, "W"}, {kRpm, "R"}, {kWind, "S"}};

// The loader's rule in its plainest form: lines split at CR LF, the program's own tag extraction
// and number reader on the line's text.
history::DayRecords plainRead(const QByteArray& content, double start, double finish)
{
    history::DayRecords out;
    const QString all = QString::fromLocal8Bit(content);
    for (const QString& line : all.split(QStringLiteral("\r\n"))) {
        const std::optional<QString> t = core::tagValue(line, u"T");
        const std::optional<int> minutes = t ? history::minutesOfDay(*t) : std::nullopt;
        if (!minutes ||
            !(start < history::dayTime(*minutes) && history::dayTime(*minutes) < finish))
            continue;
        if (out.records.size() == std::size_t(history::kMaxRecords)) {
            out.overLimit = true;
            break;
        }
        history::LoadedRecord r;
        r.time = history::dayTime(*minutes);
        for (const auto& [q, tag] : kLogTags)
            r.values[q] = core::tagNumber(line, QString::fromLatin1(tag));
        r.mode = core::toInt16(core::tagNumber(line, u"M"));
        out.records.push_back(r);
    }
    return out;
}

// The same double, sign of a zero included.
bool same(double a, double b)
{
    return a == b && std::signbit(a) == std::signbit(b);
}

// Day files read byte by byte as the plain rule reads them, value texts and lines that a logger
// never writes included, under a point and a comma locale.
TEST(DayLoader, ReadsEveryLineAsThePlainRule)
{
    const QByteArray tiny = "0." + QByteArray(400, '0') + "1";
    const QByteArray huge = "1" + QByteArray(400, '0');
    // clang-format off
    const QByteArray values[] = {
        "13.62", "-1.25", "0", "-0", "007", ".5", "5.", "-.5", "+5", " 5", "5 ", "\t5\t",
        "1e5", "1E-05", "-2.5e+3", "5.e3", "1e999", "-1e999", "1e-999", tiny, huge,
        "123456789012345678901234567890", "0.1234567890123456789", "9007199254740993",
        "999999999999999", "7236830840615796.5", "89146200212.0104399", "1.2.3", "--5", "-", "",
        "e5", "5e", "5e+", ".", "0x10", "inf", "nan", "1,5", "1 5", "\xd9\xa1\xd9\xa2", "5\xff",
        "\xc3\xa9", "1.5", "2.5", "-0.5", "32767.5", "-70000", "1e10"};
    // clang-format on
    const QByteArray lines[] = {
        // As the logger writes them, and in another order.
        "<V>12.5</V><I>-3</I><W>1e2</W><R>400</R><S>7.25</S><M>1</M><T>10:00</T>",
        "<T>10:01</T><M>0</M><S>3</S><R>2</R><W>1</W><I>2</I><V>-4</V>",
        // The first of two tags counts; a closing tag before the opening one is no value.
        "<V>1</V><V>2</V><T>10:02</T><T>10:03</T>",
        "</V>5<V><I>6</I></I><T>10:04</T>",
        "<V><V>7</V></V><T>10:05</T>",
        "<V>8</V<T>10:06</T>",
        "< V>9</V><v>9</v><T>10:07</T>",
        "junk<V>10</V> between <I>11</I>\r<T>10:08</T>tail",
        "<V>12\r</V><T>10:09</T>",
        "<I>3</I><V>17\r\n</V><T>10:10</T>",
        "<V>13</V><T>10:10</T>\n<V>14</V><T>10:11</T>",
        "<T> 10:12</T>",
        "<T>10:13 </T>",
        "<T>9:5</T>",
        "<T>24:00</T>",
        "<T>10:60</T>",
        "<T>1000</T>",
        "<V>15</V>",
        "",
        "\r",
        "<T></T>",
        "<T>10:14</T><Q>1</Q>",
        "<T>10:15</T><>1</><M>2.5</M>",
    };
    QByteArray day;
    int minute = 16;
    for (const QByteArray& v : values) {
        day += "<V>" + v + "</V><I>" + v + "</I><M>" + v + "</M><T>" +
               QTime(10, 0).addSecs(60 * minute++).toString(u"HH:mm").toLatin1() + "</T>\r\n";
    }
    for (const QByteArray& line : lines)
        day += line + "\r\n";
    day += "\r\r\n<V>16</V><T>11:59</T>"; // and a last line without its CR LF

    for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany)}) {
        SCOPED_TRACE(locale.name().toStdString());
        QLocale::setDefault(locale);
        const history::DayRecords plain = plainRead(day, 0, 1);
        const history::DayRecords read = history::parseDayLog(day, 0, 1);
        ASSERT_GT(plain.records.size(), std::size(values));
        ASSERT_EQ(read.records.size(), plain.records.size());
        for (std::size_t k = 0; k < plain.records.size(); ++k) {
            SCOPED_TRACE(k);
            EXPECT_EQ(read.records[k].time, plain.records[k].time);
            for (const auto& [q, tag] : kLogTags)
                EXPECT_TRUE(same(read.records[k].values[q], plain.records[k].values[q]))
                    << tag << ": " << read.records[k].values[q] << " vs "
                    << plain.records[k].values[q];
            EXPECT_EQ(read.records[k].mode, plain.records[k].mode);
        }
        // A window in the middle of the day alike.
        EXPECT_EQ(
            history::parseDayLog(day, history::dayTime(600), history::dayTime(620)).records.size(),
            plainRead(day, history::dayTime(600), history::dayTime(620)).records.size());
    }
    QLocale::setDefault(QLocale::c());
    // And the stop at one record too many.
    const QByteArray full = QByteArray("<V>1</V><T>12:00</T>\r\n").repeated(10000);
    EXPECT_TRUE(plainRead(full, 0, 1).overLimit);
    EXPECT_TRUE(history::parseDayLog(full, 0, 1).overLimit);
    EXPECT_FALSE(history::parseDayLog(full.left(full.size() / 10000 * 9999), 0, 1).overLimit);
}

// ---- Chart geometry ----

TEST(ChartGeometry, ExtremesCountTheirStartValues)
{
    HistoryStore store;
    for (int k = 1; k <= 3; ++k) {
        store.Values[kVolts][k] = 12 + k;
        store.Values[kAmps][k] = -2 + k;
        store.Values[kWatts][k] = 5 * k;
        store.Values[kRpm][k] = 1000 + k;
        store.Values[kWind][k] = 3;
    }
    const std::vector<int> rows{1, 2, 3};
    history::Extremes e = history::viewExtremes(store, rows, false);
    EXPECT_EQ(e.max[kVolts], 15);
    EXPECT_EQ(e.min[kVolts], 13);
    EXPECT_EQ(e.max[kAmps], 1);
    EXPECT_EQ(e.min[kAmps], -1);
    EXPECT_EQ(e.max[kWatts], 15);
    EXPECT_EQ(e.min[kWatts], 5);
    EXPECT_EQ(e.max[kRpm], 1003);
    EXPECT_EQ(e.min[kRpm], 1000); // the start value wins
    EXPECT_EQ(e.max[kWind], 3);
    EXPECT_EQ(e.min[kWind], 3);
    e = history::viewExtremes(store, rows, true);
    EXPECT_EQ(e.min[kVolts], 0);
    EXPECT_EQ(history::extremeTexts(e, QStringLiteral("km/h")).min[kVolts], QStringLiteral("0 V"));
    EXPECT_EQ(history::extremeTexts(e, QStringLiteral("km/h")).max[kWind],
              QStringLiteral("3 km/h"));
    EXPECT_EQ(history::extremeTexts(e, QString()).max[kRpm], QStringLiteral("1003 RPM"));
    // Nothing in view keeps the start values themselves.
    e = history::viewExtremes(store, {}, false);
    EXPECT_EQ(e.max[kAmps], -500);
    EXPECT_EQ(e.min[kWatts], 2000);
    EXPECT_EQ(e.min[kVolts], 100);
}

TEST(ChartGeometry, ScalesLeaveAFortySecondOfTheHeightAtEachEnd)
{
    const history::SeriesScale s = history::seriesScale(14, 12);
    EXPECT_EQ(s.span, 2);
    EXPECT_DOUBLE_EQ(s.range, 2.1);
    EXPECT_DOUBLE_EQ(history::plotY(s, 14) / s.range, 1.0 / 42);
    EXPECT_DOUBLE_EQ(history::plotY(s, 12) / s.range, 41.0 / 42);
    EXPECT_DOUBLE_EQ(history::plotY(s, 13) / s.range, 0.5);
    const history::SeriesScale flat = history::seriesScale(5, 5);
    EXPECT_EQ(flat.range, 2);
    EXPECT_EQ(history::plotY(flat, 5), 1);
    // A zero line only for values strictly on both sides of 0, where 0 plots.
    const history::SeriesScale amps = history::seriesScale(10, -5);
    ASSERT_TRUE(history::zeroLineY(amps));
    EXPECT_DOUBLE_EQ(*history::zeroLineY(amps), 10 + 15.0 / 40);
    EXPECT_DOUBLE_EQ(*history::zeroLineY(amps), history::plotY(amps, 0));
    EXPECT_FALSE(history::zeroLineY(history::seriesScale(10, 0)));
    EXPECT_FALSE(history::zeroLineY(history::seriesScale(0, -3)));
}

TEST(ChartGeometry, PositionsRowsAndShading)
{
    struct Case
    {
        double start, end;
        std::vector<int> rows;
    };
    const Case cases[] = {{1, 5, {1, 2, 3, 4, 5}},
                          {2.2, 6, {2, 3, 4, 5}},
                          {0.4, 2.9, {0, 1, 2}},
                          {2.5, 5, {2, 4, 4}},
                          {9998, 10000, {9998, 9999, 10000}}};
    for (const Case& c : cases) {
        EXPECT_EQ(history::viewSlots(history::clampView(c.start, c.end)), c.rows) << c.start;
    }
    // Views beyond the slots that exist are held to them.
    EXPECT_EQ(history::clampView(-3, 12000).start, 0);
    EXPECT_EQ(history::clampView(-3, 12000).end, 10000);
    EXPECT_EQ(history::slotOf(2.5), 2);
    EXPECT_EQ(history::slotOf(3.5), 4);
    EXPECT_EQ(history::slotOf(1e9), 10000);

    HistoryStore store;
    store.RecordCount = 6;
    store.ViewStart = 1;
    store.ViewEnd = 6;
    const std::int16_t modes[] = {0, 1, 1, 1, 0, 1, 1};
    for (int k = 1; k <= 6; ++k) {
        store.Mode[k] = modes[k];
        store.Values[kVolts][k] = 10;
        store.Values[kWatts][k] = k;
    }
    history::SeriesFlags flags;
    flags.shown[kVolts] = true;
    flags.RefVZero = true;
    const history::ChartPlan plan = history::planChart(store, flags);
    ASSERT_TRUE(plan.drawn);
    EXPECT_EQ(plan.width, 5);
    EXPECT_EQ(plan.rowSlots.size(), 6u);
    // Box i spans x i-1 to i for the record at position i; the first one on the watts scale
    // (range 5.25), the later ones on that of volts (the last series drawn: 10.5).
    ASSERT_EQ(plan.shading.size(), 3u);
    EXPECT_EQ(plan.shading[0].x1, 0);
    EXPECT_EQ(plan.shading[0].x2, 1);
    EXPECT_DOUBLE_EQ(plan.shading[0].depth, 10 / 5.25);
    EXPECT_EQ(plan.shading[1].x1, 1);
    EXPECT_EQ(plan.shading[1].x2, 2);
    EXPECT_DOUBLE_EQ(plan.shading[1].depth, 10 / 10.5);
    EXPECT_EQ(plan.shading[2].x1, 3); // slot 5 and 6 side by side make one run
    EXPECT_EQ(plan.shading[2].x2, 5);
    store.ViewStart = store.ViewEnd = 3;
    EXPECT_FALSE(history::planChart(store, flags).drawn);
}

TEST(ChartGeometry, PlainNumbers)
{
    const std::pair<double, const char*> cases[] = {{12.5, "12.5"},
                                                    {0, "0"},
                                                    {-3.25, "-3.25"},
                                                    {40, "40"},
                                                    {1e-5, "0.00001"},
                                                    {-1.5e-5, "-0.000015"},
                                                    {1.5e15, "1500000000000000"},
                                                    {0.1 + 0.2, "0.3"},
                                                    {123456.789, "123456.789"}};
    for (const auto& [value, text] : cases)
        EXPECT_EQ(core::plainNumberText(value), QString::fromLatin1(text)) << text;
}

// ---- The chart on screen ----

TEST_F(GraphWindow, DrawsTheSeriesShadingAndZeroLinesIntoThePicture)
{
    // Flat volts, amps on both sides of 0, the load on throughout.
    QByteArray text;
    for (int k = 1; k <= 20; ++k) {
        const QByteArray t = QStringLiteral("11:%1").arg(k, 2, 10, QLatin1Char('0')).toLatin1();
        text += record(12.5, k % 2 ? 3 : -1, 0, 0, 0, 1, t.data());
    }
    writeDay(QStringLiteral("2024_3_7.txt"), text);
    auto g = open();
    child<QCheckBox>(*g, "Check2")->setChecked(false);
    child<QCheckBox>(*g, "Check3")->setChecked(false);
    child<QCheckBox>(*g, "Check4")->setChecked(false);
    child<QCheckBox>(*g, "Check6")->setChecked(false);
    displayDay(*g);
    ASSERT_EQ(m_store.RecordCount, 20);
    const QImage& pic = g->picture();
    ASSERT_EQ(pic.size(), QSize(757, 349));
    // The flat volts line at mid-height, red all along, on the light blue load band.
    for (const int x : {5, 300, 700})
        EXPECT_EQ(grabbed(*g, x, 349 / 2), kRed) << x;
    EXPECT_EQ(grabbed(*g, 300, 100), kShade);
    EXPECT_EQ(textOf(*g, "VMax1"), QStringLiteral("12.5 V"));
    EXPECT_EQ(textOf(*g, "VMin1"), QStringLiteral("12.5 V"));
    EXPECT_EQ(textOf(*g, "AMin1"), QStringLiteral("-1 A"));
    EXPECT_EQ(textOf(*g, "SMin1"), QStringLiteral("0 km/h"));

    // Every series box off: no series colour is left, only the band and the zero lines.
    child<QCheckBox>(*g, "Check1")->setChecked(false);
    bool seriesColour = false;
    bool zeroLine = false;
    const QImage shown = child<QLabel>(*g, "Plot")->grab().toImage();
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            const QColor c = shown.pixelColor(x, y);
            seriesColour = seriesColour || c == kRed || c == QColor(0, 255, 0) ||
                           c == QColor(0, 0, 255) || c == QColor(255, 255, 0) ||
                           c == QColor(255, 255, 255);
            zeroLine = zeroLine || (c != kShade && c != kGround);
        }
    }
    EXPECT_FALSE(seriesColour);
    EXPECT_TRUE(zeroLine);
    // "Ref V to 0v" moves the volts axis even with volts hidden.
    child<QCheckBox>(*g, "Check6")->setChecked(true);
    EXPECT_EQ(textOf(*g, "VMin1"), QStringLiteral("0 V"));
}

TEST_F(GraphWindow, ListsTheRecordsInView)
{
    writeDay(QStringLiteral("2024_3_7.txt"), tenRecords());
    auto g = open();
    displayDay(*g);
    QAbstractItemModel* m = list(*g);
    ASSERT_EQ(m->rowCount(), 10);
    ASSERT_EQ(m->columnCount(), 8);
    const QStringList titles{QString(),
                             QStringLiteral("Mode"),
                             QStringLiteral("Volts"),
                             QStringLiteral("Amps"),
                             QStringLiteral("Watts"),
                             QStringLiteral("RPM"),
                             QStringLiteral("km/h"),
                             QStringLiteral("Time")};
    for (int c = 0; c < 8; ++c)
        EXPECT_EQ(m->headerData(c, Qt::Horizontal).toString(), titles[c]);
    const QStringList row4{QString(),
                           QStringLiteral(" 1"),
                           QStringLiteral(" 15"),
                           QStringLiteral(" 5"),
                           QStringLiteral(" 100"),
                           QStringLiteral(" 500"),
                           QStringLiteral(" 2.5"),
                           QStringLiteral(" 10:05")};
    for (int c = 0; c < 8; ++c)
        EXPECT_EQ(cell(*g, 4, c), row4[c]) << c;
}

// The list's records go to a CSV file the user chooses (the day's name in the logs folder
// suggested), one row each with the values as loaded, whatever the locale; Enter presses the
// button.
TEST_F(GraphWindow, SavesTheListedRecordsAsCsv)
{
    writeDay(QStringLiteral("2024_3_7.txt"), tenRecords());
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    auto g = open();
    auto* save = child<QPushButton>(*g, "SaveCsv");
    EXPECT_FALSE(save->isEnabled()); // nothing on show yet
    displayDay(*g, QStringLiteral("10:02"), QStringLiteral("10:06"));
    ASSERT_TRUE(save->isEnabled());
    QString suggested;
    const QString chosen = m_tmp.filePath(QStringLiteral("out.csv"));
    ui::setSaveFileHandler([&](const QString& path) {
        suggested = path;
        return chosen;
    });
    // Removed even when an assertion below ends the test early.
    const auto restore = qScopeGuard([] { ui::setSaveFileHandler({}); });
    save->setFocus();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(save, &enter);
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(chosen); }));
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(suggested, m_app.logsDir() + QStringLiteral("2024-03-07.csv"));
    const QList<QByteArray> lines = fileBytes(chosen).split('\n');
    EXPECT_TRUE(lines[0].startsWith("date,time,mode,volts,amps,watts,rpm,wind_speed"));
    ASSERT_EQ(lines.size(), 1 + list(*g)->rowCount() + 1) << fileBytes(chosen).toStdString();
    EXPECT_TRUE(lines[1].startsWith("2024-03-07,")) << lines[1].toStdString();
    EXPECT_TRUE(lines[3].contains(",2.5")) << lines[3].toStdString(); // a point, never a comma
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].contains(chosen));
    // The query's labels name their boxes.
    EXPECT_EQ(child<QLabel>(*g, "Label1")->buddy(), child<QLineEdit>(*g, "DateY1"));
    EXPECT_EQ(child<QLineEdit>(*g, "Time2m")->accessibleName(), QStringLiteral("To minute"));
}

// The controls, captions, titles and colours made from the quantity table, one quantity a row,
// as the window has always named and shown them.
TEST_F(GraphWindow, SeriesControlsKeepTheirNamesCaptionsAndColours)
{
    struct Case
    {
        core::Quantity q;
        const char *readout, *readoutText, *max, *maxText, *min, *minText, *box, *caption;
        QColor ground, line;
        int column;
        const char* title;
    };
    const Case cases[] = {
        {kVolts,
         "vv",
         "15 Volts",
         "VMax1",
         "20 V",
         "VMin1",
         "0 V",
         "Check1",
         "Volts",
         {255, 0, 0},
         {255, 0, 0},
         2,
         "Volts"},
        {kAmps,
         "av",
         "5 Amps",
         "AMax1",
         "10 A",
         "AMin1",
         "1 A",
         "Check2",
         "Amps",
         {0, 255, 0},
         {0, 255, 0},
         3,
         "Amps"},
        {kWatts,
         "wv",
         "100 Watts",
         "WMax1",
         "200 W",
         "WMin1",
         "20 W",
         "Check3",
         "Watts",
         {128, 128, 255},
         {0, 0, 255},
         4,
         "Watts"},
        {kRpm,
         "rv",
         "500 RPM",
         "RMax1",
         "1000 RPM",
         "RMin1",
         "100 RPM",
         "Check4",
         "RPM",
         {255, 255, 0},
         {255, 255, 0},
         5,
         "RPM"},
        {kWind,
         "sv",
         "2.5 km/h",
         "SMax1",
         "5 km/h",
         "SMin1",
         "0.5 km/h",
         "Check5",
         "Wind Speed",
         {255, 255, 255},
         {255, 255, 255},
         6,
         "km/h"},
    };
    ASSERT_EQ(std::size(cases), core::kLogged.size());
    writeDay(QStringLiteral("2024_3_7.txt"), tenRecords());
    auto g = open();
    displayDay(*g);
    mouse(*g, QEvent::MouseMove, px(*g, 4.7), false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box);
        EXPECT_EQ(textOf(*g, c.readout), QString::fromLatin1(c.readoutText));
        EXPECT_EQ(textOf(*g, c.max), QString::fromLatin1(c.maxText));
        EXPECT_EQ(textOf(*g, c.min), QString::fromLatin1(c.minText));
        QCheckBox* box = child<QCheckBox>(*g, c.box);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), QString::fromLatin1(c.caption));
        EXPECT_EQ(box->palette().color(QPalette::Window), c.ground);
        EXPECT_EQ(list(*g)->headerData(c.column, Qt::Horizontal).toString(),
                  QString::fromLatin1(c.title));
    }
    // Each series alone, in its line colour where its own scale puts record 5: x 4 of the chart's
    // 9, y (max - value + span / 40) of a range of 21/20 span, the extremes being those shown
    // (volts from 0, as "Ref V to 0v" is ticked).
    const struct
    {
        const char* box;
        double max, min, value;
    } record5[] = {{"Check1", 20, 0, 15},
                   {"Check2", 10, 1, 5},
                   {"Check3", 200, 20, 100},
                   {"Check4", 1000, 100, 500},
                   {"Check5", 5, 0.5, 2.5}};
    const QSizeF size = g->picture().deviceIndependentSize();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box);
        const auto r = std::find_if(std::begin(record5), std::end(record5), [&](const auto& row) {
            return std::strcmp(row.box, c.box) == 0;
        });
        ASSERT_NE(r, std::end(record5));
        const double span = r->max - r->min;
        const QPoint at(
            int(std::lround(4.0 / 9 * size.width())),
            int(std::lround((r->max - r->value + span / 40) / (span * 21 / 20) * size.height())));
        for (const Case& other : cases)
            child<QCheckBox>(*g, other.box)->setChecked(other.q == c.q);
        const QImage shown = child<QLabel>(*g, "Plot")->grab().toImage();
        int near = 0;
        int anywhere = 0;
        for (int y = 0; y < shown.height(); ++y) {
            for (int x = 0; x < shown.width(); ++x) {
                if (shown.pixelColor(x, y) != c.line)
                    continue;
                ++anywhere;
                near += std::abs(x - at.x()) <= 1 && std::abs(y - at.y()) <= 1;
            }
        }
        EXPECT_GT(near, 0) << "at " << at.x() << "," << at.y();
        EXPECT_GT(anywhere, shown.width() / 2) << "a line across the chart";
    }
    QCheckBox* refV = child<QCheckBox>(*g, "Check6");
    ASSERT_NE(refV, nullptr);
    EXPECT_EQ(refV->text(), QStringLiteral("Ref V to 0v"));
    EXPECT_EQ(refV->palette().color(QPalette::Window), QColor(0, 64, 0));
}

// ---- Pointer, zoom and toggles ----

TEST_F(GraphWindow, PointerReadsTheRecordUnderIt)
{
    writeDay(QStringLiteral("2024_3_7.txt"), tenRecords());
    auto g = open();
    mouse(*g, QEvent::MouseMove, 300, false); // nothing loaded yet
    EXPECT_EQ(textOf(*g, "vv"), QStringLiteral("0"));
    displayDay(*g);
    ASSERT_EQ(g->chartWidth(), 9);
    mouse(*g, QEvent::MouseMove, px(*g, 4.7), false);
    EXPECT_EQ(textOf(*g, "vv"), QStringLiteral("15 Volts"));
    EXPECT_EQ(textOf(*g, "av"), QStringLiteral("5 Amps"));
    EXPECT_EQ(textOf(*g, "wv"), QStringLiteral("100 Watts"));
    EXPECT_EQ(textOf(*g, "rv"), QStringLiteral("500 RPM"));
    EXPECT_EQ(textOf(*g, "sv"), QStringLiteral("2.5 km/h"));
    EXPECT_EQ(textOf(*g, "vt"), QStringLiteral("10:05"));
    // Off the chart's edges the readout stays as it was.
    mouse(*g, QEvent::MouseMove, -40, false);
    mouse(*g, QEvent::MouseMove, 800, false);
    EXPECT_EQ(textOf(*g, "vt"), QStringLiteral("10:05"));
    // The readout covers hidden series too.
    for (const char* box : {"Check1", "Check2", "Check3", "Check4", "Check5"})
        child<QCheckBox>(*g, box)->setChecked(false);
    mouse(*g, QEvent::MouseMove, px(*g, 1.2), false);
    EXPECT_EQ(textOf(*g, "vv"), QStringLiteral("12 Volts"));
    EXPECT_EQ(g->buttonDown(), 0);
}

TEST_F(GraphWindow, DraggingRightZoomsOnceUntilTheNextDisplay)
{
    writeDay(QStringLiteral("2024_3_7.txt"), tenRecords());
    auto g = open();
    displayDay(*g);
    const double from = px(*g, 2.2);
    const double to = px(*g, 6.0);
    mouse(*g, QEvent::MouseButtonPress, from, true);
    EXPECT_EQ(g->buttonDown(), 1);
    mouse(*g, QEvent::MouseMove, to, true);
    // The selection line runs along the top edge from the press to the pointer.
    EXPECT_EQ(grabbed(*g, int(from) + 2, 0), kRed);
    EXPECT_EQ(grabbed(*g, int(to) - 2, 0), kRed);
    EXPECT_NE(grabbed(*g, int(to) + 20, 0), kRed);
    mouse(*g, QEvent::MouseButtonRelease, to, false);
    EXPECT_EQ(g->buttonDown(), 0);
    EXPECT_EQ(m_store.Zoomed, 1);
    EXPECT_NEAR(m_store.ViewStart, 2.2, 1e-5);
    EXPECT_NEAR(m_store.ViewEnd, 6.0, 1e-5);
    ASSERT_EQ(list(*g)->rowCount(), 4); // positions 2.2, 3.2, 4.2, 5.2
    EXPECT_EQ(cell(*g, 0, 7), QStringLiteral(" 10:02"));
    EXPECT_EQ(textOf(*g, "stime"), QStringLiteral("10:02"));
    EXPECT_EQ(textOf(*g, "ftime"), QStringLiteral("10:06"));

    // Zoomed: a drag draws no selection line and zooms no further.
    const double width = g->chartWidth();
    mouse(*g, QEvent::MouseButtonPress, 100, true);
    mouse(*g, QEvent::MouseMove, 600, true);
    EXPECT_NE(grabbed(*g, 300, 0), kRed);
    mouse(*g, QEvent::MouseButtonRelease, 600, false);
    EXPECT_EQ(g->chartWidth(), width);
    EXPECT_EQ(list(*g)->rowCount(), 4);
    // The readout now reads the zoomed view.
    mouse(*g, QEvent::MouseMove, px(*g, 1.5), false);
    EXPECT_EQ(textOf(*g, "vt"), QStringLiteral("10:03"));

    displayDay(*g);
    EXPECT_EQ(m_store.Zoomed, 0);
    EXPECT_EQ(m_store.ViewStart, 1);
    EXPECT_EQ(m_store.ViewEnd, 10);
    EXPECT_EQ(list(*g)->rowCount(), 10);
}

TEST_F(GraphWindow, AReleaseAtOrLeftOfThePressDoesNotZoom)
{
    writeDay(QStringLiteral("2024_3_7.txt"), tenRecords());
    auto g = open();
    displayDay(*g);
    const double at = px(*g, 5);
    mouse(*g, QEvent::MouseButtonPress, at, true);
    mouse(*g, QEvent::MouseMove, at + 50, true);
    mouse(*g, QEvent::MouseMove, at - 50, true);
    mouse(*g, QEvent::MouseButtonRelease, at - 50, false);
    EXPECT_EQ(m_store.Zoomed, 0);
    EXPECT_EQ(list(*g)->rowCount(), 10); // not redrawn
    // The selection line drawn so far stays, dragging back did not shorten it.
    EXPECT_EQ(grabbed(*g, int(at) + 40, 0), kRed);
    EXPECT_EQ(grabbed(*g, int(at) - 40, 0), kRed);
    mouse(*g, QEvent::MouseButtonPress, at, true);
    mouse(*g, QEvent::MouseButtonRelease, at, false);
    EXPECT_EQ(m_store.Zoomed, 0);
    EXPECT_NEAR(m_store.ViewStart, 5, 1e-5);
    // The next redraw starts the view at the press, still unzoomed.
    child<QCheckBox>(*g, "Check5")->setChecked(true);
    EXPECT_EQ(list(*g)->rowCount(), 6);
    EXPECT_NE(grabbed(*g, int(at) + 40, 0), kRed);
}

TEST_F(GraphWindow, ZoomEdgesReachSlotZeroAndStopAtTheLastSlot)
{
    writeDay(QStringLiteral("2024_3_7.txt"), tenRecords());
    auto g = open();
    displayDay(*g);
    mouse(*g, QEvent::MouseButtonPress, px(*g, 0.3), true);
    mouse(*g, QEvent::MouseButtonRelease, px(*g, 3), false);
    ASSERT_EQ(m_store.Zoomed, 1);
    EXPECT_EQ(cell(*g, 0, 7), QStringLiteral(" 00:00"));
    EXPECT_EQ(cell(*g, 0, 2), QStringLiteral(" 0"));
    EXPECT_EQ(cell(*g, 1, 7), QStringLiteral(" 10:01"));

    displayDay(*g);
    mouse(*g, QEvent::MouseButtonPress, px(*g, 8), true);
    mouse(*g, QEvent::MouseButtonRelease, 1e7, false); // held far beyond the right edge
    ASSERT_EQ(m_store.Zoomed, 1);
    EXPECT_EQ(m_store.ViewEnd, history::kLastSlot);
    EXPECT_EQ(list(*g)->rowCount(), history::kLastSlot - 8 + 1);
    EXPECT_EQ(cell(*g, 2, 2), QStringLiteral(" 20")); // record 10, then empty slots
    EXPECT_EQ(cell(*g, 3, 2), QStringLiteral(" 0"));
}

// ---- Opening the window ----

TEST_F(GraphWindow, SetsUpFromTheClockAndProgCfg)
{
    auto g = open();
    EXPECT_EQ(g->objectName(), QStringLiteral("Graph"));
    EXPECT_EQ(g->windowTitle(), QStringLiteral("Data Graph"));
    EXPECT_EQ(g->size(), QSize(758, 550));
    EXPECT_EQ(textOf(*g, "DateY1"), QStringLiteral("2024"));
    EXPECT_EQ(textOf(*g, "DateM1"), QStringLiteral("3"));
    EXPECT_EQ(textOf(*g, "DateD1"), QStringLiteral("7"));
    EXPECT_EQ(textOf(*g, "Time1h"), QStringLiteral("00"));
    EXPECT_EQ(textOf(*g, "Time2m"), QStringLiteral("59"));
    const history::SeriesFlags& f = g->seriesFlags();
    EXPECT_EQ(std::vector<bool>({f.shown[kVolts], f.shown[kAmps], f.shown[kWatts], f.shown[kRpm],
                                 f.shown[kWind], f.RefVZero}),
              std::vector<bool>({true, true, true, true, false, true}));
    EXPECT_EQ(list(*g)->headerData(6, Qt::Horizontal).toString(), QStringLiteral("km/h"));

    ASSERT_TRUE(QFile::remove(m_app.progCfg()));
    auto wide = open(974);
    EXPECT_EQ(wide->size(), QSize(974, 557));
    EXPECT_EQ(child<QLabel>(*wide, "Plot")->size(), QSize(969, 349));
    EXPECT_EQ(wide->picture().width(), 969);
    EXPECT_FALSE(wide->seriesFlags().shown[kRpm]);
    EXPECT_FALSE(wide->seriesFlags().shown[kWind]);
    EXPECT_EQ(list(*wide)->headerData(6, Qt::Horizontal).toString(), QString());
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(GraphWindow, TheStoreOutlivesTheWindow)
{
    {
        Graph own(m_store, m_app, core::Clock::fixed(m_now), 758, nullptr);
        EXPECT_EQ(&own.store(), &m_store);
    }
    writeDay(QStringLiteral("2024_3_7.txt"), tenRecords());
    auto g = open();
    displayDay(*g);
    mouse(*g, QEvent::MouseButtonPress, px(*g, 2), true);
    mouse(*g, QEvent::MouseButtonRelease, px(*g, 5), false);
    ASSERT_EQ(m_store.Zoomed, 1);
    g.reset();

    g = open();
    EXPECT_EQ(m_store.RecordCount, 10);
    EXPECT_EQ(m_store.Values[kVolts][10], 20);
    EXPECT_EQ(m_store.ViewStart, 0);
    EXPECT_EQ(m_store.ViewEnd, 0);
    EXPECT_EQ(list(*g)->rowCount(), 0);
    // No chart in this opening yet: the pointer reads nothing, a drag does nothing.
    mouse(*g, QEvent::MouseMove, 300, false);
    mouse(*g, QEvent::MouseButtonPress, 100, true);
    mouse(*g, QEvent::MouseMove, 300, true);
    mouse(*g, QEvent::MouseButtonRelease, 300, false);
    EXPECT_EQ(textOf(*g, "vv"), QStringLiteral("0"));
    EXPECT_EQ(g->picture().pixelColor(200, 0), kGround);
    child<QCheckBox>(*g, "Check5")->setChecked(true);
    EXPECT_EQ(list(*g)->rowCount(), 0);
    displayDay(*g);
    EXPECT_EQ(m_store.Zoomed, 0);
    EXPECT_EQ(list(*g)->rowCount(), 10);
}

// ---- The simulated board's day file, read back ----

TEST(DayLog, NumbersAreWrittenAsTheProgramWritesThem)
{
    for (const double v : {0.0, 0.5, 13.62, 40.0, -1.25, 1e-5, 1.5e15, 0.0001, 123456789012345678.0,
                           1.0 / 3, -2.5e-7, 100.0, 99999999999999.9}) {
        EXPECT_EQ(QString::fromStdString(sim::logNumberText(v)), core::numberText(v)) << v;
    }
    sim::LogValues r;
    r.volts = 13.62;
    r.amps = 4.15;
    r.watts = 56.52;
    r.rpm = 412.5;
    r.windSpeed = 18.3;
    r.mode = 1;
    r.secondOfDay = 14 * 3600 + 5 * 60 + 59;
    EXPECT_EQ(sim::logRecordText(r),
              "<V>13.62</V><I>4.15</I><W>56.52</W><R>412.5</R><S>18.3</S><M>1</M><T>14:05</T>\r\n");
}

TEST_F(GraphWindow, ShowsADayTheSimulatedBoardLogged)
{
    const std::string day = sim::dayLogText(sim::DayLogShape{});
    writeDay(QStringLiteral("2024_3_7.txt"), QByteArray::fromStdString(day));
    auto g = open();
    displayDay(*g);
    EXPECT_TRUE(m_messages.isEmpty());
    // Every 10 s from 00:00:00 to 23:59:50; the six of each end minute lie outside the range.
    ASSERT_EQ(m_store.RecordCount, 8640 - 12);
    int loadOn = 0;
    for (int k = 1; k <= m_store.RecordCount; ++k) {
        EXPECT_GE(m_store.Values[kVolts][k], 12);
        EXPECT_LE(m_store.Values[kVolts][k], 14.5);
        EXPECT_GE(m_store.Values[kAmps][k], 0);
        loadOn += m_store.Mode[k];
    }
    EXPECT_GT(loadOn, 0);
    EXPECT_LT(loadOn, m_store.RecordCount);
    EXPECT_EQ(textOf(*g, "stime"), QStringLiteral("00:01"));
    EXPECT_EQ(textOf(*g, "ftime"), QStringLiteral("23:58"));
}

} // namespace
