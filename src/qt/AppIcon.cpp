#include "AppIcon.h"

#include <QtGlobal>

static void LoadResources()
{
    // The resources live in a static library, so the program must pull them in.
    Q_INIT_RESOURCE(vennix);
}

QIcon AppIcon::Get()
{
    static const QIcon icon = [] {
        LoadResources();
        return QIcon(":/vennix.svg");
    }();
    return icon;
}
