#include "FilterPlot.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kSamples = 400;

double sampleHz(int i)
{
    return FilterPlot::kLowHz * std::pow(FilterPlot::kHighHz / FilterPlot::kLowHz, double(i) / (kSamples - 1));
}

} // namespace

FilterPlot::FilterPlot(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("plotFilterResponse"));
    setAccessibleName(QStringLiteral("Magnitude response"));
    setMinimumSize(160, 90);
    describe();
}

void FilterPlot::setMain(const QString &name, const FilterTable::FixedWords &words)
{
    m_name = name;
    m_main = words;
    m_hasMain = true;
    refresh();
}

void FilterPlot::clearMain()
{
    m_hasMain = false;
    m_name.clear();
    refresh();
}

void FilterPlot::setBackground(const std::vector<FilterTable::FixedWords> &curves)
{
    m_background = curves;
    refresh();
}

void FilterPlot::refresh()
{
    // The range fits every curve shown, in steps of 6 dB, at least -24 to +6.
    double lo = 0, hi = 0;
    auto scan = [&](const FilterTable::FixedWords &w) {
        for (int i = 0; i < kSamples; ++i) {
            const double db = FilterTable::magnitudeDb(w, sampleHz(i));
            if (std::isfinite(db)) {
                lo = std::min(lo, db);
                hi = std::max(hi, db);
            }
        }
    };
    if (m_hasMain)
        scan(m_main);
    for (const auto &w : m_background)
        scan(w);
    m_lowDb = std::max(-96.0, std::min(-24.0, std::floor(lo / 6.0) * 6.0));
    m_highDb = std::min(96.0, std::max(6.0, std::ceil(hi / 6.0) * 6.0));
    describe();
    QWidget::update();
}

void FilterPlot::describe()
{
    QString text = QStringLiteral("Frequency 20 Hz to 2 kHz, gain %1 to %2 dB").arg(m_lowDb).arg(m_highDb);
    if (m_hasMain) {
        // Where the computed filter departs most from 0 dB: the best sample,
        // then refined between its neighbours.
        auto depth = [this](double hz) { return std::fabs(FilterTable::magnitudeDb(m_main, hz)); };
        int best = 0;
        for (int i = 1; i < kSamples; ++i) {
            if (depth(sampleHz(i)) > depth(sampleHz(best)))
                best = i;
        }
        double lo = std::log(sampleHz(std::max(0, best - 1)));
        double hi = std::log(sampleHz(std::min(kSamples - 1, best + 1)));
        for (int k = 0; k < 60; ++k) {
            const double a = lo + (hi - lo) / 3, b = hi - (hi - lo) / 3;
            if (depth(std::exp(a)) < depth(std::exp(b)))
                lo = a;
            else
                hi = b;
        }
        const double bestHz = std::exp((lo + hi) / 2);
        const double bestDb = FilterTable::magnitudeDb(m_main, bestHz);
        text += QStringLiteral("; %1: %2 dB near %3 Hz").arg(m_name).arg(bestDb, 0, 'f', 1).arg(bestHz, 0, 'f', 0);
    }
    if (!m_background.empty())
        text += QStringLiteral("; %1 tuning filters").arg(m_background.size());
    setAccessibleDescription(text);
}

QRectF FilterPlot::area() const
{
    return QRectF(34, 6, std::max(10, width() - 42), std::max(10, height() - 22));
}

double FilterPlot::xOf(double hz) const
{
    const QRectF a = area();
    return a.left() + a.width() * std::log(hz / kLowHz) / std::log(kHighHz / kLowHz);
}

double FilterPlot::hzAt(double x) const
{
    const QRectF a = area();
    return kLowHz * std::pow(kHighHz / kLowHz, (x - a.left()) / a.width());
}

double FilterPlot::yOf(double db) const
{
    const QRectF a = area();
    const double clamped = std::clamp(db, m_lowDb, m_highDb);
    return a.top() + a.height() * (m_highDb - clamped) / (m_highDb - m_lowDb);
}

void FilterPlot::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF a = area();
    p.fillRect(rect(), palette().base());
    QFont small = font();
    small.setPointSize(7);
    p.setFont(small);

    p.setPen(QPen(palette().mid().color(), 0));
    for (double hz : {20.0, 50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0}) {
        const double x = xOf(hz);
        p.drawLine(QPointF(x, a.top()), QPointF(x, a.bottom()));
        const QString label = hz >= 1000 ? QStringLiteral("%1k").arg(hz / 1000) : QString::number(hz);
        p.drawText(QRectF(x - 20, a.bottom() + 1, 40, 14), Qt::AlignHCenter | Qt::AlignTop, label);
    }
    const double step = (m_highDb - m_lowDb) > 48 ? 12.0 : 6.0;
    for (double db = m_highDb; db >= m_lowDb - 1e-9; db -= step) {
        const double y = yOf(db);
        p.setPen(QPen(db == 0 ? palette().text().color() : palette().mid().color(), 0));
        p.drawLine(QPointF(a.left(), y), QPointF(a.right(), y));
        p.drawText(QRectF(0, y - 7, a.left() - 3, 14), Qt::AlignRight | Qt::AlignVCenter, QString::number(db));
    }

    auto curve = [&](const FilterTable::FixedWords &w) {
        QPainterPath path;
        const int columns = std::max(2, int(a.width()));
        for (int i = 0; i <= columns; ++i) {
            const double x = a.left() + a.width() * i / columns;
            const double db = FilterTable::magnitudeDb(w, hzAt(x));
            if (std::isnan(db))
                continue;
            const QPointF pt(x, yOf(db));
            if (path.elementCount() == 0)
                path.moveTo(pt);
            else
                path.lineTo(pt);
        }
        p.drawPath(path);
    };
    p.setPen(QPen(QColor(120, 120, 200, 160), 1));
    for (const auto &w : m_background)
        curve(w);
    if (m_hasMain) {
        p.setPen(QPen(QColor(200, 40, 40), 2));
        curve(m_main);
    }
    p.setPen(QPen(palette().text().color(), 0));
    p.drawRect(a);
}
