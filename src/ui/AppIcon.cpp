#include "AppIcon.h"

QIcon AppIcon::Get()
{
    static const QIcon icon(":/vennix.svg");
    return icon;
}
