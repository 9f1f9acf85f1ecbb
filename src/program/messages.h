#pragma once

#include <QString>
#include <array>

namespace vestrum {

enum class MessageKind { Warning, Error, Information };

// Buttons of a message; with neither yes nor no, ok reads "Dalej" and cancel "Wróć".
enum MessageButton : unsigned { MbYes = 1, MbNo = 2, MbOk = 4, MbCancel = 8 };
constexpr unsigned MbYesNo = MbYes | MbNo;

// The left button answers Yes and the right one No, whatever their captions; closing the box
// from the keyboard answers None, which callers treat as "not yes".
enum class MessageAnswer { Yes, No, None };

struct MessageRequest {
    QString text;
    MessageKind kind = MessageKind::Information;
    int number = 0; // 1..26 may be silenced by the user; 0 is always shown
    unsigned buttons = MbOk;
};

struct MessageResponse {
    MessageAnswer answer = MessageAnswer::None;
    bool dontShowAgain = false; // "nie pokazuj więcej tego komunikatu" ticked
};

// Shows one message box. The program's own box implements it; tests script the answers.
class Messages {
public:
    virtual ~Messages() = default;
    virtual MessageResponse present(const MessageRequest& request) = 0;
};

// One flag per message number 1..26: 1 show, 2 silent "Tak", 0 silent "Nie".
// Numbers 23 (hints panels) and 24 (instruction page of the text import) are settings kept alike.
class MessageFlags {
public:
    static constexpr int Count = 26;
    static constexpr int HintsFlag = 23;
    static constexpr int ImportInstructionFlag = 24;

    MessageFlags() { flags_.fill(1); }

    int flag(int number) const { return inRange(number) ? flags_[number - 1] : 1; }
    void setFlag(int number, int value)
    {
        if (inRange(number))
            flags_[number - 1] = value;
    }
    void showAll() { flags_.fill(1); }

    bool operator==(const MessageFlags&) const = default;

private:
    static bool inRange(int number) { return number >= 1 && number <= Count; }
    std::array<int, Count> flags_{};
};

// The stored answer of a message whose "nie pokazuj więcej" box was ticked.
int silencedFlagFor(int number, MessageAnswer answer);

// The program's only message box: answers silenced messages from the flags, shows the others
// through `messages`, and stores the answer when the user ticks "nie pokazuj więcej".
MessageAnswer ProgramMessage(Messages& messages, MessageFlags& flags, const QString& text,
                             MessageKind kind, int number, unsigned buttons);

} // namespace vestrum
