#pragma once

#include <QString>
#include <stdexcept>

namespace vestrum {

// A failure that reaches the user: the message is the Polish text the program shows.
class Error : public std::runtime_error {
public:
    explicit Error(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}

    const QString& message() const noexcept { return message_; }

private:
    QString message_;
};

} // namespace vestrum
