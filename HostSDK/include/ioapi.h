// Scene input and output as plug-ins see it.
#pragma once

#include "hostsdk_api.h"
#include "iparamb.h"
#include "ref.h"

// Work registered while loading, run after every object of the scene exists
// and has its references installed.
class HOSTSDK_API PostLoadCallback {
 public:
  virtual ~PostLoadCallback();
  virtual void proc(ILoad* iload) = 0;
  // Lower runs earlier; the host's own block converters use 0.
  virtual int Priority() { return 5; }
};

class HOSTSDK_API ILoad {
 public:
  virtual ~ILoad();
  // The loader takes ownership of the callback and deletes it after it ran.
  virtual void RegisterPostLoadCallback(PostLoadCallback* cb) = 0;
  // The host's own: the target that the loader displaced from reference
  // `which` of `maker` when it installed the loaded one (the one the maker's
  // construction made), kept alive until the post-load callbacks have run.
  virtual RefTargetHandle DisplacedReference(ReferenceMaker* /*maker*/, int /*which*/) { return nullptr; }
  // A named text the object wrote with ISave::SaveString; false when absent.
  virtual bool LoadString(const char* /*key*/, CStr& /*value*/) { return false; }
};

class HOSTSDK_API ISave {
 public:
  virtual ~ISave();
  // Writes a named text of the object's own (a file name, say) into the
  // scene, beside its references.
  virtual void SaveString(const char* /*key*/, const char* /*value*/) {}
};

// Converts a loaded parameter block of an older layout to the current one:
// after load, when reference `refNum` of `target` is a block whose version is
// one of the `count` older layouts in `oldVersions`, it is replaced by a block
// of layout `current`. Values of matching ids carry over; a parameter the old
// layout lacks keeps the value the object's own construction gave it.
class HOSTSDK_API ParamBlockPLCB : public PostLoadCallback {
 public:
  ParamBlockPLCB(ParamVersionDesc* oldVersions, int count, ParamVersionDesc* current, ReferenceTarget* target,
                 int refNum);
  void proc(ILoad* iload) override;
  int Priority() override { return 0; }

 private:
  ParamVersionDesc* oldVersions_;
  int count_;
  ParamVersionDesc* current_;
  ReferenceTarget* target_;
  int refNum_;
};
