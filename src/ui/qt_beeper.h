#pragma once
// The system's alert sound through the toolkit.

#include "platform/beeper.h"

namespace kel {

class QtBeeper : public Beeper {
public:
    void Beep() override;
};

}  // namespace kel
