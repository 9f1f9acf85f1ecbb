#include "program/messages.h"

#include <algorithm>

namespace vestrum {

int silencedFlagFor(int number, MessageAnswer answer)
{
    // These questions only ever guard a step the user asked for, so once silenced they
    // proceed; message 7 is a notice that, silenced, simply stays away.
    static constexpr std::array<int, 12> alwaysYes = {1, 4, 5, 6, 8, 9, 10, 11, 13, 15, 16, 18};
    if (std::find(alwaysYes.begin(), alwaysYes.end(), number) != alwaysYes.end())
        return 2;
    if (number == 7)
        return 0;
    return answer == MessageAnswer::Yes ? 2 : 0;
}

MessageAnswer ProgramMessage(Messages& messages, MessageFlags& flags, const QString& text,
                             MessageKind kind, int number, unsigned buttons)
{
    if (number > 0 && flags.flag(number) != 1)
        return flags.flag(number) == 2 ? MessageAnswer::Yes : MessageAnswer::No;

    const MessageResponse response = messages.present({text, kind, number, buttons});
    if (number > 0 && response.dontShowAgain)
        flags.setFlag(number, silencedFlagFor(number, response.answer));
    return response.answer;
}

} // namespace vestrum
