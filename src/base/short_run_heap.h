#pragma once

#include <thread>
#include <utility>

namespace vestrum::heap {

// Sets up the heap of a process that reads much and ends soon (a headless command).
//
// Fresh memory is what such a process pays for most: every 4 KiB page it first touches is a page fault, and on a
// virtual machine a fault costs several times what filling the page does (reading the journal list and a
// 10,000-row list makes some 14,000 of them). Here the heap grows by a large stretch of address space at once and
// the kernel is asked to back that stretch with 2 MiB pages, so a command faults about a tenth as often. The
// stretch costs no memory until it is touched, and memory freed is kept for reuse rather than given back, which
// a process that ends soon does not miss.
//
// Call it first in main, before any thread starts. Returns false when the stretch could not be made or advised:
// the process then runs as well, only with small pages.
bool PrepareForShortRun();

// The same for the heap of the calling thread, which the C library gives every thread that allocates (threads
// that share one heap wait for one another). A thread that allocates much calls it first. Does nothing unless
// PrepareForShortRun ran; returns whether the thread's heap was advised.
bool PrepareThreadForShortRun();

// Frees `data` on a thread of its own: for large data a command is done with (a list of tens of thousands of
// records is freed piece by piece), so that its output is not held up. Only for data that nothing else refers to
// and that holds no file being written.
template <typename Data>
void FreeInBackground(Data&& data)
{
    // The thread owns its callable and destroys it, and with it the data, when it ends.
    std::thread([kept = std::forward<Data>(data)] { (void)kept; }).detach();
}

} // namespace vestrum::heap
