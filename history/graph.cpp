#include "history/graph.h"

#include "config/configfiles.h"
#include "core/files.h"
#include "core/quantities.h"
#include "history/chartpicture.h"
#include "history/graphlayout.h"
#include "history/historyfacts.h"
#include "history/pointer.h"
#include "history/recordlist.h"
#include "logging/csvexport.h"
#include "ui/messagebox.h"
#include "ui/windowlook.h"

#include <QBuffer>
#include <QCheckBox>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QShowEvent>
#include <QTableView>
#include <QWindow>
#include <algorithm>

namespace history {
namespace {

// Whether a series box is ticked when the window opens.
bool shownAtStart(core::Quantity q, const config::ProgramConfig& cfg)
{
    switch (historyFacts(q).shownAtStart) {
    case ShownAtStart::Always:
        return true;
    case ShownAtStart::IfDisplayRPM:
        return config::flagOn(cfg.DisplayRPM);
    case ShownAtStart::IfDisplayWS:
        return config::flagOn(cfg.DisplayWS);
    }
    return false;
}

} // namespace

Graph::Graph(HistoryStore& store, const core::AppDir& app, const core::Clock& clock, int width,
             QWidget* parent)
    : QDialog(parent)
    , m_store(store)
    , m_app(app)
    , m_clock(clock)
    , m_width(width)
{
    setObjectName(QStringLiteral("Graph"));
    setWindowTitle(QStringLiteral("Data Graph"));
    setFont(ui::layoutFont({"MS Sans Serif", 8.25}));
    ui::applyWindowLook(this);
    m_records = new RecordListModel(m_store, this);
    m_ui = buildGraphControls(this, width, m_records);
    m_ui.SaveCsv->setAutoDefault(false);
    m_ui.SaveCsv->setEnabled(false);
    m_ui.SaveCsv->setAccessibleDescription(
        QStringLiteral("Saves the records in the list to a CSV file"));
    // The design size is where it opens and the least it takes; the chart and list grow beyond.
    setMinimumSize(graphClientSize(width));
    resize(graphClientSize(width));

    renewPicture();
    connectControls();
    setUp();
}

void Graph::connectControls()
{
    for (const core::Quantity q : core::kLogged) {
        connect(m_ui.SeriesBox[q], &QCheckBox::toggled, this,
                [this, q](bool on) { Check_Click(q, on); });
    }
    connect(m_ui.RefVBox, &QCheckBox::toggled, this, &Graph::Check6_Click);
    m_ui.Plot->installEventFilter(this);
    // Enter in a query box runs Display; Exit never takes it.
    m_ui.Command1->setDefault(true);
    connect(m_ui.Command1, &QPushButton::clicked, this, &Graph::Command1_Click);
    m_ui.Command2->setAutoDefault(false);
    connect(m_ui.Command2, &QPushButton::clicked, this, &QWidget::close);
    connect(m_ui.SaveCsv, &QPushButton::clicked, this, &Graph::SaveCsv_Click);
    // "Date", "From" and "To" name the boxes after them.
    m_ui.Label1->setBuddy(m_ui.DateY1);
    m_ui.Label2->setBuddy(m_ui.Time1h);
    m_ui.Label3->setBuddy(m_ui.Time2h);
    ui::makeKeyboardFriendly(this);
}

void Graph::setUp()
{
    const QDate today = m_clock.now().date();
    m_ui.DateY1->setText(QString::number(today.year()));
    m_ui.DateM1->setText(QString::number(today.month()));
    m_ui.DateD1->setText(QString::number(today.day()));

    m_store.ViewStart = 0;
    m_store.ViewEnd = 0;
    m_ButtonDown = 0;

    // A missing file or tag leaves the defaults: RPM and wind speed off, no unit text.
    const config::ProgramConfig cfg = config::ReadProgramConfig(m_app);
    m_WSUnits = cfg.WSUnits;

    for (const core::Quantity q : core::kLogged) {
        if (shownAtStart(q, cfg))
            m_ui.SeriesBox[q]->setChecked(true);
    }
    m_ui.RefVBox->setChecked(true);

    m_records->setWSUnits(m_WSUnits);
    m_ui.ListView1->horizontalHeader()->setMinimumSectionSize(1);
    m_ui.ListView1->setColumnHidden(0, true);
    for (int c = 1; c < RecordListModel::kColumns; ++c) {
        m_ui.ListView1->setColumnWidth(c, ui::twipsToPixels(RecordListModel::widthTwips(c)));
    }
}

void Graph::showDay(QDate date)
{
    m_ui.DateY1->setText(QString::number(date.year()));
    m_ui.DateM1->setText(QString::number(date.month()));
    m_ui.DateD1->setText(QString::number(date.day()));
    Command1_Click();
}

void Graph::Command1_Click()
{
    const QueryTexts query{m_ui.DateY1->text(), m_ui.DateM1->text(), m_ui.DateD1->text(),
                           m_ui.Time1h->text(), m_ui.Time1m->text(), m_ui.Time2h->text(),
                           m_ui.Time2m->text()};
    if (m_beforeDayRead)
        m_beforeDayRead();
    const DisplayResult result = loadDay(m_store, m_app, query);
    if (result.outcome == DisplayOutcome::Loaded) {
        m_shownDate =
            QDate(m_ui.DateY1->text().trimmed().toInt(), m_ui.DateM1->text().trimmed().toInt(),
                  m_ui.DateD1->text().trimmed().toInt());
        DrawHistoryChart();
    } else
        ui::showMessage(this, result.message);
}

void Graph::DrawHistoryChart()
{
    m_plan = planChart(m_store, m_flags);
    m_selections.clear();
    paintPicture();
    if (!m_plan.drawn) {
        m_records->clear();
        m_chartDrawn = false;
        m_ui.SaveCsv->setEnabled(false);
        return;
    }
    m_ui.SaveCsv->setEnabled(!m_plan.rowSlots.empty());
    m_records->showSlots(m_plan.rowSlots);

    m_ui.stime->setText(timeText(m_store.Time[m_plan.startSlot]));
    m_ui.ftime->setText(timeText(m_store.Time[m_plan.finishSlot]));
    const ExtremeTexts t = extremeTexts(m_plan.extremes, m_WSUnits);
    for (const core::Quantity q : core::kLogged) {
        m_ui.Max[q]->setText(t.max[q]);
        m_ui.Min[q]->setText(t.min[q]);
    }

    m_chartWidth = m_plan.width;
    m_chartDrawn = true;
}

void Graph::paintPicture()
{
    m_picture.fill(ui::kWindowGround);
    paintChart(m_picture, m_plan, m_store);
    for (const DrawnSelection& s : m_selections) {
        paintSelection(m_picture, m_plan.width, {s.from, s.leftmost});
        paintSelection(m_picture, m_plan.width, {s.from, s.rightmost});
    }
    showPicture();
}

void Graph::placeControls()
{
    for (const auto& [w, id] : m_ui.all)
        w->setGeometry(graphPlace(m_width, size(), id));
}

void Graph::renewPicture()
{
    const qreal dpr = m_ui.Plot->devicePixelRatioF();
    const QSize pixels = (QSizeF(m_ui.Plot->size()) * dpr).toSize();
    if (m_picture.size() == pixels && m_picture.devicePixelRatio() == dpr)
        return;
    m_picture = QImage(pixels, QImage::Format_RGB32);
    m_picture.setDevicePixelRatio(dpr);
    paintPicture();
}

// The chart follows the window at once, drawn again from the last drawing at its new size.
void Graph::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    placeControls();
    renewPicture();
}

