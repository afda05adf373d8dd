#include "graph.h"

#include "chartpicture.h"
#include "configfiles.h"
#include "graphlayout.h"
#include "messagebox.h"
#include "pointer.h"
#include "recordlist.h"
#include "windowlook.h"

#include <QCheckBox>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTableView>

namespace history {
namespace {

const QColor kWhite{255, 255, 255};
const QColor kBlack{0, 0, 0};

void setColours(QWidget* w, const QColor& text, const QColor* ground = nullptr)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, text);
    pal.setColor(QPalette::ButtonText, text);
    pal.setColor(QPalette::Text, text);
    if (ground) {
        pal.setColor(QPalette::Window, *ground);
        pal.setColor(QPalette::Button, *ground);
        pal.setColor(QPalette::Base, *ground);
        w->setAutoFillBackground(true);
    }
    w->setPalette(pal);
}

// A check box cannot wrap its caption; where it does not fit on one line ("Wind Speed" in its
// narrow box) a wrapping label over the caption's place shows it on two, and lets clicks through.
void wrapCaption(QCheckBox* box, const QColor& ground)
{
    QStyleOptionButton option;
    option.initFrom(box);
    option.text = box->text();
    const QRect room = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
    if (box->fontMetrics().horizontalAdvance(box->text()) <= room.width())
        return;
    auto* caption = new QLabel(box->text(), box);
    caption->setObjectName(box->objectName() + QStringLiteral("Caption"));
    caption->setWordWrap(true);
    caption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    caption->setAttribute(Qt::WA_TransparentForMouseEvents);
    setColours(caption, box->palette().color(QPalette::WindowText), &ground);
    caption->setGeometry(room.left(), 0, box->width() - room.left(), box->height());
}

int twipsToPixels(int twips)
{
    return (twips + 7) / 15;
}

} // namespace

Graph::Graph(const core::AppDir& app, const core::Clock& clock, int width, QWidget* parent)
    : Graph(programHistoryStore(), app, clock, width, parent)
{}

