#include "link/hidtransfer.h"

#include <QElapsedTimer>
#include <QFile>

#include <hidapi.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace kv {
namespace {

constexpr int FrameWriteLength = 7;
constexpr int DataWriteLength = 32;
// Longest reply the link asks for.
constexpr int MaxReplyLength = 64;
// Longest time-out accepted, so a wrong argument cannot hang the link.
constexpr int MaxTimeoutMs = 60000;

// hid_init() once per process; the library stays initialised until exit.
int HidLibraryResult()
{
    static const int result = hid_init();
    return result;
}

QString SerialText(const wchar_t *text)
{
    QString result;
    for (int i = 0; text && text[i] != L'\0' && i < HidSerialTextMax; ++i)
        result += (text[i] >= 0x20 && text[i] < 0x7F) ? QChar(char16_t(text[i])) : QLatin1Char('?');
    return result;
}

} // namespace

QList<HidDeviceEntry> EnumerateHidDevices(std::uint16_t vendorId, std::uint16_t productId)
{
    QList<HidDeviceEntry> devices;
    if (HidLibraryResult() != 0)
        return devices;
    hid_device_info *list = hid_enumerate(vendorId, productId);
    for (const hid_device_info *info = list; info; info = info->next) {
        if (!info->path)
            continue;
        const QString path = QString::fromLocal8Bit(info->path);
        // A device with several interfaces is listed once per interface.
        if (std::any_of(devices.cbegin(), devices.cend(), [&](const HidDeviceEntry &d) { return d.path == path; }))
            continue;
        devices.append({path, SerialText(info->serial_number)});
    }
    hid_free_enumeration(list);
    return devices;
}

HidTransfer::~HidTransfer() { CloseDevice(); }

int HidTransfer::OpenDevice(std::uint16_t vendorId, std::uint16_t productId)
{
    if (m_device && vendorId == m_vendorId && productId == m_productId)
        return HidOk;
    CloseDevice();
    if (HidLibraryResult() != 0)
        return HidInitFailed;
    if (!m_boundPath.isEmpty()) {
        if (vendorId != MeterVendorId || productId != MeterProductId)
            return HidOpenFailed; // a bound transfer reaches only its meter
        return openPath(m_boundPath);
    }
    // The device held already, without an enumeration on every exchange.
    if (m_lock.isHeld() && vendorId == m_vendorId && productId == m_productId && openPath(m_lock.device()) == HidOk)
        return HidOk;
    m_lock.release();
    int result = HidOpenFailed;
    QString held;
    for (const HidDeviceEntry &device : EnumerateHidDevices(vendorId, productId)) {
        const int r = openPath(device.path);
        if (r == HidOk) {
            m_vendorId = vendorId;
            m_productId = productId;
            return HidOk;
        }
        if (r == HidDeviceHeld) {
            result = r;
            held = m_error;
        }
    }
    m_error = held;
    return result;
}

int HidTransfer::OpenDevicePath(const char *path)
{
    CloseDevice();
    const QString bound = path ? QString::fromLocal8Bit(path) : QString();
    if (bound != m_boundPath)
        m_lock.release();
    m_boundPath = bound;
    if (m_boundPath.isEmpty())
        return HidBadArgument;
    return OpenDevice(MeterVendorId, MeterProductId);
}

int HidTransfer::openPath(const QString &path)
{
    if (HidLibraryResult() != 0)
        return HidInitFailed;
    QString holder;
    if (!m_lock.acquire(path, &holder)) {
        m_error = QStringLiteral("in use by %1").arg(holder);
        return HidDeviceHeld;
    }
    m_device = hid_open_path(QFile::encodeName(path).constData());
    if (!m_device) {
        m_lock.release();
        m_error = QStringLiteral("cannot open %1").arg(path);
        return HidOpenFailed;
    }
    m_vendorId = MeterVendorId;
    m_productId = MeterProductId;
    m_error.clear();
    return HidOk;
}

