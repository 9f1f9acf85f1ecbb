#pragma once

#include "base/clock.h"
#include "program/messages.h"
#include "program/run_state.h"
#include "storage/engine.h"

namespace vestrum {

// What the whole program shares for one run: the run state, the two database connections that
// stay open while the user works, the message box and the clock. The main window's module owns
// it; every other module receives it by reference.
class Program {
public:
    Program(Messages& messages, Clock& clock) : messages_(&messages), clock_(&clock) {}

    RunState state;
    db::Connection survey;   // dane/ankieta.mdb
    db::Connection journals; // dane/lista_czasopism.mdb

    MessageAnswer ProgramMessage(const QString& text, MessageKind kind = MessageKind::Information,
                                 int number = 0, unsigned buttons = MbOk)
    {
        return vestrum::ProgramMessage(*messages_, state.Flags, text, kind, number, buttons);
    }
    // A question with "Tak" and "Nie"; true only for "Tak".
    bool ask(const QString& text, int number = 0)
    {
        return ProgramMessage(text, MessageKind::Warning, number, MbYesNo) == MessageAnswer::Yes;
    }
    // A notice with "Dalej".
    void notify(const QString& text, int number = 0, MessageKind kind = MessageKind::Information)
    {
        ProgramMessage(text, kind, number, MbOk);
    }

    Messages& messages() { return *messages_; }
    void setMessages(Messages& messages) { messages_ = &messages; }
    const Clock& clock() const { return *clock_; }

private:
    Messages* messages_;
    Clock* clock_;
};

} // namespace vestrum
