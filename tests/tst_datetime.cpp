// Date-times as doubles: conversions for every double a file may hold.
#include "realtime/datetime.h"

#include <QtTest>

#include <cmath>
#include <limits>

class TestDateTime : public QObject {
    Q_OBJECT
private slots:
    void splitsEveryDouble_data();
    void splitsEveryDouble();
};

void TestDateTime::splitsEveryDouble_data()
{
    QTest::addColumn<double>("dateTime");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QTime>("time");
    QTest::newRow("epoch") << 0.0 << QDate(1899, 12, 30) << QTime(0, 0);
    QTest::newRow("noon before the epoch") << -0.5 << QDate(1899, 12, 29) << QTime(12, 0);
    QTest::newRow("rounds up to midnight") << 45000.0 - 0.1 / 86400000.0 << QDate(2023, 3, 15) << QTime(0, 0);
    QTest::newRow("far but within range") << 9.9e7 << QDate(1899, 12, 30).addDays(99000000) << QTime(0, 0);
    QTest::newRow("NaN") << std::nan("") << QDate() << QTime();
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << QDate() << QTime();
    QTest::newRow("minus infinity") << -std::numeric_limits<double>::infinity() << QDate() << QTime();
    QTest::newRow("huge") << 1e300 << QDate() << QTime();
    QTest::newRow("beyond qint64") << -1e19 << QDate() << QTime();
    QTest::newRow("largest double") << std::numeric_limits<double>::max() << QDate() << QTime();
}

void TestDateTime::splitsEveryDouble()
{
    QFETCH(double, dateTime);
    QFETCH(QDate, date);
    QFETCH(QTime, time);
    QDate gotDate;
    QTime gotTime;
    kv::SplitDateTime(dateTime, &gotDate, &gotTime);
    QCOMPARE(gotDate, date);
    QCOMPARE(gotTime, time);
    QCOMPARE(kv::FromDateTime(dateTime).isValid(), date.isValid());
    if (!date.isValid())
        QCOMPARE(kv::DateTimeText(dateTime), QStringLiteral(" "));
}

QTEST_GUILESS_MAIN(TestDateTime)
#include "tst_datetime.moc"
