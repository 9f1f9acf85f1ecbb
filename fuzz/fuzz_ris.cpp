// libFuzzer target: arbitrary bytes read as a RIS file; the reader never crashes and its rows keep
// their width.
#include "fuzz_bibliography_rows.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    vestrum::fuzz::CheckRows(vestrum::importing::ReadRis(vestrum::importing::DecodeImportBytes(bytes).text));
    return 0;
}
