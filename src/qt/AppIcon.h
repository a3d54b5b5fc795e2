#pragma once

#include <QIcon>

// The application's icon, drawn from vennix.svg in the resources.
class AppIcon {
public:
    static QIcon Get();
};
