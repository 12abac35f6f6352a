#pragma once

#include "FilterTable.h"

#include <QString>
#include <QWidget>

#include <vector>

// A small plot of filters' magnitude responses: frequency on a log axis from
// 20 Hz to 2 kHz, gain in dB. The curves are computed from the fixed-point
// words themselves, the numbers the pedal gets.
class FilterPlot : public QWidget {
    Q_OBJECT
public:
    static constexpr double kLowHz = 20.0;
    static constexpr double kHighHz = 2000.0;

    explicit FilterPlot(QWidget *parent = nullptr);

    void setMain(const QString &name, const FilterTable::FixedWords &words);
    void clearMain();
    void setBackground(const std::vector<FilterTable::FixedWords> &curves);
    bool hasMain() const { return m_hasMain; }
    const FilterTable::FixedWords &mainWords() const { return m_main; }
    const std::vector<FilterTable::FixedWords> &background() const { return m_background; }
    // The gain range shown, in dB.
    double lowDb() const { return m_lowDb; }
    double highDb() const { return m_highDb; }
    // Frequency and gain to a point of the plot area and back.
    double xOf(double hz) const;
    double hzAt(double x) const;
    double yOf(double db) const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRectF area() const;
    void refresh();
    void describe();

    QString m_name;
    FilterTable::FixedWords m_main{};
    bool m_hasMain = false;
    std::vector<FilterTable::FixedWords> m_background;
    double m_lowDb = -24.0;
    double m_highDb = 6.0;
};
