#include "app/prompt.h"

#include <QColorDialog>
#include <QDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>

namespace kv {
namespace {

InteractivePrompts &Interactive()
{
    static InteractivePrompts service;
    return service;
}

PromptService *Current = nullptr;

const QString Title = QStringLiteral("KV3917");

} // namespace

PromptService &Prompts() { return Current ? *Current : Interactive(); }

void SetPrompts(PromptService *service) { Current = service; }

QString QtFilterFromPipes(const QString &pipes)
{
    const QStringList parts = pipes.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1].trimmed();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    return filters.join(QStringLiteral(";;"));
}

// ---- interactive ------------------------------------------------------------

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

// ---- scripted ---------------------------------------------------------------

Answer ScriptedPrompts::nextAnswer(Answer fallback)
{
    if (answers.empty()) {
        ++unexpected;
        return fallback;
    }
    const Answer a = answers.front();
    answers.pop_front();
    return a;
}

Answer ScriptedPrompts::askYesNo(QWidget *, const QString &text)
{
    shown << text;
    return nextAnswer(Answer::No);
}

Answer ScriptedPrompts::askYesNoCancel(QWidget *, const QString &text)
{
    shown << text;
    return nextAnswer(Answer::Cancel);
}

void ScriptedPrompts::message(QWidget *, const QString &text) { shown << text; }

void ScriptedPrompts::error(QWidget *, const QString &text) { shown << text; }

QString ScriptedPrompts::saveFileName(QWidget *, const FileDialogRequest &request, QString *selectedFilter)
{
    fileRequests << request;
    if (fileNames.empty()) {
        ++unexpected;
        return {};
    }
    const QString name = fileNames.front();
    fileNames.pop_front();
    if (selectedFilter)
        *selectedFilter = request.filter.section(QStringLiteral(";;"), 0, 0);
    return name;
}

QString ScriptedPrompts::openFileName(QWidget *, const FileDialogRequest &request)
{
    fileRequests << request;
    if (fileNames.empty()) {
        ++unexpected;
        return {};
    }
    const QString name = fileNames.front();
    fileNames.pop_front();
    return name;
}

bool ScriptedPrompts::chooseColor(QWidget *, QColor &color)
{
    if (colors.empty()) {
        ++unexpected;
        return false;
    }
    color = colors.front();
    colors.pop_front();
    return true;
}

bool ScriptedPrompts::chooseFont(QWidget *, QFont &font)
{
    if (fonts.empty()) {
        ++unexpected;
        return false;
    }
    font = fonts.front();
    fonts.pop_front();
    return true;
}

int ScriptedPrompts::exec(QDialog &dialog)
{
    if (dialogs.empty()) {
        ++unexpected;
        return QDialog::Rejected;
    }
    auto script = std::move(dialogs.front());
    dialogs.pop_front();
    return script(dialog);
}

} // namespace kv
