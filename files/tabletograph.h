#pragma once
// Drawing a table as a graph: row r (from 1) becomes point r - 1 of the five
// series.  Date and time cells are joined with a space and read in the
// user's formats; value cells " OL" / " -OL" (exactly, leading space
// included) and texts that are not numbers become the marker values.
// UI-free: fills arrays that are then written into a chart whole.

#include "files/textfile.h"
#include "files/texttable.h"

#include <QLocale>
#include <QString>

#include <functional>
#include <vector>

class QTime;

namespace kv {

// Reads the date and time texts of a table row, in the formats the text
// files are written in (short date, long time, the locale's digits).
class TableDateTimeReader {
public:
    explicit TableDateTimeReader(const QLocale &locale = QLocale());
    // False when the texts are not a date and a time.
    bool read(QStringView date, QStringView time, double *dateTime);
    // The message for texts that cannot be read.
    static QString errorText(QStringView date, QStringView time);

private:
    bool readTime(QStringView text, QTime *time) const;

    QLocale m_locale;
    QString m_dateFormat;
    QString m_timeFormat;
    QString m_lastDateText;
    double m_lastDate = 0;
    bool m_lastDateValid = false;
    TimeFormatTokens m_time;
};

// A value cell as a graph value: " OL" → overRange, " -OL" → underRange,
// a number in the locale's notation → the number, anything else → notANumber.
float TableCellValue(QStringView cell, float overRange, float underRange, float notANumber, const QLocale &locale);

struct TableGraphRange {
    enum Status { Ok, NoData, Unreadable };
    Status status = NoData;
    int points = 0;          // the table's data rows
    double first = 0;        // the date-times of the first and last row
    double last = 0;
    QString error;           // Unreadable: the reading error's message
};

// The row count and X range of the graph of a table.  No data when the date
// cell of the first row is empty.
TableGraphRange TableGraphExtent(const TextTable &table, const QLocale &locale = QLocale());

struct TableGraphPoints {
    int points = 0;
    // Point by point, the five series of a point consecutive (the chart's
    // whole-array order).  Rows that cannot be read keep X 0 and the null
    // value, as a freshly set-up graph holds them.
    std::vector<double> x;
    std::vector<float> y;
    int skippedRows = 0;
};

// Converts every row; `progress(r)` runs before row r (from 1).
TableGraphPoints TableGraphValues(const TextTable &table, const QLocale &locale = QLocale(),
                                  const std::function<void(int row)> &progress = {});

} // namespace kv
