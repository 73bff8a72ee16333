#pragma once
// The toolkit's own texts (the buttons of message boxes, the standard dialogs) in Polish, like
// every other text of the program, and the program's icon.

#include <QIcon>

class QCoreApplication;

namespace kel {

// Loads the toolkit's Polish translation when it is installed; false when it is not.
bool InstallPolishTranslation(QCoreApplication& app);

// The program's icon: the window's and the tray's.
QIcon ProgramIcon();

}  // namespace kel
