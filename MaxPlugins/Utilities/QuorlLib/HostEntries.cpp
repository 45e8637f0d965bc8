// The operations of the library's classes that the host program calls beyond
// the SDK's virtual functions (hostside/host_entries.h), built into a small
// module beside QuorlLib.dlu; QuorlLib.dlu itself exports nothing more.
#include <hostside/host_entries.h>

#include "QuorlLib.h"

namespace {

void PerturbPoint(ReferenceTarget* object, Point3* point) { static_cast<Perturb*>(object)->PerturbHitPoint(*point); }

const HostPerturbPointEntry kPerturbPoint[] = {{PERTURB_CLASS_ID, &PerturbPoint}};
const HostEntryTable kTable = {HOST_ENTRIES_VERSION, 1, kPerturbPoint};

}  // namespace

extern "C" __attribute__((visibility("default"))) const HostEntryTable* HostEntries() { return &kTable; }
