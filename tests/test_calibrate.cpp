#include "calibration/calibrate.h"
#include "calibration/calibrateform.h"
#include "calibration/preview.h"
#include "calibration/windowload.h"
#include "core/frame.h"
#include "core/serialline.h"
#include "tests/logger_window.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <map>

namespace {

using namespace Qt::StringLiterals;
using calibration::CalibrationState;
using calibration::DividerBoxes;
using calibration::RawReadings;

// ---- The rules, without a window -------------------------------------------------------------

class CalibrationRules : public ::testing::Test
{
protected:
    void SetUp() override { QLocale::setDefault(QLocale::c()); }
};

CalibrationState stateWith(double rawV, double rawI, const char* r, const char* s, double offset)
{
    CalibrationState st;
    st.raw = {rawV, rawI, QString::fromLatin1(r), QString::fromLatin1(s)};
    st.VoltOffset = offset;
    return st;
}

DividerBoxes boxes(const char* v, const char* i, const char* r, const char* s)
{
    return {QString::fromLatin1(v), QString::fromLatin1(i), QString::fromLatin1(r),
            QString::fromLatin1(s)};
}

TEST_F(CalibrationRules, WorkedExample)
{
    CalibrationState st = stateWith(512, 530, "10", "25", 512);
    const auto l = calibration::ComputePreview(st, boxes("40", "2", "2", "5"), u"km/h"_s);
    EXPECT_EQ(l.txtBattV, u"512"_s);
    EXPECT_EQ(l.txtShuntV, u"530"_s);
    EXPECT_EQ(l.txtPulsess, u"10"_s);
    EXPECT_EQ(l.txtPulsess2, u"25"_s);
    EXPECT_EQ(l.txtBattVadjusted, u"12.8 Volts"_s);
    EXPECT_EQ(l.txtBattAadjusted, u"9 Amps"_s);
    EXPECT_EQ(l.txtWindmillRPM, u"300 RPM"_s);
    EXPECT_EQ(l.txtWindSpeed, u"5 km/h"_s);
    EXPECT_EQ(st.RpmPreview, 300);
    EXPECT_EQ(st.WindSpeedPreview, 5);
}

TEST_F(CalibrationRules, UnusableBoxesStopOnlyTheirOwnPreview)
{
    // Each row breaks one box after a frame computed with the worked example's boxes.
    struct Case
    {
        DividerBoxes boxes;
        const char* rpm;
        const char* wind;
        bool volts, amps; // whether the adjusted label gets a new text
    } cases[] = {
        {boxes("40", "2", "", "5"), "1 RPM", "5 km/h", true, true},
        {boxes("40", "2", "0", "5"), "1 RPM", "5 km/h", true, true},
        {boxes("40", "2", "-2", "5"), "1 RPM", "5 km/h", true, true},
        {boxes("40", "2", "abc", "5"), "1 RPM", "5 km/h", true, true},
        {boxes("40", "2", "2", "0"), "300 RPM", "5 km/h", true, true},
        {boxes("40", "2", "2", "x"), "300 RPM", "5 km/h", true, true},
        {boxes("0", "2", "2", "5"), "300 RPM", "5 km/h", false, true},
        {boxes("-40", "2", "2", "5"), "300 RPM", "5 km/h", false, true},
        {boxes("40", "0", "2", "5"), "300 RPM", "5 km/h", true, false},
        {boxes("40", "", "2", "5"), "300 RPM", "5 km/h", true, false},
    };
    for (const Case& c : cases) {
        CalibrationState st = stateWith(512, 530, "10", "25", 512);
        calibration::ComputePreview(st, boxes("40", "2", "2", "5"), u"km/h"_s);
        // The next frame carries other wind pulses: a kept wind preview shows the old value.
        st.raw.S = u"50"_s;
        const auto l = calibration::ComputePreview(st, c.boxes, u"km/h"_s);
        const std::string row =
            c.boxes.BatteryVolts.toStdString() + "/" + c.boxes.BatteryCurrent.toStdString() + "/" +
            c.boxes.PulseDivider.toStdString() + "/" + c.boxes.Pulse2Divider.toStdString();
        EXPECT_EQ(l.txtWindmillRPM.toStdString(), c.rpm) << row;
        const bool windKept = !calibration::positiveDivider(c.boxes.Pulse2Divider);
        EXPECT_EQ(l.txtWindSpeed, windKept ? u"5 km/h"_s : u"10 km/h"_s) << row;
        EXPECT_EQ(l.txtBattVadjusted.has_value(), c.volts) << row;
        EXPECT_EQ(l.txtBattAadjusted.has_value(), c.amps) << row;
    }
}

TEST_F(CalibrationRules, NegativeAmpDividerTurnsTheCurrentRound)
{
    CalibrationState st = stateWith(0, 530, "", "", 512);
    const auto l = calibration::ComputePreview(st, boxes("40", "-2", "2", "5"), u"m/s"_s);
    EXPECT_EQ(l.txtBattAadjusted, u"-9 Amps"_s);
    // Absent pulses show empty text and count as 0.
    EXPECT_EQ(l.txtPulsess, QString());
    EXPECT_EQ(l.txtWindmillRPM, u"0 RPM"_s);
    EXPECT_EQ(l.txtWindSpeed, u"0 m/s"_s);
}

TEST_F(CalibrationRules, PreviewsRoundTiesToEven)
{
    CalibrationState st = stateWith(2.125, 13.456, "1.25", "0.25", 0);
    const auto l = calibration::ComputePreview(st, boxes("1", "1", "60", "1"), QString());
    EXPECT_EQ(l.txtBattV, u"2.12"_s);
    EXPECT_EQ(l.txtShuntV, u"13.46"_s);
    EXPECT_EQ(l.txtBattVadjusted, u"2.12 Volts"_s);
    EXPECT_EQ(l.txtWindmillRPM, u"1.2 RPM"_s);
    EXPECT_EQ(l.txtWindSpeed, u"0.2 "_s);
}

TEST_F(CalibrationRules, ZeroTakesTheShownShunt)
{
    EXPECT_EQ(calibration::zeroOffset(RawReadings{0, 511.57, {}, {}}), 511.57);
    EXPECT_EQ(calibration::zeroOffset(RawReadings{0, 511.574, {}, {}}), 511.57);
    EXPECT_EQ(calibration::zeroOffset(RawReadings{}), 0);
}

TEST_F(CalibrationRules, FramesAndRawValues)
{
    QString buffer;
    EXPECT_FALSE(core::takeFrame(buffer, u"[<V>12"));
    const auto frame = core::takeFrame(buffer, u"4.5</V><I>3</I>]");
    ASSERT_TRUE(frame);
    EXPECT_TRUE(buffer.isEmpty());
    EXPECT_EQ(calibration::readRawValues(*frame), (RawReadings{124.5, 3, {}, {}}));

    // A closing bracket alone waits for an opening one and is taken with all that follows.
    EXPECT_FALSE(core::takeFrame(buffer, u"<R>7</R>]"));
    const auto late = core::takeFrame(buffer, u"[<V>1</V>");
    ASSERT_TRUE(late);
    EXPECT_EQ(*late, u"<R>7</R>][<V>1</V>"_s);

    struct Case
    {
        const char* frame;
        RawReadings raw;
    } cases[] = {
        {"[<V>13.456</V>]", {13.456, 0, {}, {}}},
        {"[<R>abc</R><S></S>]", {0, 0, u"0"_s, u"0"_s}},
        {"[<R> 12 </R><S>-3</S><I>x</I>]", {0, 0, u" 12 "_s, u"-3"_s}},
        {"[</V>5<V>7</V>]", {0, 0, {}, {}}}, // closing tag first: absent
        {"[<v>5</v><M>1</M>]", {0, 0, {}, {}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(calibration::readRawValues(QString::fromLatin1(c.frame)), c.raw) << c.frame;

    // Text without brackets never grows the buffer past its bound.
    QString noise;
    for (int k = 0; k < 100; ++k)
        core::takeFrame(noise, QString(100, QLatin1Char('x')));
    EXPECT_EQ(noise.size(), core::kReceiveBufferLimit);
}

TEST_F(CalibrationRules, SaveRefusesBoxesTheMainWindowCannotDivideBy)
{
    struct Case
    {
        DividerBoxes boxes;
        int box;
        const char* message;
    } cases[] = {
        {boxes("abc", "2", "2", "5"), 0,
         "Cannot save: voltage divider must be a number greater than 0"},
        {boxes("0", "2", "2", "5"), 0,
         "Cannot save: voltage divider must be a number greater than 0"},
        {boxes("40", "0", "2", "5"), 1,
         "Cannot save: current divider must be a number other than 0"},
        {boxes("40", "", "2", "5"), 1,
         "Cannot save: current divider must be a number other than 0"},
        {boxes("40", "2", "-2", "5"), 2,
         "Cannot save: RPM divider must be a number greater than 0"},
        {boxes("40", "2", "2", "1/2"), 3,
         "Cannot save: wind speed divider must be a number greater than 0"},
    };
    for (const Case& c : cases) {
        const auto refusal = calibration::saveRefusal(c.boxes);
        ASSERT_TRUE(refusal) << c.message;
        EXPECT_EQ(refusal->box, c.box);
        EXPECT_EQ(refusal->message.toStdString(), c.message);
    }
    EXPECT_FALSE(calibration::saveRefusal(boxes("40", "-2", " 2 ", "2.50")));
}

TEST_F(CalibrationRules, SaveWritesTheBoxesAsTypedAndTheOffsetAsNumberText)
{
    struct Case
    {
        double offset;
        const char* written;
    } cases[] = {{0.0, "0"}, {-0.25, "-0.25"}, {511.57, "511.57"}, {0.00001, "1E-05"}};
    for (const Case& c : cases) {
        EXPECT_EQ(
            calibration::savedSettings(boxes("abc", " 2", "2", "2.50"), c.offset),
            (config::CalibrationSettings{"abc", QString::fromLatin1(c.written), " 2", "2", "2.50"}))
            << c.written;
    }
}

// ---- Files in an application directory -------------------------------------------------------

class CalibrateWindow : public AppDirTest
{
protected:
    std::unique_ptr<calibration::Calibrate> open()
    {
        auto w = std::make_unique<calibration::Calibrate>(m_app, nullptr);
        w->show();
        return w;
    }
    QByteArray settingsOnDisk() const { return fileBytes(m_app.settingsCfg()); }
};

void type(const QWidget& w, const char* box, const char* value)
{
    child<QLineEdit>(w, box)->setText(QString::fromLatin1(value));
}

void click(const QWidget& w, const char* button)
{
    child<QPushButton>(w, button)->click();
}

// The texts of the window's labels and boxes, by control.
void expectTexts(const QWidget& w, std::initializer_list<std::pair<const char*, QString>> texts)
{
    for (const auto& [name, text] : texts)
        EXPECT_EQ(textOf(w, name), text) << name;
}

// Runs body on the calibration window once it shows as the modal window (see onModal).
void whenCalibrating(std::function<void(calibration::Calibrate&)> body)
{
    onModal([body](QWidget& modal) {
        auto* calibrate = qobject_cast<calibration::Calibrate*>(&modal);
        ASSERT_NE(calibrate, nullptr) << "the modal window is " << modal.objectName().toStdString();
        body(*calibrate);
    });
}

// Each box and value says which step it belongs to; Enter presses the focused button.
TEST_F(CalibrateWindow, NamedForAScreenReaderAndWorkedByKeyboard)
{
    auto w = open();
    EXPECT_EQ(child<QLineEdit>(*w, "BatteryVolts")->accessibleName(),
              u"Step 1. Set Voltage: divider"_s);
    EXPECT_EQ(child<QLabel>(*w, "txtShuntV")->accessibleName(),
              u"Step 2. Set Current: raw reading"_s);
    EXPECT_EQ(child<QLabel>(*w, "txtWindSpeed")->accessibleName(),
              u"Step 4. Set Wind Speed: result"_s);
    auto* exit = child<QPushButton>(*w, "Command6");
    exit->setFocus();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Enter, Qt::NoModifier);
    QApplication::sendEvent(exit, &enter);
    EXPECT_TRUE(waitFor([&] { return !w->isVisible(); }));
}

TEST_F(CalibrateWindow, OpensWithTheStoredConstants)
{
    writeProg(ProgFile{.Port = "7", .WSUnits = "m/s"}); // no such line: it opens all the same
    writeSettings("Calibration Settings\r\n\r\n\r\n<VoltDivider>2.50</VoltDivider>\r\n"
                  "<VoltOffset>-0.250</VoltOffset>\r\n<AmpDivider>10.30</AmpDivider>\r\n"
                  "<RPMDivider>02</RPMDivider>\r\n<WSDivider>2.50</WSDivider>\r\n");
    auto w = open();
    EXPECT_EQ(w->objectName(), u"Calibrate"_s);
    EXPECT_EQ(w->windowTitle(), u"Calibration"_s);
    expectTexts(*w, {{"BatteryVolts", u"2.5"_s},
                     {"BatteryCurrent", u"10.3"_s},
                     {"PulseDivider", u"2"_s},
                     {"Pulse2Divider", u"2.50"_s},
                     {"OffsetV", u"-0.25"_s},
                     {"Label23", u"How many pulses per m/s?"_s}});
    for (const char* label : {"txtBattV", "txtShuntV", "txtPulsess", "txtPulsess2"})
        EXPECT_EQ(textOf(*w, label), u"0"_s) << label;
    for (const char* label :
         {"txtBattVadjusted", "txtBattAadjusted", "txtWindmillRPM", "txtWindSpeed"})
        EXPECT_EQ(textOf(*w, label), QString()) << label;
    EXPECT_EQ(child<QPushButton>(*w, "Command1")->text(), u"Save Calibration"_s);
    EXPECT_EQ(child<QPushButton>(*w, "Command6")->text(), u"Exit ( dont save )"_s);
    EXPECT_EQ(child<QPushButton>(*w, "Command2")->text(), u"Zero"_s);

    // The port error stands in the warning line, below the 362 x 308 steps.
    EXPECT_FALSE(w->portOpen());
    const QString warning = w->warningText();
    EXPECT_TRUE(warning.startsWith(u"Port 7 (%1): cannot open: "_s.arg(core::portDevice(m_app, 7))))
        << warning.toStdString();
    EXPECT_TRUE(warning.endsWith(u". No readings until it opens; trying again every 5 seconds."_s));
    EXPECT_EQ(w->width(), 362);
    EXPECT_GT(w->height(), 308);
    EXPECT_TRUE(m_messages.isEmpty());

    // Focus starts in BatteryVolts and moves in the window's own order.
    QWidget* at = child<QLineEdit>(*w, "BatteryVolts");
    EXPECT_EQ(w->focusWidget(), at);
    QStringList order;
    while (order.size() < 8) {
        if (at->focusPolicy() & Qt::TabFocus)
            order << at->objectName();
        at = at->nextInFocusChain();
    }
    EXPECT_EQ(order.join(u' '), u"BatteryVolts BatteryCurrent PulseDivider Command1 Command2 "
                                u"Command6 Pulse2Divider BatteryVolts"_s);
}

// A port text that is no number opens nothing, even when port 1 is there: it may be another
// device altogether.
TEST_F(CalibrateWindow, APortTextThatIsNoNumberOpensNothing)
{
    auto pty = line(1);
    writeProg(ProgFile{.Port = "abc"});
    auto w = open();
    EXPECT_FALSE(w->portOpen());
    EXPECT_TRUE(w->warningText().contains(u"Port \"abc\" is not a number; no port is opened"_s))
        << w->warningText().toStdString();
}

TEST_F(CalibrateWindow, MissingOrBrokenFilesGiveDefaultsAndWarnings)
{
    const QString noFile = u"No such file or directory"_s;
    const QString cannotReadProg =
        u"Cannot read prog.cfg (%1): %2; using port 1 and no wind speed unit"_s.arg(m_app.progCfg(),
                                                                                    noFile);
    const QString cannotReadSettings =
        u"Cannot read settings.cfg (%1): %2; using the defaults"_s.arg(m_app.settingsCfg(), noFile);
    // A missing divider reads empty; the window previews with 1 until one is typed.
    auto notANumber = [](const QString& key) {
        return u"settings.cfg: %1 \"\" is not a number; using 1"_s.arg(key);
    };
    struct Case
    {
        QByteArray prog;     // empty: no prog.cfg
        QByteArray settings; // empty: no settings.cfg
        int port;
        QString portText, units;
        double voltOffset;
        QString wsDivider;
        QStringList warnings;
    } cases[] = {
        {{},
         {},
         1,
         u"1"_s,
         {},
         0,
         u"1"_s,
         {cannotReadProg, cannotReadSettings, notANumber(u"VoltDivider"_s),
          notANumber(u"AmpDivider"_s), notANumber(u"RPMDivider"_s), notANumber(u"WSDivider"_s)}},
        {ProgFile{.Port = "COM2", .WSUnits = ""}.bytes(),
         "<VoltDivider>abc</VoltDivider><AmpDivider>2</AmpDivider>",
         0,
         u"COM2"_s,
         {},
         0,
         u"1"_s,
         {u"prog.cfg: Port \"COM2\" is not a number; no port is opened"_s,
          u"settings.cfg has no <VoltOffset> value; using \"0\""_s,
          u"settings.cfg has no <RPMDivider> value"_s, u"settings.cfg has no <WSDivider> value"_s,
          u"settings.cfg: VoltDivider \"abc\" is not a number; using 1"_s,
          notANumber(u"RPMDivider"_s), notANumber(u"WSDivider"_s)}},
        {"<WSUnits>km/h</WSUnits>",
         "<VoltDivider>1</VoltDivider><VoltOffset>x</VoltOffset><AmpDivider>1</AmpDivider>"
         "<RPMDivider>1</RPMDivider><WSDivider>five</WSDivider>",
         1,
         u"1"_s,
         u"km/h"_s,
         0,
         u"1"_s,
         {u"prog.cfg has no <Port> value; using port 1"_s,
          u"settings.cfg: VoltOffset \"x\" is not a number; using 0"_s,
          u"settings.cfg: WSDivider \"five\" is not a number; using 1"_s}},
        {"<Port> 0 </Port>",
         "<VoltDivider>1</VoltDivider><VoltOffset>2</VoltOffset><AmpDivider>1</AmpDivider>"
         "<RPMDivider>1</RPMDivider><WSDivider>2.50</WSDivider>",
         0,
         u" 0 "_s,
         {},
         2,
         u"2.50"_s,
         {u"prog.cfg has no <WSUnits> value; no wind speed unit"_s}},
        {"<Port></Port><WSUnits> m/s</WSUnits>",
         {},
         0,
         {},
         u" m/s"_s,
         0,
         u"1"_s,
         {u"prog.cfg: Port \"\" is not a number; no port is opened"_s, cannotReadSettings,
          notANumber(u"VoltDivider"_s), notANumber(u"AmpDivider"_s), notANumber(u"RPMDivider"_s),
          notANumber(u"WSDivider"_s)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prog.toStdString());
        QFile::remove(m_app.progCfg());
        QFile::remove(m_app.settingsCfg());
        if (!c.prog.isEmpty())
            writeProg(c.prog);
        if (!c.settings.isEmpty())
            writeSettings(c.settings);
        const calibration::WindowLoad load = calibration::loadCalibrationWindow(m_app);
        EXPECT_EQ(load.Port, c.port);
        EXPECT_EQ(load.PortText, c.portText);
        EXPECT_EQ(load.WSUnits, c.units);
        EXPECT_EQ(load.VoltDivider, 1);
        EXPECT_EQ(load.VoltOffset, c.voltOffset);
        EXPECT_EQ(load.RPMDivider, 1);
        EXPECT_EQ(load.WSDivider, c.wsDivider);
        EXPECT_EQ(load.warnings, c.warnings);
    }
    // The window itself comes up with them and says so.
    QFile::remove(m_app.progCfg());
    auto w = open();
    EXPECT_TRUE(w->warningText().contains(u"prog.cfg"_s));
    EXPECT_EQ(textOf(*w, "Label23"), u"How many pulses per ?"_s);
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(CalibrateWindow, ShowsRawValuesAndPreviewsOfEachFrame)
{
    auto pty = line(1);
    auto w = open();
    ASSERT_TRUE(w->portOpen()) << w->warningText().toStdString();
    EXPECT_EQ(w->warningText(), QString());
    EXPECT_EQ(w->size(), QSize(362, 308));

    send(*pty, kFrame.substr(0, 20));
    EXPECT_EQ(textOf(*w, "txtBattV"), u"0"_s);
    send(*pty, kFrame.substr(20));
    ASSERT_TRUE(waitFor([&] { return textOf(*w, "txtWindSpeed") == u"5 km/h"_s; }));
    expectTexts(*w, {{"txtBattV", u"512"_s},
                     {"txtShuntV", u"530"_s},
                     {"txtPulsess", u"10"_s},
                     {"txtPulsess2", u"25"_s},
                     {"txtBattVadjusted", u"12.8 Volts"_s},
                     {"txtBattAadjusted", u"9 Amps"_s},
                     {"txtWindmillRPM", u"300 RPM"_s}});

    // A box change shows with the next frame only; broken boxes keep their previews.
    type(*w, "BatteryVolts", "0");
    type(*w, "Pulse2Divider", "abc");
    type(*w, "PulseDivider", "");
    EXPECT_EQ(textOf(*w, "txtWindmillRPM"), u"300 RPM"_s);
    send(*pty, "[<V>13.456</V><R>abc</R>]");
    ASSERT_TRUE(waitFor([&] { return textOf(*w, "txtBattV") == u"13.46"_s; }));
    expectTexts(*w, {{"txtShuntV", u"0"_s},
                     {"txtPulsess", u"0"_s},
                     {"txtPulsess2", QString()},
                     {"txtWindmillRPM", u"1 RPM"_s},
                     {"txtWindSpeed", u"5 km/h"_s},
                     {"txtBattVadjusted", u"12.8 Volts"_s},
                     {"txtBattAadjusted", u"-256 Amps"_s}});

    // Zero takes the shown shunt value; the new offset counts from the next frame.
    send(*pty, "[<I>511.574</I>]");
    ASSERT_TRUE(waitFor([&] { return textOf(*w, "txtShuntV") == u"511.57"_s; }));
    click(*w, "Command2");
    EXPECT_EQ(w->state().VoltOffset, 511.57);
    EXPECT_EQ(textOf(*w, "OffsetV"), u"511.57"_s);
    // A raw value wider than its place stays whole.
    send(*pty, "[<V>123456.78</V><I>531.57</I>]");
    ASSERT_TRUE(waitFor([&] { return textOf(*w, "txtBattAadjusted") == u"10 Amps"_s; }));
    auto* raw = child<QLabel>(*w, "txtBattV");
    EXPECT_GE(raw->width(), raw->fontMetrics().horizontalAdvance(raw->text()));
    EXPECT_EQ(raw->geometry().right(), 276);
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(CalibrateWindow, SavesTheBoxesByteForByte)
{
    writeSettings("Calibration Settings\r\n\r\n\r\n<VoltDivider>2.50</VoltDivider>\r\n"
                  "<VoltOffset>0.520</VoltOffset>\r\n<AmpDivider>10.30</AmpDivider>\r\n"
                  "<RPMDivider>2.0</RPMDivider>\r\n<WSDivider>1.60</WSDivider>\r\n");
    calibration::Calibrate w(m_app, nullptr);
    whenCalibrating([](calibration::Calibrate& c) { click(c, "Command1"); });
    EXPECT_EQ(w.exec(), QDialog::Accepted);
    EXPECT_EQ(settingsOnDisk(),
              QByteArray("Calibration Settings\r\n\r\n\r\n<VoltDivider>2.5</VoltDivider>\r\n"
                         "<VoltOffset>0.52</VoltOffset>\r\n<AmpDivider>10.3</AmpDivider>\r\n"
                         "<RPMDivider>2</RPMDivider>\r\n<WSDivider>1.60</WSDivider>\r\n"));

    // Box texts go to the file exactly as typed, blanks included.
    calibration::Calibrate again(m_app, nullptr);
    whenCalibrating([](calibration::Calibrate& c) {
        type(c, "BatteryVolts", "38.46");
        type(c, "BatteryCurrent", "-10.3");
        type(c, "PulseDivider", " 2");
        type(c, "Pulse2Divider", "1.6E0");
        click(c, "Command1");
    });
    EXPECT_EQ(again.exec(), QDialog::Accepted);
    EXPECT_FALSE(again.portOpen());
    EXPECT_EQ(settingsOnDisk(),
              QByteArray("Calibration Settings\r\n\r\n\r\n<VoltDivider>38.46</VoltDivider>\r\n"
                         "<VoltOffset>0.52</VoltOffset>\r\n<AmpDivider>-10.3</AmpDivider>\r\n"
                         "<RPMDivider> 2</RPMDivider>\r\n<WSDivider>1.6E0</WSDivider>\r\n"));
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(CalibrateWindow, RefusedOrFailedSaveKeepsTheWindowOpen)
{
    calibration::Calibrate w(m_app, nullptr);
    w.show();
    type(w, "PulseDivider", "0");
    click(w, "Command1");
    EXPECT_EQ(m_messages,
              QStringList{u"Cannot save: RPM divider must be a number greater than 0"_s});
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(settingsOnDisk(), kSettings);

    // A settings.cfg that cannot be replaced: said so, nothing changed, still open.
    type(w, "PulseDivider", "3");
    ASSERT_TRUE(QFile::remove(m_app.settingsCfg()));
    ASSERT_TRUE(QDir(m_app.dir).mkdir(u"settings.cfg"_s));
    m_messages.clear();
    click(w, "Command1");
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].startsWith(u"Cannot write settings.cfg"_s))
        << m_messages[0].toStdString();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(QFileInfo(m_app.settingsCfg()).isDir());
}

TEST_F(CalibrateWindow, EveryWayOutClosesThePortAndOnlySaveWrites)
{
    auto pty = line(1);
    const std::function<void(calibration::Calibrate&)> ways[] = {
        [](calibration::Calibrate& c) { click(c, "Command6"); },
        [](calibration::Calibrate& c) { c.close(); }, // the close box
    };
    for (const auto& way : ways) {
        calibration::Calibrate w(m_app, nullptr);
        bool openMeanwhile = false;
        whenCalibrating([&](calibration::Calibrate& c) {
            openMeanwhile = c.portOpen();
            type(c, "BatteryVolts", "99");
            click(c, "Command2");
            // Escape does not close the window.
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(&c, &escape);
            EXPECT_TRUE(c.isVisible());
            way(c);
        });
        EXPECT_EQ(w.exec(), QDialog::Rejected);
        EXPECT_TRUE(openMeanwhile);
        EXPECT_FALSE(w.portOpen());
        EXPECT_EQ(settingsOnDisk(), kSettings);
    }
    {
        calibration::Calibrate w(m_app, nullptr);
        w.show();
        ASSERT_TRUE(w.portOpen());
    } // the window goes without being closed: its port goes with it
    auto w = open();
    EXPECT_TRUE(w->portOpen()) << w->warningText().toStdString();
}

TEST_F(CalibrateWindow, ReportsALostLine)
{
    auto pty = line(1);
    auto w = open();
    ASSERT_TRUE(w->portOpen());
    pty->close();
    ASSERT_TRUE(waitFor([&] { return !w->portOpen(); }));
    EXPECT_TRUE(w->warningText().contains(u"line lost"_s)) << w->warningText().toStdString();
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(CalibrateWindow, TriesThePortAgainUntilItOpens)
{
    writeProg(ProgFile{.Port = "7"}); // no device until the test links one
    calibration::Calibrate w(m_app, nullptr);
    auto* port = child<core::SerialLine>(w, "MSComm2");
    ASSERT_NE(port, nullptr);
    port->setRetryInterval(50);
    w.show();
    EXPECT_FALSE(w.portOpen());
    EXPECT_TRUE(w.warningText().contains(u"cannot open"_s)) << w.warningText().toStdString();

    auto pty = line(7);
    ASSERT_TRUE(waitFor([&] { return w.portOpen(); }));
    EXPECT_EQ(w.warningText(), QString());
    EXPECT_EQ(w.size(), QSize(362, 308));
    send(*pty, kFrame);
    ASSERT_TRUE(waitFor([&] { return textOf(w, "txtWindSpeed") == u"5 km/h"_s; }));

    // A lost line is tried again the same way.
    pty->close();
    ASSERT_TRUE(waitFor([&] { return !w.portOpen(); }));
    pty = line(7);
    ASSERT_TRUE(waitFor([&] { return w.portOpen(); }));
    EXPECT_EQ(w.warningText(), QString());
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(CalibrateWindow, APortBelowOneIsNeverTried)
{
    writeProg(ProgFile{.Port = " 0 "});
    auto w = open();
    EXPECT_FALSE(w->portOpen());
    EXPECT_EQ(w->warningText(), u"Port \" 0 \" is not a port number. Choose a port in Setup."_s);
    EXPECT_FALSE(child<core::SerialLine>(*w, "MSComm2")->retrying());
}

TEST(CalibrateTable, EachMemberOnce)
{
    std::map<decltype(ui::Fills<calibration::CalibrateControls>::store), int> members;
    for (const calibration::CalibrateControl& c : calibration::calibrateControls()) {
        if (c.member.store)
            ++members[c.member.store];
    }
    // Every control of the struct but the warning line, which is not designed.
    EXPECT_EQ(members.size(), 18u);
    for (const auto& [member, count] : members)
        EXPECT_EQ(count, 1);
}

// ---- The handover with the main window --------------------------------------------------------

class CalibrateFromMainWindow : public LoggerWindow
{
protected:
    QByteArray settingsOnDisk() const { return fileBytes(m_app.settingsCfg()); }
};

TEST_F(CalibrateFromMainWindow, TakesTheLineFromTheMainWindowAndGivesItBack)
{
    auto pty = line(1);
    auto main = start();
    ASSERT_TRUE(main->portOpen()) << main->statusText().toStdString();
    send(*pty, kFrame);
    ASSERT_TRUE(waitFor([&] { return main->windowTitle() == kTitle; }));

    const QString mainBuffer = main->receiveBuffer();
    bool ran = false;
    whenCalibrating([&](calibration::Calibrate& c) {
        ran = true;
        EXPECT_FALSE(main->portOpen());
        ASSERT_TRUE(c.portOpen()) << c.warningText().toStdString();
        send(*pty, "[<V>500</V><I>520</I><R>10</R><M>1</M><S>25</S>]");
        ASSERT_TRUE(waitFor([&] { return textOf(c, "txtShuntV") == u"520"_s; }));
        EXPECT_EQ(textOf(c, "txtBattVadjusted"), u"12.5 Volts"_s);
        EXPECT_EQ(main->windowTitle(), kTitle); // the frame went to this window only
        EXPECT_EQ(main->receiveBuffer(), mainBuffer);
        click(c, "Command2");
        type(c, "BatteryVolts", "50");
        type(c, "BatteryCurrent", "4");
        type(c, "PulseDivider", "1");
        type(c, "Pulse2Divider", "2.50");
        click(c, "Command1");
        EXPECT_FALSE(c.isVisible());
        EXPECT_FALSE(c.portOpen());
    });
    click(*main, "CalibrateButton");
    ASSERT_TRUE(ran);
    EXPECT_EQ(settingsOnDisk(),
              QByteArray("Calibration Settings\r\n\r\n\r\n<VoltDivider>50</VoltDivider>\r\n"
                         "<VoltOffset>520</VoltOffset>\r\n<AmpDivider>4</AmpDivider>\r\n"
                         "<RPMDivider>1</RPMDivider>\r\n<WSDivider>2.50</WSDivider>\r\n"));

    // Back in the main window, which converts with the saved constants.
    ASSERT_TRUE(main->portOpen()) << main->statusText().toStdString();
    send(*pty, kFrame);
    ASSERT_TRUE(waitFor([&] {
        return main->windowTitle() == u"Logger  10.24 V  2.5 A  25.6 W  600 RPM  10 WIND "_s;
    })) << main->windowTitle().toStdString();

    // Exit gives the line back too, and changes nothing.
    whenCalibrating([&](calibration::Calibrate& c) {
        EXPECT_TRUE(c.portOpen());
        type(c, "BatteryVolts", "1");
        click(c, "Command6");
    });
    click(*main, "CalibrateButton");
    ASSERT_TRUE(main->portOpen());
    send(*pty, "[<V>600</V><I>520</I>]");
    ASSERT_TRUE(waitFor([&] { return main->reading()[core::kVolts] == 12; }));
    EXPECT_TRUE(m_messages.isEmpty());
}

} // namespace
