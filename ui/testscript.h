#pragma once
// Test-only start-up hook for process tests: when the environment variable
// KV3917_TEST_SCRIPT names a file, the program answers its prompts from that
// file and carries out its steps, so a test can drive the real program as a
// separate process (and kill it).  Unset in normal use; see the README.
//
// One command a line, '#' starts a comment:
//   answer yes|no|cancel|ok      next answer of a question
//   file <path>                  next name a file dialog returns
//   dialog <name>=<value> ...    next modal dialog: set each named child's
//                                current index (a number, on a box) or text,
//                                then accept it
//   activate <window title>      step: wait for that child window, activate it
//   trigger <object name>        step: wait until that action or button is
//                                enabled (an action also shown), then
//                                trigger it
//   quit                         step: close the main window
// Answers, names and dialogs are used in the order the program asks; steps
// run in order once the event loop runs.  Every text the program shows is
// written to standard error as "prompt: <text>" (one line) soon after.

#include "app/prompt.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <memory>

class QWidget;

namespace kv {

class TestScript : public QObject {
    Q_OBJECT
public:
    static constexpr const char *EnvironmentVariable = "KV3917_TEST_SCRIPT";

    // nullptr when the variable is unset; exits the program with a message
    // when the file cannot be read or holds an unknown command.
    static std::unique_ptr<TestScript> fromEnvironment(QWidget &mainWindow);
    ~TestScript() override;

private:
    explicit TestScript(QWidget &mainWindow);
    bool parse(const QString &text, QString *error);
    void runStep();
    void reportPrompts();

    QWidget &m_main;
    ScriptedPrompts m_prompts;
    QStringList m_steps;
    QTimer m_timer;
    qsizetype m_reported = 0;
};

} // namespace kv
