#include "trend/livetrend.h"

#include "trend/dayfill.h"
#include "trend/trendscale.h"
#include "ui/windowlook.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFutureWatcher>
#include <QMouseEvent>
#include <QPainter>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <cmath>

namespace trend {
namespace {

constexpr int kChoiceHeight = 22;

} // namespace

LiveTrend::LiveTrend(QWidget* parent)
    : QWidget(parent)
    , m_spanBox(new QComboBox(this))
    , m_looks(seriesLooks(QStringLiteral("km/h")))
{
    setObjectName(QStringLiteral("LiveTrend"));
    setMouseTracking(true);
    m_spanBox->addItems({QStringLiteral("10 min"), QStringLiteral("1 h"), QStringLiteral("24 h")});
    connect(m_spanBox, &QComboBox::currentIndexChanged, this,
            [this](int index) { setSpan(kSpans[std::clamp(index, 0, 2)]); });
    m_timer.setSingleShot(true);
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        redraw();
        update();
    });
}

void LiveTrend::add(const core::QuantityValues& values, qint64 monotonicMs, const QDateTime& wall)
{
    m_ring.add(values, monotonicMs, wall);
    schedule();
}

void LiveTrend::fillFromDayFile(const core::AppDir& app, const core::Clock& clock)
{
    const QDateTime now = clock.now();
    const qint64 nowMs = clock.elapsedMs();
    // The reading and taking apart happen on a worker; only the folding is the window's.
    auto* watcher = new QFutureWatcher<std::vector<PastReading>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, now, nowMs] {
        watcher->deleteLater();
        const int folded = foldPast(m_ring, watcher->result(), now, nowMs);
        redraw();
        update();
        emit dayFilled(folded);
    });
    watcher->setFuture(
        QtConcurrent::run([app, today = now.date()] { return readTodayForTrend(app, today); }));
}

void LiveTrend::setWindUnit(const QString& unit)
{
    m_looks = seriesLooks(unit.trimmed());
    redraw();
    update();
}

void LiveTrend::schedule()
{
    // One picture a second at most, however many readings come.
    if (isVisible() && !m_timer.isActive())
        m_timer.start();
}

void LiveTrend::setSpan(qint64 seconds)
{
    m_span = seconds;
    const auto at = std::find(std::begin(kSpans), std::end(kSpans), seconds);
    if (at != std::end(kSpans))
        m_spanBox->setCurrentIndex(int(at - std::begin(kSpans)));
    redraw();
    update();
}

QRect LiveTrend::plotRect() const
{
    return rect().adjusted(0, kChoiceHeight, 0, 0);
}

TimeAxis LiveTrend::timeAxis() const
{
    const qint64 step = m_span <= kSecondSlots ? 1 : 60;
    const qint64 newest = m_ring.newestSecond();
    return {newest == Slot::kNever ? 0 : floorDiv(newest, step), m_span / step, step};
}

const QImage& LiveTrend::redraw()
{
    ++m_redraws;
    m_shown = m_ring.recent(m_span);
    m_picture = drawTrendPicture(m_shown, timeAxis(), plotRect().size(), devicePixelRatioF(),
                                 m_looks, font(), &m_frame);
    return m_picture;
}

std::optional<Slot> LiveTrend::slotAt(int x) const
{
    const int width = plotRect().width();
    if (m_shown.empty() || x < kAxisWidth || x >= width)
        return std::nullopt;
    // The slot drawn nearest the pointer.
    const TimeAxis time = timeAxis();
    const auto at =
        std::min_element(m_shown.begin(), m_shown.end(), [&](const Slot& a, const Slot& b) {
            return std::abs(slotX(time, a.index, width) - x) <
                   std::abs(slotX(time, b.index, width) - x);
        });
    return *at;
}

QString LiveTrend::readoutAt(int x) const
{
    const std::optional<Slot> s = slotAt(x);
    if (!s)
        return {};
    QString text = s->wall.toString(QStringLiteral("HH:mm:ss"));
    for (std::size_t k = 0; k < kSeriesCount; ++k) {
        const double middle = (double(s->low[k]) + double(s->high[k])) / 2;
        text += QStringLiteral("  ") + readoutText(kSeries[k], middle, m_looks[k].unit);
    }
    return text;
}

void LiveTrend::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), ui::kWindowGround);
    p.drawImage(plotRect().topLeft(), m_picture);
    // The legend in the series' colours; while the pointer is on the plot, the readout in its
    // place (each panel still names its series in its colour).
    const QString readout = m_pointerX >= 0 ? readoutAt(m_pointerX) : QString();
    const QRect row(4, 0, m_spanBox->x() - 8, kChoiceHeight);
    if (!readout.isEmpty()) {
        p.setPen(ui::kWindowText);
        p.drawLine(m_pointerX, plotRect().top(), m_pointerX, height());
        p.drawText(row, Qt::AlignVCenter, readout);
        return;
    }
    const QFontMetrics metrics(font());
    int x = row.left();
    for (const SeriesLook& look : m_looks) {
        p.fillRect(QRect(x, kChoiceHeight / 2 - 1, 12, 3), look.colour);
        p.setPen(look.colour);
        p.drawText(QRect(x + 16, 0, row.right() - x - 16, kChoiceHeight), Qt::AlignVCenter,
                   look.name);
        x += 16 + metrics.horizontalAdvance(look.name) + 10;
    }
}

void LiveTrend::resizeEvent(QResizeEvent*)
{
    // Wide enough for its longest choice whatever the font.
    const int boxWidth = m_spanBox->sizeHint().width();
    m_spanBox->setGeometry(width() - boxWidth, 0, boxWidth, kChoiceHeight - 2);
    redraw();
}

void LiveTrend::mouseMoveEvent(QMouseEvent* event)
{
    m_pointerX = int(event->position().x());
    update();
}

void LiveTrend::leaveEvent(QEvent*)
{
    m_pointerX = -1;
    update();
}

QCheckBox* makeTrendToggle(QWidget* parent, LiveTrend* trend, const core::AppDir& app)
{
    auto* box = new QCheckBox(QStringLiteral("Trend"), parent);
    box->setObjectName(QStringLiteral("ShowTrend"));
    box->setChecked(readShowTrend(app));
    trend->setVisible(box->isChecked());
    QObject::connect(box, &QCheckBox::toggled, trend, &QWidget::setVisible);
    QObject::connect(box, &QCheckBox::toggled, box, [app](bool on) { writeShowTrend(app, on); });
    return box;
}

} // namespace trend
