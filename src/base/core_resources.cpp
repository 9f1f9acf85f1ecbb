#include "base/core_resources.h"

#include <QtGlobal>

static void initVestrumCoreResources()
{
    Q_INIT_RESOURCE(core_resources);
    Q_INIT_RESOURCE(hints);
}

namespace vestrum {

void initCoreResources()
{
    static const bool done = [] {
        initVestrumCoreResources();
        return true;
    }();
    (void)done;
}

} // namespace vestrum
