#include "app/main.h"
TfrmMain::TfrmMain(QWidget *parent) : QMainWindow(parent) { setWindowTitle(QStringLiteral("KV3917")); }
