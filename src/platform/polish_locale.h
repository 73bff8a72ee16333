#pragma once
// Every program of the station speaks Polish: dates, month and day names, numbers (the locale)
// and the toolkit's own texts (the buttons of message boxes, the standard dialogs).

class QCoreApplication;

namespace kel {

// Makes Polish (Poland) the default locale and loads the toolkit's Polish translation. False when
// the translation is not installed (the locale is set all the same).
bool SpeakPolish(QCoreApplication& app);

}  // namespace kel
