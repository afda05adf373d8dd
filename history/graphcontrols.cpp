#include "history/graphcontrols.h"

#include "history/chartpicture.h"
#include "history/historyfacts.h"
#include "ui/controltable.h"
#include "ui/windowlook.h"

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
// nullptr is made by graphControlName; a caption of nullptr comes from the quantity table. A
// per-series row fills its member at the quantity, the others fill member.
struct Row
{
    Kind kind;
    GraphControl role;
    const char* name;
    const char* caption;
    Look look;
    ui::Fills<GraphControls> member{};
    ui::FillsAt<GraphControls> each{};
};

using G = GraphControls;
template <auto Member> constexpr auto to = ui::fills<Member>();
template <auto Member> constexpr auto at = ui::fillsAt<Member>();

const QColor kWhite{255, 255, 255};
const QColor kBlack{0, 0, 0};

// In creation order, which is also the order in which overlapping controls cover each other
// (the series boxes lie over the ends of the extreme labels, the chart over the time labels).
const std::vector<Row>& rows()
{
    const QColor green = ui::kWindowText;
    const Look readout{green, {}, Qt::AlignRight};
    const Look caption{green, {}, Qt::AlignLeft};
    const Look separator{green, {}, Qt::AlignHCenter};
    const Look entry{kBlack, green, {}};
    static const std::vector<Row> table{
        {Kind::Label, C::Readout, nullptr, "0", readout, {}, at<&G::Readout>},
        {Kind::Label, C::vt, "vt", "0", readout, to<&G::vt>},
        {Kind::Label, C::stime, "stime", "Start", {kWhite, {}, Qt::AlignLeft}, to<&G::stime>},
        {Kind::Label, C::ftime, "ftime", "Finish", {kWhite, {}, Qt::AlignRight}, to<&G::ftime>},
        {Kind::Mark, C::Line3, "Line3", "", {green, green, {}}},
        {Kind::Mark, C::Line9, "Line9", "", {green, green, {}}},
        {Kind::Picture, C::Plot, "Plot", "", {}, to<&G::Plot>},
        {Kind::Label, C::Max, nullptr, "0", readout, {}, at<&G::Max>},
        {Kind::Label, C::Min, nullptr, "0", readout, {}, at<&G::Min>},
        {Kind::CheckBox, C::SeriesBox, nullptr, nullptr, {kBlack, {}, {}}, {}, at<&G::SeriesBox>},
        {Kind::CheckBox,
         C::RefVBox,
         nullptr,
         "Ref V to 0v",
         {green, ui::kWindowGround, {}},
         to<&G::RefVBox>},
        {Kind::List, C::ListView1, "ListView1", "", {}, to<&G::ListView1>},
        {Kind::Label, C::Label12, "Label12", "YYYY / MM / DD", caption},
        {Kind::Label, C::Label1, "Label1", "Date", caption, to<&G::Label1>},
        {Kind::Label, C::Label2, "Label2", "From", caption, to<&G::Label2>},
        {Kind::Label, C::Label3, "Label3", "To", separator, to<&G::Label3>},
        {Kind::Label, C::Label13, "Label13", "/", separator},
        {Kind::Label, C::Label14, "Label14", "/", separator},
        {Kind::Label, C::Label4, "Label4", ":", separator},
        {Kind::Label, C::Label5, "Label5", ":", separator},
        {Kind::TextBox, C::DateY1, "DateY1", "2006", entry, to<&G::DateY1>},
        {Kind::TextBox, C::DateM1, "DateM1", "1", entry, to<&G::DateM1>},
        {Kind::TextBox, C::DateD1, "DateD1", "1", entry, to<&G::DateD1>},
        {Kind::TextBox, C::Time1h, "Time1h", "00", entry, to<&G::Time1h>},
        {Kind::TextBox, C::Time1m, "Time1m", "00", entry, to<&G::Time1m>},
        {Kind::TextBox, C::Time2h, "Time2h", "23", entry, to<&G::Time2h>},
        {Kind::TextBox, C::Time2m, "Time2m", "59", entry, to<&G::Time2m>},
        {Kind::Button, C::Command1, "Command1", "Display", entry, to<&G::Command1>},
        {Kind::Button, C::Command2, "Command2", "Exit", {}, to<&G::Command2>},
        {Kind::Button, C::SaveCsv, "SaveCsv", "Save CSV", {}, to<&G::SaveCsv>},
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
            ? QString::fromLatin1(historyFacts(id.quantity).checkCaption).replace(u'\n', u' ')
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
    const HistoryFacts* series = isPerSeries(id.role) ? &historyFacts(id.quantity) : nullptr;
    const QString caption =
        row.caption ? QString::fromLatin1(row.caption) : QString::fromLatin1(series->checkCaption);
    Look look = row.look;
    if (row.role == C::SeriesBox)
        look.ground = ui::toColour(series->checkGround);
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
    const QChar prefix = QLatin1Char(historyFacts(id.quantity).extremePrefix);
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
        const char* member = row.name ? row.name : "a series";
        if (isPerSeries(row.role))
            row.each.into(ui, int(id.quantity), w, "history", member);
        else
            row.member.into(ui, w, "history", member);
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

} // namespace history
