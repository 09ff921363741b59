#pragma once
// Accessible names for controls that show a picture instead of text, so that
// screen readers and UI-automation tools can tell them apart.

#include <QHash>
#include <QString>

class QWidget;

namespace kv {

// Gives every button below `window` that has no visible text its hint as
// accessible name and description; a button without a hint takes its name
// from `namesWithoutHint` (object name -> name).  Names already set are kept.
void NameControls(QWidget *window, const QHash<QString, QString> &namesWithoutHint = {});

// Names of the panel keys that carry no hint, by object name.
const QHash<QString, QString> &PanelKeyNames();

} // namespace kv
