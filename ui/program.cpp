// Start-up: the splash window, then the main window and the message loop.
#include "app/transport.h"
#include "ui/aboutdialog.h"
#include "ui/interactiveprompts.h"
#include "ui/mainwindow.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KV3917"));
    QApplication::setOrganizationName(QStringLiteral("KV3917"));
    QApplication::setApplicationVersion(ProgramVersionText());
    kv::InteractivePrompts prompts;
    kv::PromptScope promptScope(prompts);

    auto *splash = new AboutDialog;
    splash->setAttribute(Qt::WA_DeleteOnClose);
    splash->ShowAsSplash();

    const std::unique_ptr<kv::UsbTransfer> usb = kv::CreateUsbTransfer(kv::DemoModeRequested());
    MainWindow main(*usb);
    main.Splash = splash;
    main.show();
    return app.exec();
}
