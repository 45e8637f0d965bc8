// Operations of a plug-in's classes that the host program calls where the
// SDK has no virtual function for them (the perturbation of a point by a
// perturbation object, which `plughost sample --what perturbed` shows).
//
// A plug-in file offers them in a small module of its own beside it,
// "<plug-in file>.host-entries.so", built by the plug-in's folder against the
// plug-in's own headers (cmake/HostPlugin.cmake, HOST_ENTRIES). The module
// exports one C function, HostEntries, which answers a table of plain
// function pointers by class; a function calls the plug-in's member as the
// plug-in's own code would, so the host never casts a member or names one.
//
// Contract: the host opens the module only after the plug-in file is loaded
// and its classes registered, checks it as it checks a plug-in file, and uses
// only the entries for classes that this plug-in file registered. A function
// is called on the thread and under the rules the operation has in the host
// (a point's perturbation: any render thread, after Update).
#pragma once

#include "../maxtypes.h"
#include "../point3.h"

class ReferenceTarget;

extern "C" {

// Moves `point` as the object of the class moves a shading point.
typedef void (*HostPerturbPointFn)(ReferenceTarget* object, Point3* point);

struct HostPerturbPointEntry {
  Class_ID classId;
  HostPerturbPointFn perturb;
};

#define HOST_ENTRIES_VERSION 1

struct HostEntryTable {
  int version;  // HOST_ENTRIES_VERSION
  int perturbPointCount;
  const HostPerturbPointEntry* perturbPoint;
};

// The one function the module exports.
typedef const HostEntryTable* (*HostEntriesFn)();
}
