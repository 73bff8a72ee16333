#pragma once
// The program's icon: the window's and the tray's.

#include <QIcon>

namespace kel {

QIcon ProgramIcon();

}  // namespace kel