Graph::Graph(HistoryStore& store, const core::AppDir& app, const core::Clock& clock, int width,
             QWidget* parent)
    : QDialog(parent)
    , m_store(store)
    , m_app(app)
    , m_clock(clock)
{
    setObjectName(QStringLiteral("Graph"));
    setWindowTitle(QStringLiteral("Data Graph"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8.25);
    setFont(font);
    core::applyWindowLook(this);
    buildControls(width);
    setUp();
}

void Graph::buildControls(int width)
{
    setFixedSize(graphClientSize(width));
    const auto place = [&](QWidget* w, const char* name) {
        w->setObjectName(QString::fromLatin1(name));
        w->setGeometry(graphPlace(width, w->objectName()));
    };
    const auto label = [&](const char* name, const QString& text, const QColor& colour,
                           Qt::Alignment align) {
        auto* l = new QLabel(text, this);
        setColours(l, colour);
        l->setAlignment(align | Qt::AlignVCenter);
        place(l, name);
        return l;
    };
    const Qt::Alignment right = Qt::AlignRight;
    const Qt::Alignment left = Qt::AlignLeft;

    m_vv = label("vv", QStringLiteral("0"), core::kWindowText, right);
    m_av = label("av", QStringLiteral("0"), core::kWindowText, right);
    m_wv = label("wv", QStringLiteral("0"), core::kWindowText, right);
    m_rv = label("rv", QStringLiteral("0"), core::kWindowText, right);
    m_sv = label("sv", QStringLiteral("0"), core::kWindowText, right);
    m_vt = label("vt", QStringLiteral("0"), core::kWindowText, right);
    m_stime = label("stime", QStringLiteral("Start"), kWhite, left);
    m_ftime = label("ftime", QStringLiteral("Finish"), kWhite, right);
    for (const char* name : {"Line3", "Line9"}) {
        auto* mark = new QWidget(this);
        setColours(mark, core::kWindowText, &core::kWindowText);
        place(mark, name);
    }

    // The chart: a picture the label keeps, so it survives the window being covered; drawn at
    // the label's own pixel size.
    m_Plot = new QLabel(this);
    place(m_Plot, "Plot");
    m_Plot->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_Plot->setMouseTracking(true);
    m_Plot->setCursor(Qt::CrossCursor);
    m_Plot->installEventFilter(this);
    m_picture = QImage(m_Plot->size(), QImage::Format_RGB32);
    m_picture.fill(core::kWindowGround);
    showPicture();

    const char* extremeNames[] = {"VMax1", "VMin1", "AMax1", "AMin1", "WMax1",
                                  "WMin1", "RMax1", "RMin1", "SMax1", "SMin1"};
    for (std::size_t i = 0; i < m_extremes.size(); ++i)
        m_extremes[i] = label(extremeNames[i], QStringLiteral("0"), core::kWindowText, right);

    struct Box
    {
        const char* name;
        const char* caption;
        QColor ground;
        QColor text;
    };
    const Box boxes[] = {{"Check1", "Volts", {255, 0, 0}, kBlack},
                         {"Check2", "Amps", {0, 255, 0}, kBlack},
                         {"Check3", "Watts", {128, 128, 255}, kBlack},
                         {"Check4", "RPM", {255, 255, 0}, kBlack},
                         {"Check5", "Wind Speed", kWhite, kBlack},
                         {"Check6", "Ref V to 0v", core::kWindowGround, core::kWindowText}};
    for (int i = 0; i < 6; ++i) {
        auto* box = new QCheckBox(QString::fromLatin1(boxes[i].caption), this);
        setColours(box, boxes[i].text, &boxes[i].ground);
        place(box, boxes[i].name);
        connect(box, &QCheckBox::toggled, this, [this, i](bool on) { Check_Click(i, on); });
        wrapCaption(box, boxes[i].ground);
        m_Check[i] = box;
    }

    m_records = new RecordListModel(m_store, this);
    m_ListView1 = new QTableView(this);
    place(m_ListView1, "ListView1");
    m_ListView1->setModel(m_records);
    m_ListView1->setShowGrid(false);
    m_ListView1->setWordWrap(false);
    m_ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_ListView1->verticalHeader()->hide();
    m_ListView1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_ListView1->verticalHeader()->setDefaultSectionSize(m_ListView1->fontMetrics().height() + 2);
    m_ListView1->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_ListView1->horizontalHeader()->setHighlightSections(false);

    label("Label12", QStringLiteral("YYYY / MM / DD"), core::kWindowText, left);
    label("Label1", QStringLiteral("Date"), core::kWindowText, left);
    label("Label2", QStringLiteral("From"), core::kWindowText, left);
    label("Label3", QStringLiteral("To"), core::kWindowText, Qt::AlignHCenter);
    label("Label13", QStringLiteral("/"), core::kWindowText, Qt::AlignHCenter);
    label("Label14", QStringLiteral("/"), core::kWindowText, Qt::AlignHCenter);
    label("Label4", QStringLiteral(":"), core::kWindowText, Qt::AlignHCenter);
    label("Label5", QStringLiteral(":"), core::kWindowText, Qt::AlignHCenter);

    const QColor boxGround = core::kWindowText;
    const auto entry = [&](const char* name, const char* text) {
        auto* e = new QLineEdit(QString::fromLatin1(text), this);
        setColours(e, kBlack, &boxGround);
        e->setTextMargins(0, 0, 0, 0);
        place(e, name);
        return e;
    };
    m_DateY1 = entry("DateY1", "2006");
    m_DateM1 = entry("DateM1", "1");
    m_DateD1 = entry("DateD1", "1");
    m_Time1h = entry("Time1h", "00");
    m_Time1m = entry("Time1m", "00");
    m_Time2h = entry("Time2h", "23");
    m_Time2m = entry("Time2m", "59");

    m_Command1 = new QPushButton(QStringLiteral("Display"), this);
    setColours(m_Command1, kBlack, &boxGround);
    place(m_Command1, "Command1");
    m_Command1->setDefault(true);
    connect(m_Command1, &QPushButton::clicked, this, &Graph::Command1_Click);
    m_Command2 = new QPushButton(QStringLiteral("Exit"), this);
    place(m_Command2, "Command2");
    m_Command2->setAutoDefault(false);
    connect(m_Command2, &QPushButton::clicked, this, &QWidget::close);
}

void Graph::setUp()
{
    const QDate today = m_clock.now().date();
    m_DateY1->setText(QString::number(today.year()));
    m_DateM1->setText(QString::number(today.month()));
    m_DateD1->setText(QString::number(today.day()));

    m_store.ViewStart = 0;
    m_store.ViewEnd = 0;
    m_ButtonDown = 0;

    // A missing file or tag leaves the defaults: RPM and wind speed off, no unit text.
    const config::ProgramConfig cfg = config::ReadProgramConfig(m_app);
    m_WSUnits = cfg.WSUnits;

    for (const int i : {0, 1, 2, 5})
        m_Check[i]->setChecked(true);

    m_records->setWindTitle(m_WSUnits);
    QHeaderView* header = m_ListView1->horizontalHeader();
    header->setMinimumSectionSize(1);
    m_ListView1->setColumnHidden(0, true);
    const int widths[RecordListModel::kColumns] = {1, 600, 700, 700, 700, 700, 700, 800};
    for (int c = 1; c < RecordListModel::kColumns; ++c)
        m_ListView1->setColumnWidth(c, twipsToPixels(widths[c]));

    if (config::flagOn(cfg.DisplayRPM))
        m_Check[3]->setChecked(true);
    if (config::flagOn(cfg.DisplayWS))
        m_Check[4]->setChecked(true);
}

void Graph::Command1_Click()
{
    const QueryTexts query{m_DateY1->text(), m_DateM1->text(), m_DateD1->text(), m_Time1h->text(),
                           m_Time1m->text(), m_Time2h->text(), m_Time2m->text()};
    const DisplayResult result = loadDay(m_store, m_app, query);
    if (result.outcome == DisplayOutcome::Loaded)
        DrawHistoryChart();
    else
        core::showMessage(this, result.message);
}

void Graph::DrawHistoryChart()
{
    const ChartPlan plan = planChart(m_store, m_flags);
    m_picture.fill(core::kWindowGround);
    if (!plan.drawn) {
        m_records->clear();
        m_chartDrawn = false;
        showPicture();
        return;
    }
    paintChart(m_picture, plan, m_store);
    showPicture();
    m_records->showSlots(plan.rowSlots);

    m_stime->setText(timeText(m_store.Time[plan.startSlot]));
    m_ftime->setText(timeText(m_store.Time[plan.finishSlot]));
    const ExtremeTexts t = extremeTexts(plan.extremes, m_WSUnits);
    const QString* texts[] = {&t.VMax1, &t.VMin1, &t.AMax1, &t.AMin1, &t.WMax1,
                              &t.WMin1, &t.RMax1, &t.RMin1, &t.SMax1, &t.SMin1};
    for (std::size_t i = 0; i < m_extremes.size(); ++i)
        m_extremes[i]->setText(*texts[i]);

    m_chartWidth = plan.width;
    m_chartDrawn = true;
}

void Graph::Check_Click(int index, bool checked)
{
    int* flags[] = {&m_flags.ShowVolts, &m_flags.ShowAmps, &m_flags.ShowWatts,
                    &m_flags.ShowRPM,   &m_flags.ShowWind, &m_flags.RefVZero};
    *flags[index] = checked ? 1 : 0;
    if (m_store.RecordCount > 1)
        DrawHistoryChart();
}

bool Graph::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_Plot) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            Plot_MouseDown(chartX(static_cast<QMouseEvent*>(event)->position()));
            return true;
        case QEvent::MouseMove:
            Plot_MouseMove(chartX(static_cast<QMouseEvent*>(event)->position()));
            return true;
        case QEvent::MouseButtonRelease:
            Plot_MouseUp(chartX(static_cast<QMouseEvent*>(event)->position()));
            return true;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