// A window shown on, or moved to, a screen of another pixel ratio than its picture's.
void Graph::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (QWindow* window = windowHandle())
        connect(window, &QWindow::screenChanged, this, &Graph::renewPicture, Qt::UniqueConnection);
    renewPicture();
}

// The records in the list, as they were loaded, for a spreadsheet or a database.
void Graph::SaveCsv_Click()
{
    const QString path = ui::askSaveFile(this, QStringLiteral("Save CSV"),
                                         m_app.logsDir() + logging::csvFileName(m_shownDate),
                                         QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    std::vector<logging::CsvRecord> records;
    for (const int k : m_plan.rowSlots) {
        logging::CsvRecord r;
        r.dayTime = m_store.Time[std::size_t(k)];
        for (const core::Quantity q : core::kLogged)
            r.values[q] = m_store.Values[q][std::size_t(k)];
        r.mode = m_store.Mode[std::size_t(k)];
        records.push_back(r);
    }
    QByteArray text;
    QBuffer buffer(&text);
    buffer.open(QIODevice::WriteOnly);
    logging::writeCsv(buffer, m_shownDate, m_WSUnits, records);
    QString error;
    if (!core::replaceFile(path, text, &error)) {
        ui::showMessage(this, QStringLiteral("Cannot save %1: %2").arg(path, error));
        return;
    }
    ui::showMessage(this, QStringLiteral("Saved %1 records to %2").arg(records.size()).arg(path));
}

void Graph::Check_Click(core::Quantity series, bool checked)
{
    m_flags.shown[series] = checked;
    if (m_store.RecordCount > 1)
        DrawHistoryChart();
}

void Graph::Check6_Click(bool checked)
{
    m_flags.RefVZero = checked;
    if (m_store.RecordCount > 1)
        DrawHistoryChart();
}

bool Graph::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui.Plot) {
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
    return float(position.x() / m_picture.deviceIndependentSize().width() * m_chartWidth);
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
        for (const core::Quantity q : core::kLogged)
            m_ui.Readout[q]->setText(r->values[q]);
        m_ui.vt->setText(r->vt);
    }
    if (const std::optional<Selection> s = selectionAt(m_store, m_ButtonDown, x)) {
        if (m_selections.empty() || m_selections.back().from != s->from)
            m_selections.push_back({s->from, s->from, s->from});
        DrawnSelection& drawn = m_selections.back();
        drawn.leftmost = std::min(drawn.leftmost, s->to);
        drawn.rightmost = std::max(drawn.rightmost, s->to);
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
    m_ui.Plot->setPixmap(QPixmap::fromImage(m_picture));
}

} // namespace history
