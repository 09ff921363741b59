#include "ui/testscript.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QFile>
#include <QMdiArea>
#include <QMap>
#include <QMdiSubWindow>
#include <QRegularExpression>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace kv {

namespace {

constexpr int StepPollMs = 100;   // how often a waiting step looks again

// Sets each named child's current index (when it has one and the value is a
// number) or its text; a name that is not found refuses the dialog.
int FillDialog(QDialog &dialog, const QStringList &assignments)
{
    for (const QString &assignment : assignments) {
        const QString name = assignment.section(QLatin1Char('='), 0, 0);
        const QString value = assignment.section(QLatin1Char('='), 1);
        QObject *child = dialog.findChild<QObject *>(name);
        if (!child) {
            std::fprintf(stderr, "test script: the dialog has no %s\n", qPrintable(name));
            return QDialog::Rejected;
        }
        bool isNumber = false;
        const int index = value.toInt(&isNumber);
        if (isNumber && child->property("currentIndex").isValid())
            child->setProperty("currentIndex", index);
        else
            child->setProperty("text", value);
    }
    return QDialog::Accepted;
}

} // namespace

std::unique_ptr<TestScript> TestScript::fromEnvironment(QWidget &mainWindow)
{
    const QString path = qEnvironmentVariable(EnvironmentVariable);
    if (path.isEmpty())
        return nullptr;
    QFile file(path);
    QString error;
    std::unique_ptr<TestScript> script(new TestScript(mainWindow));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        error = file.errorString();
    else
        script->parse(QString::fromUtf8(file.readAll()), &error);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "test script %s: %s\n", qPrintable(path), qPrintable(error));
        std::exit(64);
    }
    return script;
}

TestScript::TestScript(QWidget &mainWindow) : m_main(mainWindow)
{
    SetPrompts(&m_prompts);
    m_timer.setInterval(StepPollMs);
    connect(&m_timer, &QTimer::timeout, this, &TestScript::runStep);
    m_timer.start();
}

TestScript::~TestScript()
{
    SetPrompts(nullptr);
    reportPrompts();
}

void TestScript::reportPrompts()
{
    for (; m_reported < m_prompts.shown.size(); ++m_reported) {
        const QString text = QString(m_prompts.shown.at(m_reported)).replace(QLatin1Char('\n'), QLatin1Char(' '));
        std::fprintf(stderr, "prompt: %s\n", qPrintable(text));
    }
    std::fflush(stderr);
}

bool TestScript::parse(const QString &text, QString *error)
{
    static const QMap<QString, Answer> answers = {
        {QStringLiteral("yes"), Answer::Yes}, {QStringLiteral("no"), Answer::No},
        {QStringLiteral("cancel"), Answer::Cancel}, {QStringLiteral("ok"), Answer::Ok}};
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].section(QLatin1Char('#'), 0, 0).trimmed();
        if (line.isEmpty())
            continue;
        const QString command = line.section(QLatin1Char(' '), 0, 0);
        const QString rest = line.section(QLatin1Char(' '), 1).trimmed();
        if (command == QLatin1String("answer") && answers.contains(rest))
            m_prompts.answers.push_back(answers.value(rest));
        else if (command == QLatin1String("file") && !rest.isEmpty())
            m_prompts.fileNames.push_back(rest);
        else if (command == QLatin1String("dialog")) {
            const QStringList assignments = rest.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
            m_prompts.dialogs.push_back([assignments](QDialog &dialog) { return FillDialog(dialog, assignments); });
        } else if ((command == QLatin1String("activate") || command == QLatin1String("trigger")) && !rest.isEmpty())
            m_steps << line;
        else if (command == QLatin1String("quit") && rest.isEmpty())
            m_steps << line;
        else {
            *error = QStringLiteral("line %1: cannot use \"%2\"").arg(i + 1).arg(line);
            return false;
        }
    }
    return true;
}

void TestScript::runStep()
{
    reportPrompts();
    if (m_steps.isEmpty()) {
        m_timer.stop();
        return;
    }
    const QString line = m_steps.first();
    const QString command = line.section(QLatin1Char(' '), 0, 0);
    const QString target = line.section(QLatin1Char(' '), 1).trimmed();
    // Each branch returns while its target is not ready, and takes the step
    // off the list before carrying it out: an action may run a nested event
    // loop in which this timer fires again.
    if (command == QLatin1String("activate")) {
        QMdiArea *area = m_main.findChild<QMdiArea *>();
        QMdiSubWindow *found = nullptr;
        for (QMdiSubWindow *sub : area ? area->subWindowList() : QList<QMdiSubWindow *>())
            if (sub->windowTitle() == target)
                found = sub;
        if (!found)
            return;
        m_steps.removeFirst();
        area->setActiveSubWindow(found);
    } else if (command == QLatin1String("trigger")) {
        auto *action = m_main.findChild<QAction *>(target);
        auto *button = action ? nullptr : m_main.findChild<QAbstractButton *>(target);
        // Only what a user can reach: a hidden menu item is not there.
        const bool actionReady = action && action->isEnabled() && action->isVisible();
        if (!actionReady && !(button && button->isEnabled()))
            return;
        m_steps.removeFirst();
        if (action)
            action->trigger();
        else
            button->click();
    } else if (command == QLatin1String("quit")) {
        m_steps.removeFirst();
        m_main.close();
    }
}

} // namespace kv
