#pragma once
// A chart set up the way a split graph window with notes looks: five
// channels against time with a gap, three stacked axes, annotations, two
// vertical cursors and the statistics table.

#include "chart/view/chart.h"
#include "realtime/datetime.h"

#include <cmath>

namespace kvtest {

inline double FixtureStart() { return kv::ToDateTime(QDateTime(QDate(2024, 5, 3), QTime(10, 0, 0))); }

inline void FillFullChart(kv::Chart &c, int points = 300)
{
    using namespace kv;
    c.setSubsets(5);
    c.setPoints(points);
    c.setNullDataValueY(9999);
    const char *labels[] = {"%RH", "T1", "T2", "WET BULB", "DEW POINT"};
    const QColor colors[] = {QColor(255, 255, 0), QColor(0, 0, 255), QColor(255, 0, 0), QColor(0, 255, 0),
                             QColor(255, 0, 255)};
    for (int s = 0; s < 5; ++s) {
        c.setSubsetLabels(s, QString::fromLatin1(labels[s]));
        c.setSubsetColors(s, colors[s]);
    }
    const double t0 = FixtureStart();
    for (int p = 0; p < points; ++p) {
        for (int s = 0; s < 5; ++s) {
            c.setXDataII(s, p, t0 + p * 2 * OneSecond);
            c.setYData(s, p, float(20 + 10 * s + 5 * std::sin(p / 40.0 + s)));
        }
    }
    for (int p = points / 3; p < points / 3 + 10 && p < points; ++p)
        c.setYData(2, p, 9999.0f);                      // a gap in T2
    c.setYDataII(1, 0, 0.1);                             // a value that is no float
    c.setDateTimeMode(sgVBDateTime);
    c.setXAxisLabel(QStringLiteral("Time"));
    c.setManualScaleControlX(sgManualMinAndMax);
    c.setManualMinX(t0);
    c.setManualMaxX(t0 + (points + 10) * 2 * OneSecond);
    c.setGraphForeColor(QColor(0, 128, 0));
    c.setGraphBackColor(Qt::black);
    c.setDeskColor(QColor(192, 192, 192));
    c.setTextColor(Qt::black);
    c.setGridStyle(sgDot);
    c.setMainTitle(QStringLiteral("Run 7"));
    c.setSubTitle(QStringLiteral(" "));
    c.setMultiAxesSubsets(0, 1);
    c.setMultiAxesSubsets(1, 2);
    c.setMultiAxesSubsets(2, 2);
    c.setMultiAxesProportions(0, 0.2);
    c.setMultiAxesProportions(1, 0.4);
    c.setMultiAxesProportions(2, 0.4);
    c.setWorkingAxis(1);
    c.setManualScaleControlY(sgManualMinAndMax);
    c.setManualMinY(-10.7);
    c.setManualMaxY(50.9);
    c.setYAxisLabel(QStringLiteral("°C"));
    c.setWorkingAxis(0);
    c.setGraphAnnotationType(4, sgAnnotNoSymbol);
    c.setGraphAnnotationX(4, t0 + points / 6 * 2 * OneSecond);
    c.setGraphAnnotationY(4, 25);
    c.setGraphAnnotationText(4, QStringLiteral("Door opened"));
    c.setGraphAnnotationColor(4, Qt::white);
    c.setGraphAnnotationType(5, sgAnnotCross);
    c.setGraphAnnotationX(5, t0 + points * 2 / 5 * 2 * OneSecond);
    c.setGraphAnnotationY(5, 22);
    c.setGraphAnnotationColor(5, Qt::cyan);
    c.setShowVertLineAnnotations(true);
    c.setVertLineAnnotation(0, t0 + points / 10 * 2 * OneSecond);
    c.setVertLineAnnotationColor(0, QColor(0, 0, 255));
    c.setVertLineAnnotation(1, t0 + points * 2 / 3 * 2 * OneSecond);
    c.setVertLineAnnotationColor(1, QColor(255, 0, 0));
    c.setTARows(15);
    c.setTAColumns(2);
    c.setTAText(0, 0, QStringLiteral("Start Time:"));
    c.setTAText(0, 1, QStringLiteral("03/05/2024 10:00:00"));
    c.setTAText(3, 0, QStringLiteral("RH MAX:"));
    c.setTAText(3, 1, QStringLiteral("25.0@03/05/2024 10:01:20"));
    for (int r = 0; r < 15; ++r)
        c.setTAColor(r, 1, PEargb(255, 255, 0, 0));
    c.setTALocation(sgTAExplicit);
    c.setTAX(550);
    c.setTAY(50);
    c.setTAMoveable(sgTAMoveableNoHotSpots);
    c.setTABackColor(PEargb(129, 255, 255, 255));
    c.setTABorder(sgInset);
    c.setTATextSize(60);
    c.setShowTableAnnotation(true);
}

} // namespace kvtest
