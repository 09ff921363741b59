#pragma once
// The prompt service of the running program: message boxes, file, colour and
// font dialogs.

#include "app/prompt.h"

namespace kv {

class InteractivePrompts : public PromptService {
public:
    Answer askYesNo(QWidget *parent, const QString &text) override;
    Answer askYesNoCancel(QWidget *parent, const QString &text) override;
    void message(QWidget *parent, const QString &text) override;
    void error(QWidget *parent, const QString &text) override;
    QString saveFileName(QWidget *parent, const FileDialogRequest &request, QString *selectedFilter) override;
    QString openFileName(QWidget *parent, const FileDialogRequest &request) override;
    bool chooseColor(QWidget *parent, QColor &color) override;
    bool chooseFont(QWidget *parent, QFont &font) override;
    int exec(QDialog &dialog) override;
};

} // namespace kv
