#include "ui/panelglyphs.h"
#include "ui/panelwidgets.h"

namespace kv {

namespace {

void LoadSet(std::array<QPixmap, GlyphCount> &set, const QString &prefix)
{
    for (int i = 0; i < GlyphCount; ++i) {
        const QPixmap picture = LoadPicture(QStringLiteral(":/glyphs/%1%2.jpg").arg(prefix).arg(i));
        if (picture.isNull())
            return;
        set[static_cast<std::size_t>(i)] = picture;
    }
}

} // namespace

void PanelGlyphs::load()
{
    LoadSet(large, QStringLiteral("LCD"));
    LoadSet(small, QStringLiteral("LCDS"));
}

} // namespace kv
