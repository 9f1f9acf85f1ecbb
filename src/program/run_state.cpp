#include "program/run_state.h"

namespace vestrum {

QString withTrailingSlash(const QString& folder)
{
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

} // namespace vestrum
