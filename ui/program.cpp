// Start-up: the splash window, then the main window and the message loop.
#include "app/transport.h"
#include "ui/aboutdialog.h"
#include "ui/interactiveprompts.h"
#include "ui/mainwindow.h"
#include "ui/testscript.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KV3917"));
    QApplication::setOrganizationName(QStringLiteral("KV3917"));
    QApplication::setApplicationVersion(ProgramVersionText());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Four Channel Thermometer Software"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QStringLiteral("Graph (.ghf), text (.txt, .csv) or data logger (.rec) files to open."),
                                 QStringLiteral("[FILE...]"));
    parser.process(app);
    kv::InteractivePrompts prompts;
    kv::PromptScope promptScope(prompts);

    auto *splash = new AboutDialog;
    splash->setAttribute(Qt::WA_DeleteOnClose);
    splash->showAsSplash();

    const std::unique_ptr<kv::UsbTransfer> usb = kv::CreateUsbTransfer(kv::DemoModeRequested());
    MainWindow main(*usb);
    main.setServiceMode(QApplication::arguments().contains(QStringLiteral("--service")));
    main.setSplash(splash);
    // Process tests script the prompts and steps (KV3917_TEST_SCRIPT).
    const std::unique_ptr<kv::TestScript> script = kv::TestScript::fromEnvironment(main);
    main.show();
    // The files named on the command line open once the message loop runs.
    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty())
        QMetaObject::invokeMethod(&main, [&main, files] { main.openFiles(files); }, Qt::QueuedConnection);
    return app.exec();
}
