// Class descriptors and the plug-in file's entry points.
//
// The host opens a plug-in file, checks LibVersion, then calls LibDescription,
// LibNumberClasses and LibClassDesc(i) for each i below the count, and
// registers each descriptor. CreateInstance finds a registered descriptor by
// super class and class id and calls its Create.
#pragma once

#include "hostsdk_api.h"
#include "maxtypes.h"
#include "windows.h"

class Interface;
class ParamMap2UserDlgProc;

// The host version a plug-in is built for: release 4000 in the upper 16 bits,
// the API number 8 in bits 8-15, SDK revision 0 in bits 0-7.
#define MAX_RELEASE 4000
#define MAX_API_NUM 8
#define MAX_SDK_REV 0
#define VERSION_3DSMAX ((MAX_RELEASE << 16) + (MAX_API_NUM << 8) + MAX_SDK_REV)

class HOSTSDK_API ClassDesc {
 public:
  virtual ~ClassDesc();
  virtual int IsPublic() = 0;
  // A new object of the class; `loading` is set when the scene loader creates
  // it (its Load and references follow).
  virtual void* Create(BOOL loading = FALSE) = 0;
  virtual const char* ClassName() = 0;
  virtual SClass_ID SuperClassID() = 0;
  virtual Class_ID ClassID() = 0;
  virtual const char* Category() = 0;
  virtual BOOL OkToCreate(Interface* /*i*/) { return TRUE; }
  virtual const char* InternalName() { return nullptr; }
  virtual HINSTANCE HInstance() { return nullptr; }
};

// The descriptor base with the host's newer services.
class HOSTSDK_API ClassDesc2 : public ClassDesc {
 public:
  ~ClassDesc2() override;
  // A procedure for the newer kind of parameter map, which this host does not
  // make; descriptors may still override it.
  virtual void SetUserDlgProc(ParamMap2UserDlgProc* /*proc*/) {}
};

// A new object of a registered class, or null when none is registered.
HOSTSDK_API void* CreateInstance(SClass_ID superClass, Class_ID classId);

// Entry points every plug-in file exports, looked up by these names.
extern "C" {
typedef const char* (*LibDescriptionFn)();
typedef int (*LibNumberClassesFn)();
typedef ClassDesc* (*LibClassDescFn)(int i);
typedef unsigned long (*LibVersionFn)();
}
