#pragma once

#include "program/messages.h"

namespace vestrum::cli {

// Exit codes shared by the commands.
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 2;

// Headless commands ask nothing; should they ever, the answer is "no".
class SilentMessages final : public Messages {
public:
    MessageResponse present(const MessageRequest&) override { return {MessageAnswer::No, false}; }
};

} // namespace vestrum::cli
