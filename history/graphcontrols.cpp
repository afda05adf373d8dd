#include "history/graphcontrols.h"

#include "core/windowlook.h"
#include "history/chartpicture.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTableView>
#include <vector>

namespace history {
namespace {

using C = GraphControl;

enum class Kind
{
    Label,
    Mark,
    Picture,
    CheckBox,
    List,
    TextBox,
    Button
};

// Colours and alignment of a control. An invalid text colour keeps the window's own colours; an
// invalid ground leaves the control without a ground of its own.
struct Look
{
    QColor text;
    QColor ground;
    Qt::Alignment align;
};

// One line of the table, or one for each logged quantity when the role is per series. A name of
// nullptr is made by graphControlName; a caption of nullptr comes from the quantity table.
struct Row
{
    Kind kind;
    GraphControl role;
    const char* name;
    const char* caption;
    Look look;
};

const QColor kWhite{255, 255, 255};
const QColor kBlack{0, 0, 0};

// In creation order, which is also the order in which overlapping controls cover each other
// (the series boxes lie over the ends of the extreme labels, the chart over the time labels).
const std::vector<Row>& rows()
{
    const QColor green = core::kWindowText;
    const Look readout{green, {}, Qt::AlignRight};
    const Look caption{green, {}, Qt::AlignLeft};
    const Look separator{green, {}, Qt::AlignHCenter};
    const Look entry{kBlack, green, {}};
    static const std::vector<Row> table{
        {Kind::Label, C::Readout, nullptr, "0", readout},
        {Kind::Label, C::vt, "vt", "0", readout},
        {Kind::Label, C::stime, "stime", "Start", {kWhite, {}, Qt::AlignLeft}},
        {Kind::Label, C::ftime, "ftime", "Finish", {kWhite, {}, Qt::AlignRight}},
        {Kind::Mark, C::Line3, "Line3", "", {green, green, {}}},
        {Kind::Mark, C::Line9, "Line9", "", {green, green, {}}},
        {Kind::Picture, C::Plot, "Plot", "", {}},
        {Kind::Label, C::Max, nullptr, "0", readout},
        {Kind::Label, C::Min, nullptr, "0", readout},
        {Kind::CheckBox, C::SeriesBox, nullptr, nullptr, {kBlack, {}, {}}},
        {Kind::CheckBox, C::RefVBox, nullptr, "Ref V to 0v", {green, core::kWindowGround, {}}},
        {Kind::List, C::ListView1, "ListView1", "", {}},
        {Kind::Label, C::Label12, "Label12", "YYYY / MM / DD", caption},
        {Kind::Label, C::Label1, "Label1", "Date", caption},
        {Kind::Label, C::Label2, "Label2", "From", caption},
        {Kind::Label, C::Label3, "Label3", "To", separator},
        {Kind::Label, C::Label13, "Label13", "/", separator},
        {Kind::Label, C::Label14, "Label14", "/", separator},
        {Kind::Label, C::Label4, "Label4", ":", separator},
        {Kind::Label, C::Label5, "Label5", ":", separator},
        {Kind::TextBox, C::DateY1, "DateY1", "2006", entry},
        {Kind::TextBox, C::DateM1, "DateM1", "1", entry},
        {Kind::TextBox, C::DateD1, "DateD1", "1", entry},
        {Kind::TextBox, C::Time1h, "Time1h", "00", entry},
        {Kind::TextBox, C::Time1m, "Time1m", "00", entry},
        {Kind::TextBox, C::Time2h, "Time2h", "23", entry},
        {Kind::TextBox, C::Time2m, "Time2m", "59", entry},
        {Kind::Button, C::Command1, "Command1", "Display", entry},
        {Kind::Button, C::Command2, "Command2", "Exit", {}},
    };
    return table;
}

// The number of a series among the logged quantities, from 1.
int seriesNumber(core::Quantity q)
{
    int n = 1;
    for (const core::Quantity logged : core::kLogged) {
        if (logged == q)
            return n;
        ++n;
    }
    return 0;
}

void setColours(QWidget* w, const Look& look)
{
    if (!look.text.isValid())
        return;
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, look.text);
    pal.setColor(QPalette::ButtonText, look.text);
    pal.setColor(QPalette::Text, look.text);
    if (look.ground.isValid()) {
        pal.setColor(QPalette::Window, look.ground);
        pal.setColor(QPalette::Button, look.ground);
        pal.setColor(QPalette::Base, look.ground);
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
    setColours(caption, {box->palette().color(QPalette::WindowText), ground, {}});
    caption->setGeometry(room.left(), 0, box->width() - room.left(), box->height());
}

void setUpList(QTableView* view, QAbstractItemModel* model)
{
    view->setModel(model);
    view->setShowGrid(false);
    view->setWordWrap(false);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->hide();
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 2);
    view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    view->horizontalHeader()->setHighlightSections(false);
}

// One control of a row, for the quantity of a per-series row, named and placed.
// What a screen reader says for the controls that show no caption of their own.
QString accessibleNameOf(GraphControlId id)
{
    // Only the per-series controls name a quantity.
    const QString quantity =
        isPerSeries(id.role)
            ? QString::fromLatin1(core::facts(id.quantity).checkCaption).replace(u'\n', u' ')
            : QString();
    switch (id.role) {
    case C::DateY1:
        return QStringLiteral("Year");
    case C::DateM1:
        return QStringLiteral("Month");
    case C::DateD1:
        return QStringLiteral("Day");
    case C::Time1h:
        return QStringLiteral("From hour");
    case C::Time1m:
        return QStringLiteral("From minute");
    case C::Time2h:
        return QStringLiteral("To hour");
    case C::Time2m:
        return QStringLiteral("To minute");
    case C::Plot:
        return QStringLiteral("Chart");
    case C::ListView1:
        return QStringLiteral("Records");
    case C::Readout:
        return quantity + QStringLiteral(" under the pointer");
    case C::Max:
        return quantity + QStringLiteral(" highest");
    case C::Min:
        return quantity + QStringLiteral(" lowest");
    case C::stime:
        return QStringLiteral("Chart start time");
    case C::ftime:
        return QStringLiteral("Chart finish time");
    case C::vt:
        return QStringLiteral("Time under the pointer");
    default:
        return {};
    }
}

QWidget* make(QWidget* window, const Row& row, GraphControlId id, const QRect& place,
              QAbstractItemModel* listModel)
{
    const core::QuantitySpec* series = isPerSeries(id.role) ? &core::facts(id.quantity) : nullptr;
    const QString caption =
        row.caption ? QString::fromLatin1(row.caption) : QString::fromLatin1(series->checkCaption);
    Look look = row.look;
    if (row.role == C::SeriesBox)
        look.ground = core::toColour(series->checkGround);
    QWidget* w = nullptr;
    switch (row.kind) {
    case Kind::Label: {
        auto* label = new QLabel(caption, window);
        label->setAlignment(look.align | Qt::AlignVCenter);
        w = label;
        break;
    }
    case Kind::Mark:
        w = new QWidget(window);
        break;
    case Kind::Picture: {
        // A picture the label keeps, so the chart survives the window being covered.
        auto* picture = new QLabel(window);
        picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        picture->setMouseTracking(true);
        picture->setCursor(Qt::CrossCursor);
        w = picture;
        break;
    }
    case Kind::CheckBox:
        w = new QCheckBox(caption, window);
        break;
    case Kind::List:
        w = new QTableView(window);
        break;
    case Kind::TextBox: {
        auto* box = new QLineEdit(caption, window);
        box->setTextMargins(0, 0, 0, 0);
        w = box;
        break;
    }
    case Kind::Button:
        w = new QPushButton(caption, window);
        break;
    }
    setColours(w, look);
    w->setObjectName(graphControlName(id));
    w->setGeometry(place);
    if (const QString name = accessibleNameOf(id); !name.isEmpty())
        w->setAccessibleName(name);
    if (auto* box = qobject_cast<QCheckBox*>(w))
        wrapCaption(box, look.ground);
    if (auto* view = qobject_cast<QTableView*>(w))
        setUpList(view, listModel);
    return w;
}

template <typename T> void bindAs(T*& member, QWidget* w)
{
    member = qobject_cast<T*>(w);
}

void bind(GraphControls& ui, GraphControlId id, QWidget* w)
{
    switch (id.role) {
    case C::Readout:
        return bindAs(ui.Readout[id.quantity], w);
    case C::Max:
        return bindAs(ui.Max[id.quantity], w);
    case C::Min:
        return bindAs(ui.Min[id.quantity], w);
    case C::SeriesBox:
        return bindAs(ui.SeriesBox[id.quantity], w);
    case C::vt:
        return bindAs(ui.vt, w);
    case C::stime:
        return bindAs(ui.stime, w);
    case C::ftime:
        return bindAs(ui.ftime, w);
    case C::Plot:
        return bindAs(ui.Plot, w);
    case C::RefVBox:
        return bindAs(ui.RefVBox, w);
    case C::ListView1:
        return bindAs(ui.ListView1, w);
    case C::DateY1:
        return bindAs(ui.DateY1, w);
    case C::DateM1:
        return bindAs(ui.DateM1, w);
    case C::DateD1:
        return bindAs(ui.DateD1, w);
    case C::Time1h:
        return bindAs(ui.Time1h, w);
    case C::Time1m:
        return bindAs(ui.Time1m, w);
    case C::Time2h:
        return bindAs(ui.Time2h, w);
    case C::Time2m:
        return bindAs(ui.Time2m, w);
    case C::Command1:
        return bindAs(ui.Command1, w);
    case C::Command2:
        return bindAs(ui.Command2, w);
    case C::Label1:
        return bindAs(ui.Label1, w);
    case C::Label2:
        return bindAs(ui.Label2, w);
    case C::Label3:
        return bindAs(ui.Label3, w);
    case C::Line3:
    case C::Line9:
    case C::Label12:
    case C::Label13:
    case C::Label14:
    case C::Label4:
    case C::Label5:
        return; // drawn once, never touched again
    }
}

} // namespace

