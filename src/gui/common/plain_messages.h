#pragma once

#include "program/messages.h"

class QWidget;

namespace vestrum {

// A standard message box with the program's captions; used until a window of the program's own
// presents messages, and wherever no such window exists yet.
class PlainMessages final : public Messages {
public:
    explicit PlainMessages(QWidget* parent = nullptr) : parent_(parent) {}
    MessageResponse present(const MessageRequest& request) override;

private:
    QWidget* parent_;
};

} // namespace vestrum
