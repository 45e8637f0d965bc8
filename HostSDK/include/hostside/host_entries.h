// Operations of a plug-in's classes that the host program calls where the
// SDK has no virtual function for them (the perturbation of a point by a
// perturbation object, which `plughost sample --what perturbed` shows), and
// functions of a plug-in library that the host samples itself (the lattice
// noise, which the Python module evaluates at a script's points).
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
// (a point's perturbation: any render thread, after Update; the lattice
// noise: any thread, once the plug-in file is loaded).
#pragma once

#include "../maxtypes.h"
#include "../point2.h"
#include "../point3.h"

class ReferenceTarget;

extern "C" {

// Moves `point` as the object of the class moves a shading point.
typedef void (*HostPerturbPointFn)(ReferenceTarget* object, Point3* point);

struct HostPerturbPointEntry {
  Class_ID classId;
  HostPerturbPointFn perturb;
};

// A library's lattice noise in two, three and four dimensions (w the fourth
// coordinate), the library's own exported functions.
typedef float (*HostNoise2Fn)(Point2 p);
typedef float (*HostNoise3Fn)(Point3 p);
typedef float (*HostNoise4Fn)(Point3 p, float w);

struct HostLatticeNoiseEntry {
  HostNoise2Fn noise2;
  HostNoise3Fn noise3;
  HostNoise4Fn noise4;
};

// Version 2 added the lattice noise at the end of the table; the host reads
// tables of every version up to its own.
#define HOST_ENTRIES_VERSION 2

struct HostEntryTable {
  int version;  // HOST_ENTRIES_VERSION
  int perturbPointCount;
  const HostPerturbPointEntry* perturbPoint;
  const HostLatticeNoiseEntry* latticeNoise;  // null: the module offers none
};

// The one function the module exports.
typedef const HostEntryTable* (*HostEntriesFn)();
}