QString graphControlName(GraphControlId id)
{
    if (!isPerSeries(id.role)) {
        // The "Ref V to 0v" box follows the series boxes, so a series added later takes its
        // number and this box the next: today it is Check6.
        if (id.role == C::RefVBox)
            return QStringLiteral("Check%1").arg(core::kLogged.size() + 1);
        for (const Row& row : rows()) {
            if (row.role == id.role)
                return QString::fromLatin1(row.name);
        }
        return {};
    }
    const QChar prefix = QLatin1Char(core::facts(id.quantity).extremePrefix);
    switch (id.role) {
    case C::Readout:
        return QString(prefix.toLower()) + QLatin1Char('v');
    case C::Max:
        return QString(prefix) + QStringLiteral("Max1");
    case C::Min:
        return QString(prefix) + QStringLiteral("Min1");
    default:
        return QStringLiteral("Check%1").arg(seriesNumber(id.quantity));
    }
}

GraphControls buildGraphControls(QWidget* window, int width, QAbstractItemModel* listModel)
{
    GraphControls ui;
    const auto build = [&](const Row& row, GraphControlId id) {
        QWidget* w = make(window, row, id, graphPlace(width, id), listModel);
        ui.all.emplace_back(w, id);
        bind(ui, id, w);
    };
    for (const Row& row : rows()) {
        if (!isPerSeries(row.role)) {
            build(row, {row.role});
            continue;
        }
        for (const core::Quantity q : core::kLogged)
            build(row, {row.role, q});
    }
    return ui;
}

QStringList GraphControls::missing() const
{
    QStringList out;
    const auto need = [&out](const QObject* w, GraphControlId id) {
        if (!w)
            out << graphControlName(id);
    };
    for (const core::Quantity q : core::kLogged) {
        need(Readout[q], {C::Readout, q});
        need(Max[q], {C::Max, q});
        need(Min[q], {C::Min, q});
        need(SeriesBox[q], {C::SeriesBox, q});
    }
    const std::pair<const QObject*, GraphControl> single[] = {
        {vt, C::vt},         {stime, C::stime},       {ftime, C::ftime},
        {Plot, C::Plot},     {RefVBox, C::RefVBox},   {ListView1, C::ListView1},
        {DateY1, C::DateY1}, {DateM1, C::DateM1},     {DateD1, C::DateD1},
        {Time1h, C::Time1h}, {Time1m, C::Time1m},     {Time2h, C::Time2h},
        {Time2m, C::Time2m}, {Command1, C::Command1}, {Command2, C::Command2},
        {Label1, C::Label1}, {Label2, C::Label2},     {Label3, C::Label3}};
    for (const auto& [w, role] : single)
        need(w, {role});
    return out;
}

} // namespace history
