#pragma once

namespace vestrum::heap {

// Sets up the heap of a process that reads much and ends soon (a headless command).
//
// Fresh memory is what such a process pays for most: every 4 KiB page it first touches is a page fault, and on a
// virtual machine a fault costs several times what filling the page does (reading the journal list and a
// 10,000-row list makes some 14,000 of them). Here the heap grows by a large stretch of address space at once,
// the kernel is asked to back that stretch with 2 MiB pages, and every thread allocates from it, so a command
// faults a few dozen times instead. The stretch costs no memory until it is touched, and memory freed is kept
// for reuse rather than given back, which a process that ends soon does not miss.
//
// Call it first in main, before any thread starts. Returns false when the heap could not be grown as asked (the
// process then runs with the usual heap); nothing else changes.
bool PrepareForShortRun();

} // namespace vestrum::heap
