// The hidapi transfer without a meter attached: opening fails with a code,
// every other call on the closed device fails cleanly.
#include "link/hidtransfer.h"

#include <QtTest>

#include <array>

namespace {
// Identifiers no real device carries.
constexpr std::uint16_t AbsentVendorId = 0xFFFE;
constexpr std::uint16_t AbsentProductId = 0xFFFD;
} // namespace

class TestHidTransfer : public QObject {
    Q_OBJECT
private slots:
    void openWithoutDeviceFails()
    {
        kv::HidTransfer hid;
        const int result = hid.OpenDevice(AbsentVendorId, AbsentProductId);
        QVERIFY(result != 0);
        QVERIFY(!hid.isOpen());
        // A second attempt fails again instead of pretending to be open.
        QVERIFY(hid.OpenDevice(AbsentVendorId, AbsentProductId) != 0);
        QVERIFY(!hid.isOpen());
    }

    void callsOnClosedDeviceFail()
    {
        kv::HidTransfer hid;
        std::array<std::uint8_t, 64> buffer;
        buffer.fill(0xAA);
        const std::array<std::uint8_t, 7> frame{0x02, 'A', 0, 0, 0, 0, 0x03};
        const std::array<std::uint8_t, 32> block{};

        QCOMPARE(hid.SetDeviceTimeouts(kv::LinkReadTimeoutMs, kv::LinkWriteTimeoutMs), int(kv::HidNotOpen));
        QCOMPARE(hid.WriteCommand(7, frame.data()), int(kv::HidNotOpen));
        QCOMPARE(hid.WriteData(32, block.data()), int(kv::HidNotOpen));
        QCOMPARE(hid.AfterWrite(), int(kv::HidNotOpen));
        QCOMPARE(hid.ReadReply(64, buffer.data()), int(kv::HidNotOpen));
        QCOMPARE(hid.ReadSerialText(0, buffer.data(), 32), int(kv::HidNotOpen));
        // The serial text buffer is left as an empty string, not garbage.
        QCOMPARE(int(buffer[0]), 0);
    }

    void badArgumentsRejected()
    {
        kv::HidTransfer hid;
        QVERIFY(hid.ReadSerialText(0, nullptr, 32) != 0);
        std::array<std::uint8_t, 4> small{1, 2, 3, 4};
        QVERIFY(hid.ReadSerialText(0, small.data(), 0) != 0);
        QCOMPARE(int(small[0]), 1); // nothing written for length 0
    }

    void closeIsHarmless()
    {
        kv::HidTransfer hid;
        QCOMPARE(hid.CloseDevice(), 0);
        QCOMPARE(hid.CloseDevice(), 0);
        hid.OpenDevice(AbsentVendorId, AbsentProductId);
        QCOMPARE(hid.CloseDevice(), 0);
        QVERIFY(!hid.isOpen());
    }
};

QTEST_GUILESS_MAIN(TestHidTransfer)
#include "tst_hidtransfer.moc"
