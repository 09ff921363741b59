// Start-up: the splash window, then the main window and the message loop.
#include "app/about.h"
#include "app/main.h"
#include "app/transport.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KV3917"));
    QApplication::setOrganizationName(QStringLiteral("KV3917"));
    QApplication::setApplicationVersion(ProgramVersionText());

    auto *splash = new TfrmAbout;
    splash->setAttribute(Qt::WA_DeleteOnClose);
    splash->ShowAsSplash();

    const std::unique_ptr<kv::UsbTransfer> usb = kv::CreateUsbTransfer(kv::DemoModeRequested());
    TfrmMain main(*usb);
    main.Splash = splash;
    main.show();
    return app.exec();
}
