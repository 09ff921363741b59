#include "app/prompt.h"

namespace kv {
namespace {

// Answers every question with Cancel or No until the program installs its
// service, so nothing UI-free ever opens a window by itself.
ScriptedPrompts &Unanswered()
{
    static ScriptedPrompts service;
    return service;
}

PromptService *Current = nullptr;

} // namespace

PromptService &Prompts() { return Current ? *Current : Unanswered(); }

void SetPrompts(PromptService *service) { Current = service; }

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
    for (; !typeChanges.empty(); typeChanges.pop_front())
        if (request.typeChanged)
            renamed << request.typeChanged(typeChanges.front().first, typeChanges.front().second);
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
        return 0;   // QDialog::Rejected
    return script(dialog);
}

} // namespace kv
