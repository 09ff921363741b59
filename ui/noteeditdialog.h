#pragma once
// The small editor that asks for the text of a note placed on a graph.

#include <QDialog>

class QLineEdit;

class NoteEditDialog : public QDialog {
    Q_OBJECT
public:
    explicit NoteEditDialog(QWidget *parent = nullptr);
    QString text() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QLineEdit *m_text = nullptr;
};
