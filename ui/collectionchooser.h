#pragma once
// Asks whether the save or open command takes the whole collection of data
// sets (.REC) or a single file.  The caller sets the caption and, for
// opening, the button texts; the result is one of the Choice values.

#include <QDialog>

class QPushButton;

namespace kv {

class CollectionChooser : public QDialog {
    Q_OBJECT
public:
    enum Choice { Collection = 1, Cancelled = 2, SingleFile = 7 };

    explicit CollectionChooser(QWidget *parent = nullptr);

    QPushButton *collectionButton() const { return m_collection; }
    QPushButton *singleFileButton() const { return m_singleFile; }
    QPushButton *cancelButton() const { return m_cancel; }

    // Escape and the window's close button count as Cancel.
    void reject() override { done(Cancelled); }

private:
    QPushButton *m_collection = nullptr;
    QPushButton *m_singleFile = nullptr;
    QPushButton *m_cancel = nullptr;
};

// Texts of the chooser's buttons.
const QString SaveCollectionButtonText = QStringLiteral("Save all data sets to a data set collection file(*.REC)");
const QString SaveSingleFileButtonText = QStringLiteral("Save single selected  data set to a  file");
const QString OpenCollectionButtonText = QStringLiteral("Open a data set collection file(*.REC)");

} // namespace kv
