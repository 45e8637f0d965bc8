// Allocations and mutex locks of the whole process, counted, so that a test
// can show that some code takes neither (the shading road must not).
//
// A program that links quorl_counted_calls replaces operator new and
// pthread_mutex_lock with counting versions that every module of the
// process calls: the plug-ins and the host layer included. Only the
// pthread_mutex_lock of the process is counted, which every std::mutex and
// lock guard goes through.
#pragma once

long AllocationsSoFar();
long MutexLocksSoFar();
