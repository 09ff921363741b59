#include "ui/interactiveprompts.h"

#include <QColorDialog>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace kv {

namespace {
const QString Title = QStringLiteral("KV3917");

// The name typed in a file dialog's name box, empty when none is.  With no
// name typed selectedFiles() names the folder on show, which is no file name.
QString TypedFileName(const QFileDialog &dialog)
{
    if (const auto *box = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
        return QFileInfo(box->text()).fileName();
    const QString selected = dialog.selectedFiles().value(0);
    if (selected.isEmpty() || QFileInfo(selected).isDir())
        return {};
    return QFileInfo(selected).fileName();
}
} // namespace

Answer InteractivePrompts::askYesNo(QWidget *parent, const QString &text)
{
    return QMessageBox::question(parent, Title, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes
               ? Answer::Yes
               : Answer::No;
}

Answer InteractivePrompts::askYesNoDefaultNo(QWidget *parent, const QString &text)
{
    return QMessageBox::question(parent, Title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
                   == QMessageBox::Yes
               ? Answer::Yes
               : Answer::No;
}

Answer InteractivePrompts::askYesNoCancel(QWidget *parent, const QString &text)
{
    switch (QMessageBox::question(parent, Title, text,
                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

void InteractivePrompts::message(QWidget *parent, const QString &text)
{
    QMessageBox::information(parent, Title, text);
}

void InteractivePrompts::error(QWidget *parent, const QString &text)
{
    QMessageBox::critical(parent, Title, text);
}

QString InteractivePrompts::saveFileName(QWidget *parent, const FileDialogRequest &request, QString *selectedFilter)
{
    QFileDialog dialog(parent, request.caption, request.folder, request.filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    if (request.typeChanged) {
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, &request](const QString &filter) {
            const QString name =
                request.typeChanged(int(dialog.nameFilters().indexOf(filter)) + 1, TypedFileName(dialog));
            if (!name.isEmpty())
                dialog.selectFile(name);
        });
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    if (selectedFilter)
        *selectedFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles().constFirst();
}

QString InteractivePrompts::openFileName(QWidget *parent, const FileDialogRequest &request)
{
    QFileDialog dialog(parent, request.caption, request.folder, request.filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

bool InteractivePrompts::chooseColor(QWidget *parent, QColor &color)
{
    const QColor chosen = QColorDialog::getColor(color, parent);
    if (!chosen.isValid())
        return false;
    color = chosen;
    return true;
}

bool InteractivePrompts::chooseFont(QWidget *parent, QFont &font)
{
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, font, parent);
    if (ok)
        font = chosen;
    return ok;
}

int InteractivePrompts::exec(QDialog &dialog) { return dialog.exec(); }

} // namespace kv
