// The public interface of QuorlLib.dlu: what the maker's plug-ins import.
#pragma once

#include <max.h>

#if defined(_WIN32)
#if defined(QUORLLIB_BUILDING)
#define QUORLLIB_API __declspec(dllexport)
#else
#define QUORLLIB_API __declspec(dllimport)
#endif
#define QUORLLIB_KEEP
#else
#define QUORLLIB_API __attribute__((visibility("default")))
// Emits an inline member in every module that includes this header, so that
// each one exports its own copy.
#define QUORLLIB_KEEP __attribute__((used))
#endif

// ---- Identity, version check, categories, notifier -------------------------

// Version word of the library: minor in hundredths in bits 0-7, major in bits
// 8-15, compatibility generation (the host API number) in bits 16-23.
constexpr unsigned long QUORLLIB_VERSION = 0x8010B;  // 1.11, generation 8

QUORLLIB_API int testFunction();
QUORLLIB_API unsigned long QuorlLibVersion();
QUORLLIB_API char* QuorlLibName();
// 1 when the loaded library serves a plug-in built for host release `release`
// (release x 1000) that requires library version word `required`; otherwise
// tells the user why not in a message box and returns 0.
QUORLLIB_API int CheckQuorlLibVersion(unsigned long release, unsigned long required, char* name);
// Formats a message and shows it in a warning box captioned "Notifier...".
QUORLLIB_API void notifier(char* format, ...);
// Category text of the maker's plug-ins for code 1 to 15; owned by the library.
QUORLLIB_API char* GetQuorlCategoryString(int code);
QUORLLIB_API char* QGetString(int id);

// ---- Lattice value noise ---------------------------------------------------

// Deterministic value noise in [0, 1]. The lattice repeats every 43 units along
// x, y and z and every 13 along w, and mirrors at -10000 on every axis.
QUORLLIB_API float qnoise2(Point2 p);
QUORLLIB_API float qnoise3(Point3 p);
QUORLLIB_API float qnoise4(Point3 p, float w);

// ---- Perturb: animatable perturbation settings -----------------------------

class PerturbDlg;
class IMtlParams;

#define PERTURB_CLASS_ID Class_ID(0x37647715, 0x188822CB)

// A switch and two noise sets, primary (P1) and secondary (P2), each with size,
// frequency, high and low clamp, levels and phase, kept in a parameter block
// (reference 0, version 101) and cached for a validity interval.
//
// Use: create with NewDefaultPerturb, set values, then for each render time
// call Update(t, valid) before any PerturbHitPoint at that time. Evaluation
// reads only the caches: it allocates nothing and writes nothing in the
// object, so any number of threads may evaluate at once while no Update,
// setter or getter runs on the same object.
//
// Only the members marked QUORLLIB_API are exported; the class as a whole is
// not (instances come from NewDefaultPerturb, Clone and scene loading).
class Perturb : public ReferenceTarget {
 public:
  // Caches, refilled by Update and emptied by every change of the block.
  Interval ivalid;
  PerturbDlg* paramDlg = nullptr;  // the open dialog, not owned
  IParamBlock* pblock = nullptr;   // reference 0

  // Plain copies of the block's values; zero before the first Reset, so that
  // the clamps inside Reset see defined values.
  int pertOn = 0;
  float pertSize = 0.0f;
  float p1Size = 0.0f, p1Freq = 0.0f, p1High = 0.0f, p1Low = 0.0f, p1Lev = 0.0f, p1Phase = 0.0f;
  float p2Size = 0.0f, p2Freq = 0.0f, p2High = 0.0f, p2Low = 0.0f, p2Lev = 0.0f, p2Phase = 0.0f;

  explicit Perturb(BOOL loading = FALSE);

  // Animatable and ReferenceMaker.
  void GetClassName(CStr& s) override;
  Class_ID ClassID() override;
  SClass_ID SuperClassID() override;
  ~Perturb() override;
  void DeleteThis() override;
  int NumSubs() override;
  Animatable* SubAnim(int i) override;
  CStr SubAnimName(int i) override;
  int SubNumToRefNum(int subNum) override;
  IOResult Load(ILoad* iload) override;
  int NumRefs() override;
  RefTargetHandle GetReference(int i) override;
  void SetReference(int i, RefTargetHandle target) override;
  RefResult NotifyRefChanged(Interval changeInt, RefTargetHandle target, PartID& partID, RefMessage message) override;
  RefTargetHandle Clone(RemapDir& remap) override;

