#include "monitor/meterface.h"
#include "tests/logger_window.h"

#include <QPixmap>
#include <cmath>
#include <numbers>

namespace {

using namespace Qt::StringLiterals;

using monitor::needleGeometry;
using monitor::needleTip;

TEST(NeedleGeometry, FromTheFaceSize)
{
    const auto small = needleGeometry(QSize(172, 100));
    EXPECT_EQ(small.centreX, 86);
    EXPECT_EQ(small.centreY, 88);
    EXPECT_EQ(small.radius, 81.0f);
    EXPECT_EQ(small.inner, 8);
    const auto large = needleGeometry(QSize(174, 101));
    EXPECT_EQ(large.centreX, 87);
    EXPECT_EQ(large.centreY, 89);
    EXPECT_EQ(large.radius, 82.0f);
    EXPECT_EQ(large.inner, 8);
}

TEST(NeedleGeometry, TipsAndPegs)
{
    const auto geo = needleGeometry(QSize(172, 100));
    struct Case
    {
        double value, fullScale, x, y;
    } cases[] = {
        {50, 100, 86, 15},
        {0, 100, 13, 88},
        {100, 100, 159, 88},
        {1500, 3000, 86, 15},
        {-4.2, 100, 13, 88},
        {3500, 3000, 159, 88}, // pinned at the pegs
        {25, 100, 86 - 73 / std::sqrt(2.0), 88 - 73 / std::sqrt(2.0)},
    };
    for (const Case& c : cases) {
        const QPointF tip = needleTip(geo, c.value, c.fullScale);
        EXPECT_NEAR(tip.x(), c.x, 1e-9) << c.value << "/" << c.fullScale;
        EXPECT_NEAR(tip.y(), c.y, 1e-9) << c.value << "/" << c.fullScale;
    }
}

// The black pixels of a rendered meter, which only the needle uses.
std::vector<QPoint> blackPixels(const QImage& image)
{
    std::vector<QPoint> out;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == QColor(Qt::black))
                out.emplace_back(x, y);
    return out;
}

double distanceToSegment(QPointF p, QPointF a, QPointF b)
{
    const QPointF ab = b - a;
    const double t =
        std::clamp(QPointF::dotProduct(p - a, ab) / QPointF::dotProduct(ab, ab), 0.0, 1.0);
    const QPointF d = p - (a + t * ab);
    return std::hypot(d.x(), d.y());
}

// Every black pixel lies on the needle's line, and the line is black along its length.
void expectNeedle(const QImage& image, QPointF tip)
{
    const QPointF centre(86, 88);
    const auto black = blackPixels(image);
    ASSERT_GT(black.size(), 100u);
    for (const QPoint& p : black)
        ASSERT_LE(distanceToSegment(p, centre, tip), 2.6) << p.x() << "," << p.y();
    for (double t = 0.1; t <= 0.95; t += 0.05) {
        const QPointF p = centre + t * (tip - centre);
        EXPECT_EQ(image.pixelColor(p.toPoint()), QColor(Qt::black)) << t;
    }
}

