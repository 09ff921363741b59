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

namespace {

// Takes the next scripted item; counts a prompt that found none.
template <typename T>
bool TakeNext(std::deque<T> &queue, int &unexpected, T &out)
{
    if (queue.empty()) {
        ++unexpected;
        return false;
    }
    out = std::move(queue.front());
    queue.pop_front();
    return true;
}

} // namespace

Answer ScriptedPrompts::nextAnswer(Answer fallback)
{
    Answer answer = fallback;
    TakeNext(answers, unexpected, answer);
    return answer;
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
    QString name;
    if (TakeNext(fileNames, unexpected, name) && selectedFilter)
        *selectedFilter = request.filter.section(QStringLiteral(";;"), 0, 0);
    return name;
}

QString ScriptedPrompts::openFileName(QWidget *, const FileDialogRequest &request)
{
    fileRequests << request;
    QString name;
    TakeNext(fileNames, unexpected, name);
    return name;
}

bool ScriptedPrompts::chooseColor(QWidget *, QColor &color) { return TakeNext(colors, unexpected, color); }

bool ScriptedPrompts::chooseFont(QWidget *, QFont &font) { return TakeNext(fonts, unexpected, font); }

int ScriptedPrompts::exec(QDialog &dialog)
{
    std::function<int(QDialog &)> script;
    if (!TakeNext(dialogs, unexpected, script))
        return QDialog::Rejected;
    return script(dialog);
}

} // namespace kv
