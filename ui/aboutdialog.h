#pragma once
// The About window, also shown without its OK button as the splash window.

#include <QDialog>

class QLabel;
class QPushButton;

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget *parent = nullptr);

    // Splash mode: no OK button, shown without waiting and painted at once.
    void ShowAsSplash();
    // The title line ("Searching on ..." during a port search).
    void SetTitleText(const QString &text);

    QLabel *lblTitle = nullptr;
    QLabel *lblVersionCaption = nullptr;
    QLabel *lblVersion = nullptr;
    QLabel *lblEmpty = nullptr;
    QPushButton *BitBtn1 = nullptr;
};

// The program's version text, empty when unknown.
QString ProgramVersionText();
