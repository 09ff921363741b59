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
    void showAsSplash();
    // The title line ("Searching on ..." during a port search).
    void setTitleText(const QString &text);

private:
    QLabel *m_titleLabel = nullptr;
    QLabel *m_versionCaptionLabel = nullptr;
    QLabel *m_versionLabel = nullptr;
    QLabel *m_emptyLabel = nullptr;
    QPushButton *m_okButton = nullptr;
};

// The program's version text, empty when unknown.
QString ProgramVersionText();
