#include "season/seasoncontrols.h"

#include "history/historyfacts.h"
#include "ui/windowlook.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cmath>

namespace season {
namespace {

enum class Kind
{
    Label,
    TextBox,
    Button
};

// One control of the window: where it stands in the grid above the views.
struct SeasonControl
{
    Kind kind;
    const char* name;
    const char* caption;
    int row;
    int column;
};

constexpr SeasonControl kControls[] = {
    {Kind::Label, "YearLabel", "&Year", 0, 0},
    {Kind::TextBox, "Year", "", 0, 1},
    {Kind::Label, "MonthLabel", "&Month", 0, 2},
    {Kind::TextBox, "Month", "", 0, 3},
    {Kind::Button, "ShowEnergy", "Show energy", 0, 5},
    {Kind::Button, "Previous", "< Previous", 0, 6},
    {Kind::Button, "Next", "Next >", 0, 7},
    {Kind::Label, "FromLabel", "&From", 1, 0},
    {Kind::TextBox, "From", "", 1, 1},
    {Kind::Label, "ToLabel", "&To", 1, 2},
    {Kind::TextBox, "To", "", 1, 3},
    {Kind::Button, "ShowDays", "Show days", 1, 5},
    {Kind::Button, "Last7", "Last 7 days", 2, 1},
    {Kind::Button, "Last30", "Last 30 days", 2, 2},
    {Kind::Button, "ThisYear", "This year", 2, 3},
    {Kind::Button, "SaveCsv", "Save CSV", 2, 5},
    {Kind::Button, "Exit", "Exit", 2, 7},
};
constexpr int kGridColumns = 8;

QWidget* makeControl(QWidget* parent, const SeasonControl& c)
{
    QWidget* w = nullptr;
    switch (c.kind) {
    case Kind::Label:
        w = new QLabel(QString::fromLatin1(c.caption), parent);
        break;
    case Kind::TextBox:
        w = new QLineEdit(parent);
        ui::paintBox(w, QPalette::Base, QPalette::Text);
        break;
    case Kind::Button:
        w = new QPushButton(QString::fromLatin1(c.caption), parent);
        ui::paintBox(w, QPalette::Button, QPalette::ButtonText);
        static_cast<QPushButton*>(w)->setAutoDefault(false);
        break;
    }
    w->setObjectName(QString::fromLatin1(c.name));
    return w;
}

// Three significant digits or so, as a reader compares them.
QString valueText(float v)
{
    const double a = std::abs(double(v));
    return QString::number(double(v), 'f', a >= 100 ? 0 : a >= 10 ? 1 : 2);
}

} // namespace

int addSeasonControls(QWidget* parent, QGridLayout* grid)
{
    for (const SeasonControl& c : kControls)
        grid->addWidget(makeControl(parent, c), c.row, c.column);
    return kGridColumns;
}

QLabel* makeReadout(QWidget* parent, const char* name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    label->setFixedHeight(2 * label->fontMetrics().lineSpacing() + 4);
    return label;
}

QString columnReadout(const DayRun& run, const Column& c, const DaysLook& look)
{
    QString text = run.bucketTime(c.firstBucket).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    const QDateTime end = run.bucketTime(std::max(c.firstBucket, c.endBucket - 1));
    text += QStringLiteral(" to ") + end.toString(QStringLiteral("MM-dd HH:mm"));
    if (c.empty)
        return text + QStringLiteral(":  no data");
    text += QLatin1Char(':');
    for (std::size_t s = 0; s < kSeries; ++s) {
        if (!look.shown[s])
            continue;
        const core::Quantity q = core::kLogged[s];
        const QString unit = core::unitText(core::facts(q).shortUnit, look.windUnit);
        text += QStringLiteral("  %1 %2 to %3%4")
                    .arg(QString::fromLatin1(history::historyFacts(q).checkCaption),
                         valueText(c.min[s]), valueText(c.max[s]),
                         unit.isEmpty() ? QString() : QLatin1Char(' ') + unit);
    }
    return text;
}

} // namespace season
