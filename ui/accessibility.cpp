#include "ui/accessibility.h"

#include <QAbstractButton>
#include <QWidget>

namespace kv {

void NameControls(QWidget *window, const QHash<QString, QString> &namesWithoutHint)
{
    const auto buttons = window->findChildren<QAbstractButton *>();
    for (QAbstractButton *button : buttons) {
        if (!button->text().isEmpty() || !button->accessibleName().isEmpty())
            continue;
        const QString hint = button->toolTip();
        const QString name = hint.isEmpty() ? namesWithoutHint.value(button->objectName()) : hint;
        if (name.isEmpty())
            continue;
        button->setAccessibleName(name);
        if (!hint.isEmpty())
            button->setAccessibleDescription(hint);
    }
}

const QHash<QString, QString> &PanelKeyNames()
{
    // The keys as the meter labels them.
    static const QHash<QString, QString> names{
        {QStringLiteral("btnBackLight"), QStringLiteral("Back light")},
        {QStringLiteral("btnHOLD"), QStringLiteral("HOLD")},
        {QStringLiteral("btnCF"), QStringLiteral("Unit °C/°F")},
        {QStringLiteral("btnRec"), QStringLiteral("REC")},
        {QStringLiteral("btnRecall"), QStringLiteral("Recall")},
        {QStringLiteral("btnMem"), QStringLiteral("MEM")},
    };
    return names;
}

} // namespace kv
