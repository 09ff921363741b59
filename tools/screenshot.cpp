// Starts the main window (with the simulated meter when KV3917_DEMO=1),
// lets it run for a while and saves a picture of it.
// Usage: kv3917-screenshot <out.png> [seconds] [width height] [scale]

#include "app/about.h"
#include "app/main.h"
#include "app/transport.h"

#include <QApplication>
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
    TfrmMain main(*usb);
    main.setWindowState(Qt::WindowNoState);
    main.resize(width, height);
    main.show();
    int rc = 1;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &app, [&] {
        rc = main.grab().save(out) ? 0 : 1;
        app.quit();
    });
    app.exec();
    return rc;
}