class Meters : public LoggerWindow
{
protected:
    QImage meter(monitor::Logger& w, const char* name)
    {
        return child<QLabel>(w, name)->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    qint64 pictureKey(monitor::Logger& w, const char* name)
    {
        return child<QLabel>(w, name)->pixmap().cacheKey();
    }
    // A frame whose only value is the volts: V is volts x 40 with the test constants.
    void sendVolts(sim::PseudoTerminal& pty, monitor::Logger& w, double volts)
    {
        const QString v = QString::number(volts * 40, 'f', 2);
        send(pty, QStringLiteral("[<V>%1</V><I>512</I><M>0</M>]").arg(v).toStdString());
        ASSERT_TRUE(waitFor([&] { return w.reading()[core::kVolts] == volts; })) << volts;
    }
};

TEST_F(Meters, RenderedNeedleFollowsTheValue)
{
    auto pty = line(1);
    auto w = start();
    EXPECT_TRUE(blackPixels(meter(*w, "Picture1_0")).empty()); // no needle before a value
    sendVolts(*pty, *w, 50);
    expectNeedle(meter(*w, "Picture1_0"), QPointF(86, 15));
    sendVolts(*pty, *w, 0);
    expectNeedle(meter(*w, "Picture1_0"), QPointF(13, 88));
    sendVolts(*pty, *w, 130); // past the end: readout true, needle at the peg
    EXPECT_EQ(child<QLabel>(*w, "Label5_0")->text(), QStringLiteral("130"));
    expectNeedle(meter(*w, "Picture1_0"), QPointF(159, 88));

    // Covered and restored, the needle is still there.
    w->hide();
    w->showMinimized();
    w->showNormal();
    expectNeedle(meter(*w, "Picture1_0"), QPointF(159, 88));
}

// Each meter on its own full scale, as the window's meter table gives them (volts, amps and wind
// 100, watts and RPM 1000, watt-hours 3000): the needle of a 172 x 100 face turns about its hub
// at (86, 88), 73 pixels long, from straight left at 0 over the top to straight right at the full
// scale, so half the scale points straight up and three quarters at 45 degrees right of it.
TEST_F(Meters, EachNeedleTurnsOnItsOwnScale)
{
    const double diagonal = 73 / std::sqrt(2.0);
    const struct Row
    {
        const char* face;
        const char* readout;
        std::string frame; // with kSettings: V / 40 volts, (I - 512) / 2 amps, R x 30 RPM, S / 5
        int energyTicks;   // 5 s apart, a frame after each
        const char* shown;
        QPointF tip;
    } rows[] = {
        {"Picture1_0", "Label5_0", "[<V>2000</V><I>512</I>]", 0, "50", {86, 15}},
        {"Picture1_0",
         "Label5_0",
         "[<V>3000</V><I>512</I>]",
         0,
         "75",
         {86 + diagonal, 88 - diagonal}},
        {"Picture1_1", "Label5_1", "[<V>0</V><I>612</I>]", 0, "50", {86, 15}},
        {"Picture1_1", "Label5_1", "[<V>0</V><I>712</I>]", 0, "100", {159, 88}},
        {"Picture1_2", "Label5_2", "[<V>400</V><I>612</I>]", 0, "500", {86, 15}}, // 10 V, 50 A
        {"Picture1_2",
         "Label5_2",
         "[<V>600</V><I>612</I>]",
         0,
         "750",
         {86 + diagonal, 88 - diagonal}},
        {"Picture1_4",
         "Label5_4",
         "[<V>0</V><I>512</I><R>25</R>]",
         0,
         "750",
         {86 + diagonal, 88 - diagonal}},
        // Three tenths of the scale: 54 degrees up from straight left.
        {"Picture1_4",
         "Label5_4",
         "[<V>0</V><I>512</I><R>10</R>]",
         0,
         "300",
         {86 - 73 * std::cos(0.3 * std::numbers::pi), 88 - 73 * std::sin(0.3 * std::numbers::pi)}},
        {"Picture1_5", "Label5_5", "[<V>0</V><I>512</I><S>250</S>]", 0, "50", {86, 15}},
        {"Picture1_5", "Label5_5", "[<V>0</V><I>512</I><S>500</S>]", 0, "100", {159, 88}},
        // 90 V at 400 A is 36000 W, 50 Wh every 5 s: 30 ticks make 1500 Wh, half the scale.
        {"Picture1_3", "Label5_3", "[<V>3600</V><I>1312</I>]", 30, "1500", {86, 15}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.face + (" " + row.frame));
        auto pty = line(1);
        auto w = start();
        int frames = 0;
        QObject::connect(&w->station(), &station::Station::freshReading, [&] { ++frames; });
        for (int tick = 0; tick <= row.energyTicks; ++tick) {
            if (tick > 0) {
                m_now = m_now.addSecs(5);
                station::StationProbe::energyTick(w->station());
            }
            // Each tick counts the watts of a frame that has come.
            send(*pty, row.frame);
            ASSERT_TRUE(waitFor([&] { return frames > tick; }));
        }
        auto* readout = child<QLabel>(*w, row.readout);
        ASSERT_TRUE(waitFor([&] { return readout->text() == QString::fromLatin1(row.shown); }))
            << readout->text().toStdString();
        const QImage face = meter(*w, row.face);
        ASSERT_EQ(face.size(), QSize(172, 100));
        expectNeedle(face, row.tip);
        w->close();
    }
}

TEST_F(Meters, RedrawOnlyWhenTheWholeNumberChanges)
{
    auto pty = line(1);
    auto w = start();
    sendVolts(*pty, *w, 12.49);
    EXPECT_EQ(child<QLabel>(*w, "Label5_0")->text(), QStringLiteral("12"));
    const qint64 at12 = pictureKey(*w, "Picture1_0");
    sendVolts(*pty, *w, 12.51);
    EXPECT_EQ(child<QLabel>(*w, "Label5_0")->text(), QStringLiteral("13"));
    const qint64 at13 = pictureKey(*w, "Picture1_0");
    EXPECT_NE(at13, at12);
    sendVolts(*pty, *w, 12.6);
    sendVolts(*pty, *w, 12.9);
    EXPECT_EQ(pictureKey(*w, "Picture1_0"), at13);

    // The compact panel's readouts change with no needle anywhere else.
    const qint64 amps = pictureKey(*w, "Picture1_1");
    EXPECT_EQ(child<QLabel>(*w, "Label5_7")->text(), QStringLiteral("13"));
    send(*pty, "[<V>516</V><I>530</I><M>0</M>]"); // 12.9 V, 9 A
    ASSERT_TRUE(waitFor([&] { return w->reading()[core::kAmps] == 9; }));
    EXPECT_EQ(child<QLabel>(*w, "Label5_8")->text(), QStringLiteral("9"));
    EXPECT_NE(pictureKey(*w, "Picture1_1"), amps);
    EXPECT_EQ(pictureKey(*w, "Picture1_0"), at13);
}

TEST_F(Meters, ARecordFlashEndsWithTheDataFlash)
{
    auto pty = line(1);
    auto w = start();
    auto* data = child<QPushButton>(*w, "BlinkData");
    auto* log = child<QPushButton>(*w, "BlinkLog");
    EXPECT_EQ(data->palette().button().color(), QColor(Qt::white));
    send(*pty, kFrame);
    ASSERT_TRUE(waitFor([&] { return data->palette().button().color() == QColor(Qt::red); }));
    logTick(*w);
    EXPECT_EQ(log->palette().button().color(), QColor(Qt::red));
    w->Timer2_Timer();
    EXPECT_NE(data->palette().button().color(), QColor(Qt::red));
    EXPECT_NE(data->palette().button().color(), QColor(Qt::white));
    EXPECT_EQ(log->palette().button().color(), data->palette().button().color());
}

struct Placed
{
    const char* name;
    QRect rect;
    const char* caption;
};

void expectPlaced(QWidget& w, const std::vector<Placed>& places)
{
    for (const Placed& p : places) {
        auto* c = w.findChild<QWidget*>(QString::fromLatin1(p.name));
        ASSERT_NE(c, nullptr) << p.name;
        EXPECT_EQ(c->geometry(), p.rect) << p.name;
        if (p.caption) {
            // A centred name may lose leading blanks to fit its label, never a letter.
            const auto* label = qobject_cast<QLabel*>(c);
            const auto* button = qobject_cast<QPushButton*>(c);
            const QString shown = label ? label->text() : button->text();
            const QString caption = QString::fromLatin1(p.caption);
            EXPECT_TRUE(caption.endsWith(shown) && shown.trimmed() == caption.trimmed())
                << p.name << ": " << shown.toStdString();
        }
    }
}

TEST_F(Meters, LayoutOfBothPrograms)
{
    auto tessaly = start();
    expectPlaced(*tessaly, {{"Exit", {264, 0, 45, 21}, "Exit"},
                            {"ShowLogs", {864, 0, 45, 21}, "Graph"},
                            {"BlinkLog", {384, 8, 10, 9}, nullptr},
                            {"Picture1_4", {8, 235, 172, 100}, nullptr},
                            {"Picture1_3", {8, 585, 172, 100}, nullptr},
                            {"Label1", {8, 97, 121, 18}, "            VOLTS"},
                            {"Label5_6", {8, 332, 121, 18}, "           MILL RPM"},
                            {"Labe6_0", {592, 632, 121, 19}, "    WIND SPEED"},
                            {"Label5_13", {712, 680, 49, 19}, nullptr}});
    tessaly.reset();
    auto corvenna = start(programs::corvenna());
    expectPlaced(*corvenna, {{"StartLogging", {24, 132, 45, 21}, "Start"},
                             {"Exit", {664, 132, 45, 21}, "Exit"},
                             {"Picture1_5", {496, 0, 158, 100}, nullptr},
                             {"Label5_6", {336, 105, 110, 19}, "        MILL RPM"},
                             {"Labe6_1", {496, 105, 110, 19}, "  WIND SPEED"},
                             {"Label4", {816, 105, 110, 19}, " WATT HOURS"}});
    for (const char* absent : {"Label6", "Label11", "Labe6_0", "Label5_9", "Label5_7"})
        EXPECT_EQ(corvenna->findChild<QWidget*>(QString::fromLatin1(absent)), nullptr) << absent;
}

// Every caption of both main windows is shown whole inside its control, whatever font the
// desktop sets, and the meter faces are drawn with the screen's pixels.
TEST_F(Meters, CaptionsFitTheirControlsUnderAnyDesktopFont)
{
    const QFont desktop = QApplication::font();
    for (const int points : {9, 16}) {
        QFont big = desktop;
        big.setPointSize(points);
        QApplication::setFont(big);
        for (const auto& variant : {programs::tessaly(), programs::corvenna()}) {
            auto w = start(variant);
            for (QWidget* c : w->findChildren<QWidget*>()) {
                QString text;
                int room = c->width();
                if (const auto* label = qobject_cast<QLabel*>(c))
                    text = label->text();
                else if (const auto* button = qobject_cast<QPushButton*>(c))
                    text = button->text(), room -= 6; // the button's own frame
                else if (const auto* box = qobject_cast<QLineEdit*>(c))
                    text = box->text(), room -= 6;
                if (text.isEmpty() || c->objectName() == u"Status")
                    continue;
                // What another control covers is hidden too.
                for (QWidget* other : w->findChildren<QWidget*>()) {
                    if (other != c && other->isVisible() &&
                        other->parentWidget() == c->parentWidget() &&
                        other->y() < c->geometry().bottom() &&
                        other->geometry().bottom() > c->y() && other->x() > c->x() &&
                        other->x() < c->x() + room && other->objectName() != u"FocusFrame")
                        room = other->x() - c->x();
                }
                const int needed = QFontMetrics(c->font()).horizontalAdvance(text.trimmed());
                EXPECT_LE(needed, room) << variant.name.toStdString() << " " << points
                                        << " pt: " << c->objectName().toStdString() << " \""
                                        << text.toStdString() << "\"";
            }
        }
    }
    QApplication::setFont(desktop);
}

TEST_F(Meters, FacesAreSharpOnAScaledScreen)
{
    const QImage face = monitor::meterFace(QSize(172, 100), 100, u"VOLTS"_s, 2.0);
    EXPECT_EQ(face.size(), QSize(344, 200));
    EXPECT_EQ(face.deviceIndependentSize().toSize(), QSize(172, 100));
    // The needle keeps its geometry in the layout's pixels.
    const QImage one =
        monitor::faceWithNeedle(monitor::meterFace(QSize(172, 100), 100, {}), 50, 100);
    const QImage two = monitor::faceWithNeedle(face, 50, 100);
    // Half the scale: straight up, 73 pixels above the hub at (86, 88).
    const QPointF tip(86, 15);
    EXPECT_EQ(one.pixelColor(tip.toPoint() + QPoint(0, 2)), QColor(Qt::black));
    EXPECT_EQ(two.pixelColor((tip * 2).toPoint() + QPoint(0, 4)), QColor(Qt::black));
}

} // namespace
