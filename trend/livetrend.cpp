#include "trend/livetrend.h"

#include "core/numbers.h"
#include "history/historyfacts.h"
#include "ui/windowlook.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace trend {
namespace {

constexpr int kChoiceHeight = 22;

// Each series' lowest and highest over what is shown, so each fills the height on its own.
std::array<std::pair<float, float>, kSeriesCount> ranges(const std::vector<Slot>& shown)
{
    std::array<std::pair<float, float>, kSeriesCount> out;
    out.fill({1e30f, -1e30f});
    for (const Slot& s : shown) {
        for (std::size_t k = 0; k < kSeriesCount; ++k) {
            out[k].first = std::min(out[k].first, s.low[k]);
            out[k].second = std::max(out[k].second, s.high[k]);
        }
    }
    for (auto& [low, high] : out) {
        if (!(high > low)) {
            low -= 1;
            high += 1;
        }
    }
    return out;
}

} // namespace

LiveTrend::LiveTrend(QWidget* parent)
    : QWidget(parent)
    , m_spanBox(new QComboBox(this))
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

const QImage& LiveTrend::redraw()
{
    ++m_redraws;
    const QRect plot = plotRect();
    m_picture = QImage(plot.size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    m_picture.fill(ui::kWindowGround);
    m_shown = m_ring.recent(m_span);
    if (m_shown.empty())
        return m_picture;
    const auto range = ranges(m_shown);
    const qint64 step = m_span <= kSecondSlots ? 1 : 60;
    const qint64 last = m_ring.newestSecond() / step;
    const double perSlot = double(m_picture.width()) / double(m_span / step);
    const double h = m_picture.height() - 1;
    // Straight into the pixels: one store a pixel keeps a day's picture well under the frame rate.
    const int width = m_picture.width();
    const qsizetype stride = m_picture.bytesPerLine() / 4;
    QRgb* const bits = reinterpret_cast<QRgb*>(m_picture.bits());
    for (std::size_t k = 0; k < kSeriesCount; ++k) {
        const QRgb pixel = ui::toColour(history::historyFacts(kSeries[k]).seriesColour).rgb();
        const double scale = h / double(range[k].second - range[k].first);
        for (const Slot& s : m_shown) {
            const int x = int(width - 1 - double(last - s.index) * perSlot);
            const int top = std::clamp(int(h - (s.high[k] - range[k].first) * scale), 0, int(h));
            const int bottom = std::clamp(int(h - (s.low[k] - range[k].first) * scale), 0, int(h));
            if (x < 0 || x >= width)
                continue;
            for (int y = top; y <= bottom; ++y)
                bits[y * stride + x] = pixel;
        }
    }
    return m_picture;
}

std::optional<Slot> LiveTrend::slotAt(int x) const
{
    if (m_shown.empty() || x < 0 || x >= m_picture.width())
        return std::nullopt;
    const qint64 step = m_span <= kSecondSlots ? 1 : 60;
    const double perSlot = double(m_picture.width()) / double(m_span / step);
    const qint64 index =
        m_ring.newestSecond() / step - qint64(double(m_picture.width() - 1 - x) / perSlot);
    const auto at = std::lower_bound(m_shown.begin(), m_shown.end(), index,
                                     [](const Slot& s, qint64 i) { return s.index < i; });
    if (at == m_shown.end())
        return m_shown.back();
    return *at;
}

QString LiveTrend::readoutAt(int x) const
{
    const std::optional<Slot> s = slotAt(x);
    if (!s)
        return {};
    QString text = s->wall.toString(QStringLiteral("HH:mm:ss"));
    for (std::size_t k = 0; k < kSeriesCount; ++k) {
        const char* unit = core::facts(kSeries[k]).shortUnit;
        text += QStringLiteral("  ") + core::numberText(s->high[k]) +
                (unit ? QString::fromLatin1(unit) : QString());
    }
    return text;
}

void LiveTrend::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), ui::kWindowGround);
    p.drawImage(plotRect().topLeft(), m_picture);
    if (m_pointerX < 0)
        return;
    p.setPen(ui::kWindowText);
    p.drawLine(m_pointerX, plotRect().top(), m_pointerX, height());
    p.drawText(QRect(0, 0, m_spanBox->x() - 4, kChoiceHeight), Qt::AlignVCenter,
               readoutAt(m_pointerX));
}

void LiveTrend::resizeEvent(QResizeEvent*)
{
    m_spanBox->setGeometry(width() - 64, 0, 64, kChoiceHeight - 2);
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