int HidTransfer::SetDeviceTimeouts(int readMs, int writeMs)
{
    if (!m_device)
        return HidNotOpen;
    if (readMs < 0 || readMs > MaxTimeoutMs || writeMs < 0 || writeMs > MaxTimeoutMs)
        return HidBadArgument;
    m_readTimeoutMs = readMs;
    return HidOk;
}

int HidTransfer::WriteCommand(int length, const std::uint8_t *frame)
{
    if (!m_device)
        return HidNotOpen;
    if (!frame || length != FrameWriteLength)
        return HidBadArgument;
    drainInput();
    if (!m_device)
        return HidReadFailed;
    return writeReports(length, frame);
}

int HidTransfer::WriteData(int length, const std::uint8_t *data)
{
    if (!m_device)
        return HidNotOpen;
    if (!data || length != DataWriteLength)
        return HidBadArgument;
    return writeReports(length, data);
}

int HidTransfer::AfterWrite()
{
    // Reports are handed to the kernel by the write itself; nothing is
    // pending here.
    return m_device ? HidOk : HidNotOpen;
}

int HidTransfer::ReadReply(int length, std::uint8_t *buffer)
{
    if (!m_device)
        return HidNotOpen;
    if (!buffer || length <= 0 || length > MaxReplyLength)
        return HidBadArgument;

    QElapsedTimer clock;
    clock.start();
    std::array<unsigned char, HidMaxInputReportSize> report{};
    int received = 0;
    while (received < length) {
        // Once the time-out has passed, reports already queued are still
        // taken, but nothing more is waited for.
        const int remaining = std::max(0, m_readTimeoutMs - static_cast<int>(clock.elapsed()));
        const int n = hid_read_timeout(m_device, report.data(), report.size(), remaining);
        if (n < 0)
            return fail(HidReadFailed);
        if (n == 0)
            return HidReadTimeout;
        const int take = std::min(n, length - received);
        std::memcpy(buffer + received, report.data(), static_cast<std::size_t>(take));
        received += take;
    }
    return HidOk;
}

int HidTransfer::ReadSerialText(int /*index*/, std::uint8_t *buffer, int length)
{
    if (!buffer || length <= 0)
        return HidBadArgument;
    buffer[0] = 0;
    if (!m_device)
        return HidNotOpen;

    std::array<wchar_t, HidSerialTextMax + 1> text{};
    if (hid_get_serial_number_string(m_device, text.data(), text.size()) != 0)
        return HidSerialFailed;
    text.back() = L'\0';

    // The text is plain ASCII on this meter; anything else shows as '?'.
    int i = 0;
    for (; i < length - 1 && text[static_cast<std::size_t>(i)] != L'\0'; ++i) {
        const wchar_t c = text[static_cast<std::size_t>(i)];
        buffer[i] = (c >= 0x20 && c < 0x7F) ? static_cast<std::uint8_t>(c) : '?';
    }
    buffer[i] = 0;
    return HidOk;
}

int HidTransfer::CloseDevice()
{
    if (m_device) {
        hid_close(m_device);
        m_device = nullptr;
    }
    return HidOk;
}

int HidTransfer::writeReports(int length, const std::uint8_t *payload)
{
    // Leading byte: the report ID hidapi expects on every write.
    std::array<unsigned char, 1 + HidOutputReportSize> report{};
    for (int offset = 0; offset < length; offset += HidOutputReportSize) {
        report.fill(0);
        report[0] = HidReportId;
        const int chunk = std::min(HidOutputReportSize, length - offset);
        std::memcpy(report.data() + 1, payload + offset, static_cast<std::size_t>(chunk));
        if (hid_write(m_device, report.data(), report.size()) != static_cast<int>(report.size()))
            return fail(HidWriteFailed);
    }
    return HidOk;
}

void HidTransfer::drainInput()
{
    std::array<unsigned char, HidMaxInputReportSize> report{};
    for (int i = 0; i < HidDrainReportLimit; ++i) {
        const int n = hid_read_timeout(m_device, report.data(), report.size(), 0);
        if (n == 0)
            return;
        if (n < 0) {
            fail(HidReadFailed);
            return;
        }
    }
}

int HidTransfer::fail(int code)
{
    CloseDevice();
    return code;
}

} // namespace kv
