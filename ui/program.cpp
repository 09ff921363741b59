// Start-up: the splash window, then the main window and the message loop.
#include "app/transport.h"
#include "ui/aboutdialog.h"
#include "ui/interactiveprompts.h"
#include "ui/mainwindow.h"
#include "ui/testscript.h"

#include <QApplication>
#include <QCommandLineOption>
#include <QCommandLineParser>

namespace {

const QCommandLineOption ServiceOption(QStringLiteral("service"),
                                       QStringLiteral("Offer Data Logger > Setup: the meter setup window with its "
                                                      "calibration and service functions."));

void DescribeCommandLine(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral("Four Channel Thermometer Software"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(ServiceOption);
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QStringLiteral("Graph (.ghf), text (.txt, .csv) or data logger (.rec) files to open."),
                                 QStringLiteral("[FILE...]"));
}

// --help and --version print and exit without a window system, so they also
// work on a terminal without a display.
void AnswerHelpOrVersion(int &argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    DescribeCommandLine(parser);
    // Window-system options (-platform, -display) are unknown here; the
    // full parse after QApplication has taken them reports real mistakes.
    if (!parser.parse(arguments) || !(parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("version"))))
        return;
    QCoreApplication app(argc, argv);
    parser.process(app);   // prints and exits
}

} // namespace

int main(int argc, char **argv)
{
    QApplication::setApplicationName(QStringLiteral("KV3917"));
    QApplication::setOrganizationName(QStringLiteral("KV3917"));
    QApplication::setApplicationVersion(ProgramVersionText());
    AnswerHelpOrVersion(argc, argv);

    QApplication app(argc, argv);
    QCommandLineParser parser;
    DescribeCommandLine(parser);
    parser.process(app);
    kv::InteractivePrompts prompts;
    kv::PromptScope promptScope(prompts);

    auto *splash = new AboutDialog;
    splash->setAttribute(Qt::WA_DeleteOnClose);
    splash->showAsSplash();

    const std::unique_ptr<kv::UsbTransfer> usb = kv::CreateUsbTransfer(kv::DemoModeRequested());
    MainWindow main(*usb);
    main.setServiceMode(parser.isSet(ServiceOption));
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
