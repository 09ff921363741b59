// Starts the main window (with the simulated meter when KV3917_DEMO=1),
// lets it run for a while and saves a picture of it.
// Usage: kv3917-screenshot <out.png> [seconds] [width height]
// With KV3917_SCREENSHOT_RECORD=1 a real-time recording at one sample a
// second runs while the picture is taken.

#include "ui/aboutdialog.h"
#include "ui/mainwindow.h"
#include "app/prompt.h"
#include "app/transport.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPixmap>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: kv3917-screenshot <out.png> [seconds] [width height]\n");
        return 64;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString out = QString::fromLocal8Bit(argv[1]);
    const double seconds = argc > 2 ? std::atof(argv[2]) : 3.0;
    const int width = argc > 4 ? std::atoi(argv[3]) : 1280;
    const int height = argc > 4 ? std::atoi(argv[4]) : 860;

    const auto usb = kv::CreateUsbTransfer(kv::DemoModeRequested());
    MainWindow main(*usb);
    main.setWindowState(Qt::WindowNoState);
    main.resize(width, height);
    main.show();

    // Start a recording once the meter has been found.
    kv::ScriptedPrompts prompts;
    kv::PromptScope scope(prompts);
    if (qEnvironmentVariable("KV3917_SCREENSHOT_RECORD") == QLatin1String("1")) {
        prompts.dialogs.push_back([](QDialog &setup) {
            if (auto *seconds = setup.findChild<QComboBox *>(QStringLiteral("ComboBox2")))
                seconds->setCurrentIndex(1);
            return int(QDialog::Accepted);
        });
        QTimer::singleShot(1200, &main, [&main] { main.startRecording(); });
    }
    int rc = 1; // set when the picture is saved
    QTimer::singleShot(static_cast<int>(seconds * 1000), &app, [&] {
        rc = main.grab().save(out) ? 0 : 1;
        // exit(), not quit(): quit() would first ask every window to close.
        QCoreApplication::exit(rc);
    });
    app.exec();
    return rc;
}
