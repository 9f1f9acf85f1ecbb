#pragma once

namespace vestrum {

// Makes the program's compiled-in data (classification tables, journal list, hints) available;
// safe to call more than once. The resources live in a static library, so they must be pulled in
// explicitly before the first read.
void initCoreResources();

} // namespace vestrum