  // A new block with the defaults in place of the old one; keeps the dialog.
  QUORLLIB_API void Reset();
  // Brings the caches up to date for t, reading the block only when t lies
  // outside ivalid, and narrows valid to ivalid.
  QUORLLIB_API void Update(TimeValue t, Interval& valid);
  QUORLLIB_API ParamDlg* CreateParamDlg(HWND hwMtlEdit, IMtlParams* imp);
  QUORLLIB_API QUORLLIB_KEEP inline void SetParamDlg(PerturbDlg* dlg) { paramDlg = dlg; }

  // Setters write the cache with the value given, then the block at time t.
  // Getters read the block at t into the cache and return it; ivalid stays.
  QUORLLIB_API void SetPertOn(int on, TimeValue t);
  QUORLLIB_API int GetPertOn(TimeValue t);
  void SetPertSize(float v, TimeValue t);
  float GetPertSize(TimeValue t);

  QUORLLIB_API void SetP1Size(float v, TimeValue t);
  QUORLLIB_API void SetP1Freq(float v, TimeValue t);
  // The block gets v limited to [p1Low, 1] (the cached low); the cache keeps v.
  QUORLLIB_API void SetP1High(float v, TimeValue t);
  // The block gets v limited to [0, p1High] (the cached high); the cache keeps v.
  QUORLLIB_API void SetP1Low(float v, TimeValue t);
  QUORLLIB_API void SetP1Lev(float v, TimeValue t);
  QUORLLIB_API void SetP1Phase(float v, TimeValue t);
  QUORLLIB_API void SetP2Size(float v, TimeValue t);
  QUORLLIB_API void SetP2Freq(float v, TimeValue t);
  QUORLLIB_API void SetP2High(float v, TimeValue t);
  QUORLLIB_API void SetP2Low(float v, TimeValue t);
  QUORLLIB_API void SetP2Lev(float v, TimeValue t);
  QUORLLIB_API void SetP2Phase(float v, TimeValue t);

  QUORLLIB_API float GetP1Size(TimeValue t);
  QUORLLIB_API float GetP1Freq(TimeValue t);
  QUORLLIB_API float GetP1High(TimeValue t);
  QUORLLIB_API float GetP1Low(TimeValue t);
  QUORLLIB_API float GetP1Lev(TimeValue t);
  QUORLLIB_API float GetP1Phase(TimeValue t);
  QUORLLIB_API float GetP2Size(TimeValue t);
  QUORLLIB_API float GetP2Freq(TimeValue t);
  QUORLLIB_API float GetP2High(TimeValue t);
  QUORLLIB_API float GetP2Low(TimeValue t);
  QUORLLIB_API float GetP2Lev(TimeValue t);
  QUORLLIB_API float GetP2Phase(TimeValue t);

  // Displaces p in place by the primary, then the secondary set: each axis in
  // turn gets a fractal sum of the library's lattice noise times the set's
  // size. The clamps are not used.
  QUORLLIB_API void PerturbHitPoint(Point3& p);
  // The same steps with the host's noise4, each sample limited to the set's
  // [low, high] clamps before it is scaled.
  QUORLLIB_API void PPerturbHitPoint(Point3& p);

 private:
  float UnitNoise(Point3 q, float phase);
  float OctaveNoise(Point3 q, float phase, float levels);
  float HostUnitNoise(Point3 q, float phase);
  float HostOctaveNoise(Point3 q, float phase, float levels);
};

// A new Perturb with the defaults, created through the host's class registry;
// the caller owns it through the host's references.
QUORLLIB_API Perturb* NewDefaultPerturb();
// The Perturb class descriptor. Inside the library only: not exported.
ClassDesc* GetPerturbDesc();

#include "QuorlClassDesc.h"

// ---- About rollups ---------------------------------------------------------
//
// The maker's About rollup for a plug-in, with the texts its descriptor gives
// (name, version and build, host release, rights notice). One rollup of each
// kind is tracked at a time; a second add of a kind replaces the first's texts
// and kept handle.

// From a command-panel plug-in's BeginEditParams; `closed` adds it rolled up.
QUORLLIB_API void AddCommandPanelAbout(IObjParam* ip, QuorlClassDesc2* cd, int closed);
// From its EndEditParams with the host's flags: removes the rollup when bit 0
// is set, otherwise leaves it.
QUORLLIB_API void RemoveCommandPanelAbout(IObjParam* ip, unsigned long flags);
// While a material or map builds its dialog; the material editor removes the
// rollup with the dialog.
QUORLLIB_API void AddAboutPanel(IMtlParams* ip, QuorlClassDesc* cd);
QUORLLIB_API void AddAboutPanel(IMtlParams* ip, QuorlClassDesc2* cd);
