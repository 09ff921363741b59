#include "ui/collectionchooser.h"

#include <QPushButton>
#include <QVBoxLayout>

namespace kv {

namespace {
constexpr int ButtonMinimumWidth = 360;
constexpr int CancelMinimumWidth = 120;
}

CollectionChooser::CollectionChooser(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmOpenSave"));
    // Stays on top, system menu only; Qt centres a dialog over its parent.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);

    const auto makeButton = [this](const char *name, const QString &text, int result) {
        auto *button = new QPushButton(text, this);
        button->setObjectName(QLatin1String(name));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
        return button;
    };
    m_collection = makeButton("btnOpenSets", SaveCollectionButtonText, Collection);
    m_singleFile = makeButton("btnOpenSingleSet", SaveSingleFileButtonText, SingleFile);
    m_cancel = makeButton("Button1", QStringLiteral("Cancel"), Cancelled);
    m_collection->setDefault(true);
    m_collection->setMinimumWidth(ButtonMinimumWidth);
    m_singleFile->setMinimumWidth(ButtonMinimumWidth);
    m_cancel->setMinimumWidth(CancelMinimumWidth);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_collection);
    layout->addWidget(m_singleFile);
    layout->addSpacing(6);
    layout->addWidget(m_cancel, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace kv
