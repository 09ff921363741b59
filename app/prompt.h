#pragma once
// The one prompt service through which windows ask questions, show messages
// and run file dialogs.  The program installs InteractivePrompts
// (ui/interactiveprompts.h); tests install ScriptedPrompts, which answers
// from a script and records every text shown.

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <utility>

class QDialog;
class QWidget;

namespace kv {

enum class Answer { Yes, No, Cancel, Ok };

struct FileDialogRequest {
    QString caption;
    QString folder;
    QString filter;       // Qt filter ("Desc (*.a);;Desc (*.b)")
    QString defaultSuffix;
    QString fileName;     // initial name
    bool confirmOverwrite = true;
    // Save dialogs: runs while the dialog is open when the user picks another
    // file type (filter index from 1), with the name in the name box; a
    // non-empty result replaces that name.
    std::function<QString(int filterIndex, const QString &name)> typeChanged;
};

class PromptService {
public:
    virtual ~PromptService() = default;

    virtual Answer askYesNo(QWidget *parent, const QString &text) = 0;
    virtual Answer askYesNoCancel(QWidget *parent, const QString &text) = 0;
    virtual void message(QWidget *parent, const QString &text) = 0;
    // The default error report: a message box with the error's text.
    virtual void error(QWidget *parent, const QString &text) = 0;
    // Empty name when cancelled.
    virtual QString saveFileName(QWidget *parent, const FileDialogRequest &request,
                                 QString *selectedFilter = nullptr) = 0;
    virtual QString openFileName(QWidget *parent, const FileDialogRequest &request) = 0;
    virtual bool chooseColor(QWidget *parent, QColor &color) = 0;
    virtual bool chooseFont(QWidget *parent, QFont &font) = 0;
    // Runs a modal dialog of the program; returns its result code.
    virtual int exec(QDialog &dialog) = 0;
};

// The service in use: the one installed by the program (message boxes and
// file dialogs) or a test; without one every question is answered Cancel/No.
PromptService &Prompts();
// Replaces the service; nullptr restores the unanswering one.  Not owned.
void SetPrompts(PromptService *service);

// Answers in order from queues; records every text and request.  An
// unexpected question (empty queue) is recorded and answered Cancel/No/empty.
class ScriptedPrompts : public PromptService {
public:
    std::deque<Answer> answers;
    std::deque<QString> fileNames;
    // File type switches a save dialog sees before it is answered: the filter
    // index and the name typed; the names the dialog then shows go to `renamed`.
    std::deque<std::pair<int, QString>> typeChanges;
    QStringList renamed;
    std::deque<QColor> colors;
    std::deque<QFont> fonts;
    // Dialog scripts: fill the dialog and return its result code.
    std::deque<std::function<int(QDialog &)>> dialogs;

    QStringList shown;                    // every question and message text
    QList<FileDialogRequest> fileRequests;
    int unexpected = 0;                   // prompts that found no scripted answer

    Answer askYesNo(QWidget *parent, const QString &text) override;
    Answer askYesNoCancel(QWidget *parent, const QString &text) override;
    void message(QWidget *parent, const QString &text) override;
    void error(QWidget *parent, const QString &text) override;
    QString saveFileName(QWidget *parent, const FileDialogRequest &request, QString *selectedFilter) override;
    QString openFileName(QWidget *parent, const FileDialogRequest &request) override;
    bool chooseColor(QWidget *parent, QColor &color) override;
    bool chooseFont(QWidget *parent, QFont &font) override;
    int exec(QDialog &dialog) override;

private:
    Answer nextAnswer(Answer fallback);
};

// Installs a service for the lifetime of the object.
class PromptScope {
public:
    explicit PromptScope(PromptService &service) { SetPrompts(&service); }
    ~PromptScope() { SetPrompts(nullptr); }
    PromptScope(const PromptScope &) = delete;
    PromptScope &operator=(const PromptScope &) = delete;
};

} // namespace kv
