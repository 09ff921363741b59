// Glyph tables: the meter's segment bytes of every glyph, both ways.
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
    // Every byte of both tables, as the meter's display memory holds them:
    // each listed byte decodes to its glyph, also with the ignored bit set,
    // the glyph encodes back to exactly that byte, and every byte not listed
    // decodes to the blank glyph 16.
    void tablesMatchTheMetersBytes()
    {
        const QMap<int, int> tableA{{0xEE, 0},  {0x24, 1},  {0xBA, 2},  {0xB6, 3},  {0x74, 4},  {0xD6, 5},
                                    {0xDE, 6},  {0xE4, 7},  {0xFE, 8},  {0xF6, 9},  {0xFC, 10}, {0x5E, 11},
                                    {0xCA, 12}, {0x3E, 13}, {0xDA, 14}, {0xD8, 15}, {0x10, 17}, {0x4A, 18},
                                    {0x1E, 19}, {0x18, 20}, {0x5A, 21}, {0x6E, 22}};
        const QMap<int, int> tableB{{0x77, 0},  {0x24, 1},  {0x5D, 2},  {0x6D, 3},  {0x2E, 4},  {0x6B, 5},
                                    {0x7B, 6},  {0x27, 7},  {0x7F, 8},  {0x6F, 9},  {0x3F, 10}, {0x7A, 11},
                                    {0x53, 12}, {0x7C, 13}, {0x5B, 14}, {0x1B, 15}, {0x08, 17}, {0x52, 18},
                                    {0x78, 19}, {0x18, 20}, {0x5A, 21}, {0x38, 22}, {0x3E, 23}, {0x20, 24}};
        for (int byte = 0; byte < 256; ++byte) {
            const auto b = static_cast<std::uint8_t>(byte);
            QCOMPARE(int(kv::GlyphTableA(b)), tableA.value(byte & 0xFE, 16));
            QCOMPARE(int(kv::GlyphTableB(b)), tableB.value(byte & 0x7F, 16));
        }
        for (int g = 0; g < kv::GlyphCount; ++g) {
            QCOMPARE(int(kv::EncodeGlyphA(g)), tableA.key(g, 0));
            QCOMPARE(int(kv::EncodeGlyphB(g)), tableB.key(g, 0));
        }
        QCOMPARE(int(kv::GlyphSegments(8)), 0x7F);
        QCOMPARE(int(kv::GlyphSegments(1)), int(kv::SegB | kv::SegC));
    }
};

QTEST_GUILESS_MAIN(TestGlyphTables)
#include "tst_glyphtables.moc"
