// Animatables and references: how the host's objects hold each other.
//
// A ReferenceMaker holds numbered references to ReferenceTargets. The host
// layer keeps its own record of every reference made with ReplaceReference (or
// installed by the scene loader), so that:
//  - a target knows its dependents (the makers that reference it) and a change
//    message it sends with NotifyDependents reaches each of them through
//    NotifyRefChanged, then climbs on to that maker's own dependents when the
//    maker answers REF_SUCCEED (REF_STOP ends the climb there);
//  - a target whose last reference is dropped is deleted (DeleteThis), and a
//    maker that is deleted drops all its references first;
//  - a target that is deleted while still referenced clears those references:
//    each dependent gets REFMSG_TARGET_DELETED and SetReference(i, nullptr).
// A maker's own SetReference only stores the pointer in the maker's field.
#pragma once

#include <vector>

#include "hostsdk_api.h"
#include "maxtypes.h"
#include "strclass.h"
#include "windows.h"

class ReferenceTarget;
class ReferenceMaker;
class ILoad;
class ISave;
class RemapDir;
class ParamDimension;

typedef ReferenceTarget* RefTargetHandle;
typedef ReferenceMaker* RefMakerHandle;
typedef unsigned int RefMessage;
typedef unsigned long PartID;

// Answers of NotifyRefChanged.
typedef int RefResult;
constexpr RefResult REF_FAIL = 0;
constexpr RefResult REF_SUCCEED = 1;  // let the message pass on to my dependents
constexpr RefResult REF_DONTCARE = 2;
constexpr RefResult REF_STOP = 3;  // stop here (also: a query was answered)
constexpr RefResult REF_INVALID = 4;

// Messages.
constexpr RefMessage REFMSG_CHANGE = 80;            // a value of the target changed
constexpr RefMessage REFMSG_TARGET_DELETED = 0x12;  // the target is being deleted
constexpr RefMessage REFMSG_GET_PARAM_NAME = 251;   // partID: GetParamName*
constexpr RefMessage REFMSG_GET_PARAM_DIM = 252;    // partID: GetParamDim*

constexpr PartID PART_ALL = 0xFFFFFFFFul;

// Records handed (as the PartID) with the two parameter queries.
struct GetParamName {
  CStr name;
  int index;
  GetParamName(const CStr& n, int i) : name(n), index(i) {}
};
struct GetParamDim {
  ParamDimension* dim;
  int index;
  GetParamDim(int i) : dim(nullptr), index(i) {}
};

// Result of Load and Save.
typedef int IOResult;
constexpr IOResult IO_OK = 0;
constexpr IOResult IO_ERROR = 1;

class HOSTSDK_API Animatable {
 public:
  Animatable() = default;
  Animatable(const Animatable&) = delete;
  Animatable& operator=(const Animatable&) = delete;
  virtual ~Animatable();

  virtual void GetClassName(CStr& s) { s = ""; }
  virtual Class_ID ClassID() { return Class_ID(0, 0); }
  virtual SClass_ID SuperClassID() { return 0; }
  // The host's signal that it is done with the object; normally `delete this`.
  virtual void DeleteThis() { delete this; }

  virtual int NumSubs() { return 0; }
  virtual Animatable* SubAnim(int /*i*/) { return nullptr; }
  virtual CStr SubAnimName(int /*i*/) { return CStr(); }
  virtual int SubNumToRefNum(int /*subNum*/) { return -1; }
};

class HOSTSDK_API ReferenceMaker : public Animatable {
 public:
  ReferenceMaker() = default;
  // Drops every reference this maker holds (the record, not the fields).
  ~ReferenceMaker() override;

  virtual BOOL IsRefTarget() { return FALSE; }
  virtual int NumRefs() { return 0; }
  virtual RefTargetHandle GetReference(int /*i*/) { return nullptr; }
  virtual void SetReference(int /*i*/, RefTargetHandle /*target*/) {}

  // Makes reference `which` point at `target`: records the dependency, calls
  // SetReference, and drops the old target of that slot, which is deleted
  // when `delOld` is set and nothing else references it. `target` may be null.
  RefResult ReplaceReference(int which, RefTargetHandle target, int delOld = 1);
  // Drops reference `which` (deleting the old target as above).
  RefResult DeleteReference(int which);
  void DeleteAllRefsFromMe();

  virtual RefResult NotifyRefChanged(Interval changeInt, RefTargetHandle target, PartID& partID,
                                     RefMessage message) = 0;

  // Scene input and output of the object's own data. Load runs after the
  // object is created with Create(loading = TRUE) and before its references
  // are installed; post-load callbacks registered there run after every
  // object of the scene has its references.
  virtual IOResult Load(ILoad* /*iload*/) { return IO_OK; }
  virtual IOResult Save(ISave* /*isave*/) { return IO_OK; }

  // The host's record of this maker's references (slot, target), in slot
  // order.
  struct HostRefRecord {
    int slot;
    RefTargetHandle target;
  };
  const std::vector<HostRefRecord>& HostRefs() const { return hostRefs_; }
  // The recorded target of a slot, or null.
  RefTargetHandle HostRefTarget(int slot) const;

 private:
  friend class ReferenceTarget;
  friend HOSTSDK_API void HostInstallReference(ReferenceMaker*, int, RefTargetHandle);
  void RecordRef(int which, RefTargetHandle target);
  RefTargetHandle UnrecordRef(int which);
  std::vector<HostRefRecord> hostRefs_;
};

class HOSTSDK_API ReferenceTarget : public ReferenceMaker {
 public:
  ReferenceTarget() = default;
  // Clears every reference to this target still held by a dependent.
  ~ReferenceTarget() override;

  BOOL IsRefTarget() override { return TRUE; }

  // Sends a message to every dependent; it climbs on while they answer
  // REF_SUCCEED. Each maker receives a message at most once per send.
  RefResult NotifyDependents(Interval changeInt, PartID partID, RefMessage message);

  // A copy of the object with its references remapped through `remap`. The
  // default makes no copy.
  virtual RefTargetHandle Clone(RemapDir& /*remap*/) { return nullptr; }

  // The makers that reference this target, once each.
  std::vector<ReferenceMaker*> Dependents() const;
  int DependentCount() const { return static_cast<int>(dependents_.size()); }

 private:
  friend class ReferenceMaker;
  friend HOSTSDK_API void HostInstallReference(ReferenceMaker*, int, RefTargetHandle);
  std::vector<ReferenceMaker*> dependents_;  // one entry per reference held
};

// Cloning a graph: each target is cloned once however often it is
// referenced, so shared targets stay shared in the copy.
class HOSTSDK_API RemapDir {
 public:
  virtual ~RemapDir();
  virtual RefTargetHandle CloneRef(RefTargetHandle oldTarget) = 0;
  virtual RefTargetHandle FindMapping(RefTargetHandle oldTarget) = 0;
  virtual void AddEntry(RefTargetHandle oldTarget, RefTargetHandle newTarget) = 0;
};

// The host's remap directory for one clone operation.
HOSTSDK_API RemapDir* NewRemapDir();
HOSTSDK_API void DeleteRemapDir(RemapDir* remap);
// Clones `target` and everything it references through one RemapDir.
HOSTSDK_API RefTargetHandle CloneRefHierarchy(RefTargetHandle target);

// Installs a reference as the scene loader does: records the dependency and
// calls the maker's SetReference, dropping nothing.
HOSTSDK_API void HostInstallReference(ReferenceMaker* maker, int which, RefTargetHandle target);
