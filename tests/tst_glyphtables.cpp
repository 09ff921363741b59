// Glyph tables: decoding ignores the symbol bit, encoding round-trips.
#include "live/glyphtables.h"
#include "live/livereading.h"

#include <QtTest>

class TestGlyphTables : public QObject {
    Q_OBJECT
private slots:
    void decode_data()
    {
        QTest::addColumn<int>("byte");
        QTest::addColumn<bool>("tableA");
        QTest::addColumn<int>("glyph");
        QTest::newRow("A 0 with symbol bit") << 0xEF << true << 0;
        QTest::newRow("A 0") << 0xEE << true << 0;
        QTest::newRow("A blank") << 0x00 << true << 16;
        QTest::newRow("A minus") << 0x10 << true << 17;
        QTest::newRow("A L") << 0x4A << true << 18;
        QTest::newRow("A unknown") << 0x02 << true << 16;
        QTest::newRow("B 0 with symbol bit") << 0xF7 << false << 0;
        QTest::newRow("B 8") << 0x7F << false << 8;
        QTest::newRow("B 24") << 0xA0 << false << 24;
        QTest::newRow("B blank") << 0x80 << false << 16;
    }
    void decode()
    {
        QFETCH(int, byte);
        QFETCH(bool, tableA);
        QFETCH(int, glyph);
        const auto b = static_cast<std::uint8_t>(byte);
        QCOMPARE(int(tableA ? kv::GlyphTableA(b) : kv::GlyphTableB(b)), glyph);
    }
    void encodeRoundTrips()
    {
        for (int g = 0; g < kv::GlyphCount; ++g) {
            if (kv::EncodeGlyphA(g))
                QCOMPARE(int(kv::GlyphTableA(kv::EncodeGlyphA(g))), g);
            if (kv::EncodeGlyphB(g))
                QCOMPARE(int(kv::GlyphTableB(kv::EncodeGlyphB(g))), g);
        }
        QCOMPARE(int(kv::EncodeGlyphA(16)), 0);
        QCOMPARE(int(kv::GlyphSegments(8)), 0x7F);
        QCOMPARE(int(kv::GlyphSegments(1)), int(kv::SegB | kv::SegC));
    }
};

QTEST_GUILESS_MAIN(TestGlyphTables)
#include "tst_glyphtables.moc"
