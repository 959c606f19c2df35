// Clean-up of per-thread state at the end of a thread.
//
// Per-thread objects are kept trivially destructible (plain values, or a pointer to state
// made on first use): the C++ destructors of thread-local objects are not run reliably
// everywhere (with mingw-w64 they run after the thread's storage has gone, and crash).
// What needs releasing or writing out instead registers an action here, which every thread
// started with ThreadStart runs on its way out, after its procedure returned and before it
// counts as ended. Other threads call ThreadEndRun themselves before they end.
#pragma once

namespace kv {

using ThreadEndAction = void (*)();

// Registers an action once; registering the same action again does nothing. Actions run in
// the order they were registered. Room is for a handful; false when it is full.
bool ThreadEndRegister(ThreadEndAction action);

// Runs every registered action on the calling thread.
void ThreadEndRun();

}  // namespace kv