float Graph::chartX(const QPointF& position) const
{
    return float(position.x() / m_picture.width() * m_chartWidth);
}

// Until a chart is drawn in this opening there is no scale to read positions in.
void Graph::Plot_MouseDown(float x)
{
    if (m_chartDrawn)
        pressAt(m_store, m_ButtonDown, x);
    else
        m_ButtonDown = 1;
}

void Graph::Plot_MouseMove(float x)
{
    if (!m_chartDrawn)
        return;
    if (const std::optional<Readout> r = readoutAt(m_store, x, m_chartWidth, m_WSUnits)) {
        m_vv->setText(r->vv);
        m_av->setText(r->av);
        m_wv->setText(r->wv);
        m_rv->setText(r->rv);
        m_sv->setText(r->sv);
        m_vt->setText(r->vt);
    }
    if (const std::optional<Selection> s = selectionAt(m_store, m_ButtonDown, x)) {
        paintSelection(m_picture, m_chartWidth, *s);
        showPicture();
    }
}

void Graph::Plot_MouseUp(float x)
{
    if (!m_chartDrawn) {
        m_ButtonDown = 0;
        return;
    }
    if (releaseAt(m_store, m_ButtonDown, x))
        DrawHistoryChart();
}

void Graph::showPicture()
{
    m_Plot->setPixmap(QPixmap::fromImage(m_picture));
}

} // namespace history
