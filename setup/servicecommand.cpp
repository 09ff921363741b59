#include "setup/servicecommand.h"

#include "link/commands.h"
#include "link/meterlink.h"

namespace kv {
namespace {

// A CSV field: quoted when it holds a separator or a quote.
QString CsvField(QString text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')))
        return text;
    text.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

const char *OperationName(ServiceCommand command)
{
    switch (command) {
    case ServiceCommand::Info:
        return "reading the information";
    case ServiceCommand::SetClock:
        return "setting the clock";
    case ServiceCommand::SetInterval:
        return "setting the recording interval";
    case ServiceCommand::Erase:
        return "erasing the memory";
    }
    return "";
}

} // namespace

ServiceCommandOutput RunServiceCommand(ServiceCommand command, IntervalBytes interval, UsbTransfer &usb,
                                       ServiceHost &host)
{
    ServiceCommandOutput out;
    MeterLink link(usb);
    if (!link.QueryUsb(cmd::Identify) || !IsMeterIdentification(link.Reply.data())) {
        out.exitStatus = ServiceExitNoMeter;
        out.error = QStringLiteral("no meter answered on USB");
        return out;
    }

    SetupState state;
    MeterService service(usb, state, host);
    ServiceResult result;
    switch (command) {
    case ServiceCommand::Info:
        result = service.readInformation();
        break;
    case ServiceCommand::SetClock:
        result = service.setMeterClock();
        break;
    case ServiceCommand::SetInterval:
        result = service.setRecordingInterval(interval);
        break;
    case ServiceCommand::Erase:
        result = service.eraseMemory();
        break;
    }
    if (!result.ok) {
        out.exitStatus = ServiceExitFailed;
        out.error = QStringLiteral("%1 failed: Fail code=%2").arg(QLatin1String(OperationName(command))).arg(result.code);
        return out;
    }
    if (command == ServiceCommand::Info) {
        const MeterInformation info = DecodeInformation(state.information, QLocale::c());
        for (const auto &field : InformationFields(info, state.serialText))
            out.lines << field.first + QLatin1Char(',') + CsvField(field.second);
    }
    return out;
}

} // namespace kv
