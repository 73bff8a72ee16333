#pragma once
// The message-box port on Qt: modal QMessageBox boxes with our captions and icons.
// Window thread only: a box is a widget.

#include <QPointer>
#include <QWidget>

#include "platform/message_box.h"

namespace kel {

class QtMessageBox : public MessageBox {
public:
    // Boxes are centred on `parent` when it is given and still alive.
    explicit QtMessageBox(QWidget* parent = nullptr) : parent_(parent) {}

    bool Show(BoxKind kind, std::string_view text) override;

private:
    // Guarded pointer: the port may outlive the window it was given.
    QPointer<QWidget> parent_;
};

}  // namespace kel
