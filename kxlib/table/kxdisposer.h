// Storage too large to free while a user waits (the records of a closed
// document: their pages go back to the kernel one mapping at a time) is
// freed by one worker thread, job after job in the order handed. The worker
// starts with the first job and is ended at exit, after the jobs handed
// and before static objects are destroyed.
#pragma once

#include <cstdint>
#include <functional>

namespace KxDisposer {

// Runs job on the worker; here and now when no worker can be started.
void Hand(std::function<void()> job);
// Deletes object on the worker; the caller hands its ownership over.
template <typename T>
void Delete(T* object)
{
    Hand([object] { delete object; });
}
// Returns once every job handed before has run.
void Wait();
// Wait, then ends and joins the worker; a later Hand starts another.
void Stop();
// Jobs the worker has run since the process started.
uint64_t JobsRun();

} // namespace KxDisposer
