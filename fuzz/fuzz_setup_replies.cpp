// Any bytes through the decoders of the setup replies: information ('X'),
// calibration coefficients ('Y', 'Z') and sensor module ('v'), and the
// serial-number text, in the C and a decimal-comma locale.
#include "setup/setupreplies.h"

#include <QLocale>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    kv::InformationReply information{};
    std::memcpy(information.data(), data, size < information.size() ? size : information.size());
    kv::SetupBlock first{}, second{};
    std::memcpy(first.data(), information.data(), first.size());
    std::memcpy(second.data(), information.data() + first.size(), second.size());

    for (const QLocale &locale : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany)}) {
        const kv::MeterInformation info = kv::DecodeInformation(information, locale);
        if (info.meterTime.size() != 21 || info.memoryAvailable.isEmpty())
            std::abort();
        const kv::CalibrationCoefficients c = kv::DecodeCalibration(first, second, locale);
        if (c.t2Gain.isEmpty() || c.t2ExtOffset.isEmpty() || c.t2CjcOffset.isEmpty())
            std::abort();
        const kv::SensorModuleData s = kv::DecodeSensorModule(first, locale);
        if (s.productId.size() != 6 || s.firmwareVersion.size() > 5)
            std::abort();
    }
    if (kv::SerialTextFromBuffer(first.data(), int(first.size())).size() > int(first.size()))
        std::abort();
    return 0;
}
