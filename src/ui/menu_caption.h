#pragma once
// A menu item's caption from a text of the program: the toolkit reads "&" as a shortcut mark, so a
// camera named "Brama & Parking" must say so twice to show once.

#include <QString>
#include <string>

namespace kel {

inline QString MenuCaption(const std::string& text) {
    return QString::fromStdString(text).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

}  // namespace kel
