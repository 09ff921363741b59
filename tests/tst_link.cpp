// The USB exchanges: frame persistence, live sequence, memory page codes.
#include "link/commands.h"
#include "link/meterlink.h"
#include "tests/support/fakeusb.h"

#include <QtTest>

#include <array>
#include <vector>

namespace {

using kvtest::FakeTransfer;

std::vector<std::uint8_t> PageReply(int page, std::uint8_t marker = 5)
{
    std::vector<std::uint8_t> r(36, 0);
    r[32] = static_cast<std::uint8_t>(page >> 8);
    r[33] = static_cast<std::uint8_t>(page & 0xFF);
    r[35] = marker;
    return r;
}

} // namespace

class TestLink : public QObject {
    Q_OBJECT
private slots:
    void identificationCarriesLeftoverPageBytes()
    {
        FakeTransfer usb;
        kv::MeterLink link(usb);
        usb.reply = PageReply(300);
        QCOMPARE(link.ReadMemoryPage(300), int(kv::PageOk));
        QCOMPARE(int(usb.frames.back()[2]), 0x01);
        QCOMPARE(int(usb.frames.back()[3]), 0x2C);
        QVERIFY(link.QueryUsb(kv::cmd::Identify));
        const auto &k = usb.frames.back();
        QCOMPARE(k, (std::array<std::uint8_t, 7>{0x02, 'K', 0x01, 0x2C, 0, 0, 0x03}));
        QCOMPARE(usb.closes, 1); // the page read leaves the device open; the query closes it
    }

    void liveSequenceWraps()
    {
        FakeTransfer usb;
        kv::MeterLink link(usb);
        link.Kind = kv::LinkKind::Usb;
        usb.reply.assign(64, 0);
        std::vector<int> seen;
        for (int i = 0; i < 257; ++i) {
            QVERIFY(link.ReadLiveReply());
            seen.push_back(usb.frames.back()[5]);
        }
        QCOMPARE(seen[0], 1);
        QCOMPARE(seen[254], 255);
        QCOMPARE(seen[255], 0);
        QCOMPARE(seen[256], 1);
        QCOMPARE(int(usb.frames.back()[1]), int('A'));
    }

    void liveReadZeroesBufferFirst()
    {
        FakeTransfer usb;
        kv::MeterLink link(usb);
        link.Kind = kv::LinkKind::Usb;
        link.Reply.fill(0x02);
        usb.readResult = 1;
        QVERIFY(!link.ReadLiveReply());
        QCOMPARE(int(link.Reply[0]), 0);
        QCOMPARE(usb.opens, usb.closes);
    }

    void noLinkDoesNothing()
    {
        FakeTransfer usb;
        kv::MeterLink link(usb);
        QVERIFY(link.ReadLiveReply());
        QVERIFY(usb.frames.empty());
    }

    void memoryPageCodes_data()
    {
        QTest::addColumn<int>("open");
        QTest::addColumn<int>("timeouts");
        QTest::addColumn<int>("write");
        QTest::addColumn<int>("read");
        QTest::addColumn<int>("echoPage");
        QTest::addColumn<int>("marker");
        QTest::addColumn<int>("code");
        QTest::newRow("ok") << 0 << 0 << 0 << 0 << 300 << 5 << 0;
        QTest::newRow("open") << 1 << 0 << 0 << 0 << 300 << 5 << 1002;
        QTest::newRow("timeouts") << 0 << 1 << 0 << 0 << 300 << 5 << 1003;
        QTest::newRow("write") << 0 << 0 << 1 << 0 << 300 << 5 << 1004;
        QTest::newRow("read") << 0 << 0 << 0 << 1 << 300 << 5 << 1005;
        QTest::newRow("marker") << 0 << 0 << 0 << 0 << 300 << 4 << 1006;
        QTest::newRow("echo high") << 0 << 0 << 0 << 0 << 44 << 5 << 1007;
        QTest::newRow("echo low") << 0 << 0 << 0 << 0 << 301 << 5 << 1007;
    }
    void memoryPageCodes()
    {
        QFETCH(int, open);
        QFETCH(int, timeouts);
        QFETCH(int, write);
        QFETCH(int, read);
        QFETCH(int, echoPage);
        QFETCH(int, marker);
        QFETCH(int, code);
        FakeTransfer usb;
        usb.openResult = open;
        usb.timeoutResult = timeouts;
        usb.writeResult = write;
        usb.readResult = read;
        usb.reply = PageReply(echoPage, static_cast<std::uint8_t>(marker));
        kv::MeterLink link(usb);
        QCOMPARE(link.ReadMemoryPage(300), code);
    }

    void leaseStopsAndRestartsPolling()
    {
        struct Timer : kv::LinkTimer {
            QStringList calls;
            void stopPolling() override { calls << "stop"; }
            void startPolling() override { calls << "start"; }
        } timer;
        FakeTransfer usb;
        kv::MeterLink link(usb);
        link.setTimer(&timer);
        {
            kv::LinkLease lease(link, false);
            QCOMPARE(timer.calls, QStringList{"stop"});
        }
        QCOMPARE(timer.calls, (QStringList{"stop", "start"}));
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
