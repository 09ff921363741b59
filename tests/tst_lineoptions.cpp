// The options of the line-protocol outputs and the logger import: values,
// the combinations that make a target, the token file, names without
// credentials.

#include "service/lineoptions.h"

#include <QCommandLineParser>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace kv::service;

class TestLineOptions : public QObject {
    Q_OBJECT

private slots:
    void values_data();
    void values();
    void targets_data();
    void targets();
    void tokenFile();
    void commandLineAndConfig();
};

void TestLineOptions::values_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("bytes") << "spool-max-bytes" << "1048576" << true;
    QTest::newRow("bytes zero") << "spool-max-bytes" << "0" << false;
    QTest::newRow("bytes text") << "spool-max-bytes" << "1G" << false;
    QTest::newRow("days fraction") << "spool-max-days" << "0.5" << true;
    QTest::newRow("days comma") << "spool-max-days" << "0,5" << false;
    QTest::newRow("days negative") << "spool-max-days" << "-1" << false;
    QTest::newRow("switch alone") << "no-import" << "" << true;
    QTest::newRow("switch false") << "no-import" << "false" << true;
    QTest::newRow("switch odd") << "no-import" << "maybe" << false;
    QTest::newRow("value missing") << "db" << "" << false;
    QTest::newRow("unknown") << "influx3" << "x" << false;
}

void TestLineOptions::values()
{
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(bool, accepted);
    LineOptions options;
    QString error;
    QCOMPARE(SetLineOption(options, name, value, &error), accepted);
    QCOMPARE(error.isEmpty(), accepted);
}

void TestLineOptions::targets_data()
{
    QTest::addColumn<QStringList>("settings");   // name=value pairs
    QTest::addColumn<int>("targets");             // -1: refused
    QTest::addColumn<QString>("firstName");
    QTest::newRow("none") << QStringList{} << 0 << "";
    QTest::newRow("influx with db") << QStringList{"influx=http://db:8086", "db=lab"} << 1 << "http://db:8086";
    QTest::newRow("credentials left out of the name")
        << QStringList{"influx=https://user:secret@db:8086/prefix", "db=lab"} << 1 << "https://db:8086/prefix";
    QTest::newRow("influx without db") << QStringList{"influx=http://db:8086"} << -1 << "";
    QTest::newRow("db without influx") << QStringList{"db=lab"} << -1 << "";
    QTest::newRow("not http") << QStringList{"influx=ftp://db", "db=lab"} << -1 << "";
    QTest::newRow("no host") << QStringList{"influx=http://", "db=lab"} << -1 << "";
    QTest::newRow("influx2 without token") << QStringList{"influx2=http://db:8086", "org=o", "bucket=b"} << -1 << "";
    QTest::newRow("file and stdout name") << QStringList{"lines-file=-"} << 1 << "stdout";
}

void TestLineOptions::targets()
{
    QFETCH(QStringList, settings);
    QFETCH(int, targets);
    QFETCH(QString, firstName);
    LineOptions options;
    for (const QString &pair : settings) {
        const int eq = pair.indexOf(QLatin1Char('='));
        QVERIFY(SetLineOption(options, pair.left(eq), pair.mid(eq + 1), nullptr));
    }
    QList<LineTargetOptions> list;
    QString error;
    const bool ok = options.targets(&list, &error);
    QCOMPARE(ok, targets >= 0);
    if (!ok) {
        QVERIFY(!error.isEmpty());
        QVERIFY(!error.contains(QStringLiteral("secret")));
        return;
    }
    QCOMPARE(list.size(), targets);
    if (targets > 0)
        QCOMPARE(list.first().name(), firstName);
}

void TestLineOptions::tokenFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("token"));
    LineOptions options;
    QVERIFY(SetLineOption(options, QStringLiteral("influx2"), QStringLiteral("https://db:8086"), nullptr));
    QVERIFY(SetLineOption(options, QStringLiteral("org"), QStringLiteral("lab"), nullptr));
    QVERIFY(SetLineOption(options, QStringLiteral("bucket"), QStringLiteral("meters"), nullptr));
    QVERIFY(SetLineOption(options, QStringLiteral("token-file"), path, nullptr));
    QList<LineTargetOptions> list;
    QString error;
    QVERIFY(!options.targets(&list, &error));   // no such file
    for (const QByteArray &content : {QByteArray(""), QByteArray("\n\n"), QByteArray("a\nb\n")}) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.close();
        QVERIFY2(!options.targets(&list, &error), content.constData());
        QVERIFY(!error.contains(QStringLiteral("a\nb")));
    }
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("  s3cr3t-token==\n");
    f.close();
    QVERIFY2(options.targets(&list, &error), qPrintable(error));
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.first().token, QStringLiteral("s3cr3t-token=="));
    QVERIFY(!list.first().name().contains(QStringLiteral("s3cr3t")));
}

void TestLineOptions::commandLineAndConfig()
{
    QCommandLineParser parser;
    parser.addOptions(LineCommandLineOptions());
    QVERIFY(parser.parse({QStringLiteral("kv3917d"), QStringLiteral("--influx"), QStringLiteral("http://db:8086"),
                          QStringLiteral("--db=lab"), QStringLiteral("--no-import")}));
    LineOptions options;
    QString error;
    QVERIFY(ReadLineOptions(parser, options, &error));
    QCOMPARE(options.influx, QStringLiteral("http://db:8086"));
    QCOMPARE(options.db, QStringLiteral("lab"));
    QVERIFY(!options.fieldImport);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kv3917d.conf"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("spool-max-days = 2\nno-import = false\narchive-dir = /srv/kv3917\n");
    }
    QSettings settings(path, QSettings::IniFormat);
    LineOptions fromFile;
    fromFile.fieldImport = false;
    QVERIFY(ReadLineConfig(settings, fromFile, &error));
    QCOMPARE(fromFile.spoolMaxDays, 2.0);
    QVERIFY(fromFile.fieldImport);
    QCOMPARE(fromFile.archiveDir, QStringLiteral("/srv/kv3917"));
}

QTEST_GUILESS_MAIN(TestLineOptions)
#include "tst_lineoptions.moc"
