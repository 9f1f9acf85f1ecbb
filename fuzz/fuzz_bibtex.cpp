// libFuzzer target: arbitrary bytes read as a BibTeX file (in the import's encodings). Whatever the
// bytes say, the reader ends without a crash or deep recursion, and the rows of every publication
// kind it gives have one cell per import column.
#include "fuzz_bibliography_rows.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    vestrum::fuzz::CheckRows(vestrum::importing::ReadBibTeX(vestrum::importing::DecodeImportBytes(bytes).text));
    return 0;
}
