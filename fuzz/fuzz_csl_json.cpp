// libFuzzer target: arbitrary bytes read as CSL JSON; text that is no JSON is refused with the
// program's error, anything else gives rows of the right width, and nothing crashes.
#include "base/error.h"
#include "fuzz_bibliography_rows.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        vestrum::fuzz::CheckRows(vestrum::importing::ReadCslJson(bytes));
    } catch (const vestrum::Error&) {
        // refused as no JSON: what a user sees as the message
    }
    return 0;
}
