#include "ui/interactiveprompts.h"

#include <QColorDialog>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QMessageBox>

namespace kv {

namespace {
const QString Title = QStringLiteral("KV3917");
} // namespace

Answer InteractivePrompts::askYesNo(QWidget *parent, const QString &text)
{
    return QMessageBox::question(parent, Title, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes
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
            const QString typed = dialog.selectedFiles().value(0);
            const QString name =
                request.typeChanged(int(dialog.nameFilters().indexOf(filter)) + 1, QFileInfo(typed).fileName());
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
