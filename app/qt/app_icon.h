#pragma once

#include <QIcon>

namespace passerelle {

// The program's icon, drawn as passerelle.svg draws it (a table of the
// school, a bridge, the platform's table), at the sizes window managers and
// task bars ask for. Drawn rather than read, so that no image plugin is
// needed to show it.
QIcon AppIcon();

}  // namespace passerelle
