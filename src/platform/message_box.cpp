#include "platform/message_box.h"

#include <cstdio>
#include <string>

namespace kel {

const char* MessageBox::Caption(BoxKind kind) {
    switch (kind) {
    case BoxKind::Error:
        return "Błąd!";
    case BoxKind::Alarm:
        return "UWAGA!";
    case BoxKind::Information:
        return "Informacja";
    default:
        return "Uwaga!";
    }
}

bool HeadlessMessageBox::Show(BoxKind kind, std::string_view text) {
    std::string line = std::string(Caption(kind)) + " " + std::string(text);
    if (kind == BoxKind::Question)
        line += answer_ ? " [Tak]" : " [Nie]";
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    return kind == BoxKind::Question ? answer_ : true;
}

bool EndingMessageBox::Show(BoxKind kind, std::string_view text) {
    return ending_ ? gone_.Show(kind, text) : inner_.Show(kind, text);
}

bool AutoYesMessageBox::Show(BoxKind kind, std::string_view text) {
    if (kind == BoxKind::Question) {
        std::fprintf(stderr, "%s %s [Tak]\n", Caption(kind), std::string(text).c_str());
        return true;
    }
    return inner_.Show(kind, text);
}

}  // namespace kel
