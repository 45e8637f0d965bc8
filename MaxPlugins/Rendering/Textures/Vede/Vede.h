// Vede: a procedural 3D dirt texture. Noise at the perturbed shading point,
// ramped between Low and High into a coverage that gives colour, mono and
// bump.
#pragma once

#include <max.h>

#include "QuorlLib.h"

#define DIRT_CLASS_ID Class_ID(0x761983AE, 0x9B35C99C)

// The plug-in file exports only the host's four entry points.
#if defined(_WIN32)
#define VEDE_EXPORT __declspec(dllexport)
#else
#define VEDE_EXPORT __attribute__((visibility("default")))
#endif

class DirtDlg;

// Parameter indexes of the texture's block.
enum DirtParam {
  PB_DIRT_ALPHA = 0,
  PB_DIRT_COLOR = 1,
  PB_SIZE = 2,
  PB_HIGH = 3,
  PB_LOW = 4,
  PB_NONDIRT_ALPHA = 5,
  PB_MAP_ON = 6,
  DIRT_NUM_PARAMS = 7,
};

// References, in the order the host sees them.
enum DirtRef { REF_XYZGEN = 0, REF_PBLOCK = 1, REF_PERTURB = 2, REF_SUBMAP = 3, DIRT_NUM_REFS = 4 };

class Vede : public Texmap {
 public:
  IParamBlock* pblock = nullptr;  // reference 1
  XYZGen* xyzGen = nullptr;       // reference 0
  Perturb* perturb = nullptr;     // reference 2
  DirtDlg* paramDlg = nullptr;    // the open dialog, not owned
  Interval ivalid;                // over which the caches below hold
  float dirtAlpha = 0.0f;
  float size = 0.0f;
  Color dirtColor{0.0f, 0.0f, 0.0f};
  float high = 0.0f;
  float low = 0.0f;
  float nonDirtAlpha = 0.0f;
  int mapOn = 0;
  Texmap* subMap = nullptr;  // reference 3

  Vede();

  // Animatable, ReferenceMaker, ReferenceTarget.
  void GetClassName(CStr& s) override;
  Class_ID ClassID() override { return DIRT_CLASS_ID; }
  SClass_ID SuperClassID() override { return TEXMAP_CLASS_ID; }
  ~Vede() override;
  void DeleteThis() override { delete this; }
  int NumSubs() override { return DIRT_NUM_REFS; }
  Animatable* SubAnim(int i) override;
  CStr SubAnimName(int i) override;
  int SubNumToRefNum(int subNum) override { return subNum; }
  int NumRefs() override { return DIRT_NUM_REFS; }
  RefTargetHandle GetReference(int i) override;
  void SetReference(int i, RefTargetHandle target) override;
  RefResult NotifyRefChanged(Interval changeInt, RefTargetHandle target, PartID& partID, RefMessage message) override;
  RefTargetHandle Clone(RemapDir& remap) override;

  // MtlBase.
  ULONG LocalRequirements(int subMtlNum) override;
  void LocalMappingsRequired(int subMtlNum, BitArray& mapreq, BitArray& bumpreq) override;
  void Update(TimeValue t, Interval& valid) override;
  void Reset() override;
  Interval Validity(TimeValue t) override;
  ParamDlg* CreateParamDlg(HWND hwMtlEdit, IMtlParams* imp) override;

  // Texmap: what a shading sample asks. These read the caches that Update
  // filled and write nothing of the texture.
  AColor EvalColor(ShadeContext& sc) override;
  float EvalMono(ShadeContext& sc) override;
  Point3 EvalNormalPerturb(ShadeContext& sc) override;
  void GetUVTransform(Matrix3& uvtrans) override { uvtrans.IdentityMatrix(); }
  int GetTextureTiling() override { return U_WRAP | V_WRAP; }
  XYZGen* GetTheXYZGen() override { return xyzGen; }

  // ISubMap: one slot, the optional sub-texture.
  int NumSubTexmaps() override { return 1; }
  Texmap* GetSubTexmap(int) override { return subMap; }
  void SetSubTexmap(int i, Texmap* m) override;
  CStr GetSubTexmapSlotName(int) override { return CStr(); }

  // Each stores the cache, then writes the block at t.
  void SetDirtColor(Color c, TimeValue t);
  void SetDirtAlpha(float v, TimeValue t);
  void SetSize(float v, TimeValue t);
  void SetHigh(float v, TimeValue t);
  void SetLow(float v, TimeValue t);
  void SetNonDirtAlpha(float v, TimeValue t);
  void SetMapOn(int v, TimeValue t);

  // The coverage at a point: noise scaled by alpha and the map's mono value,
  // ramped between lo and high and clamped to [0, 1].
  float DirtValue(Point3& p, float high, float lo, float alpha, float mapMono);

 private:
  // The steps every sample starts with: the point from the generator, divided
  // by Size and perturbed; the lower threshold; the sub-map's mono value.
  void Prelude(ShadeContext& sc, Point3& p, float& lo, float& mapMono);
};

// The plug-in's entry points, looked up by these names in the file.
extern "C" {
VEDE_EXPORT const char* LibDescription();
VEDE_EXPORT int LibNumberClasses();
VEDE_EXPORT ClassDesc* LibClassDesc(int i);
VEDE_EXPORT ULONG LibVersion();
}

// The plug-in's string table (one static buffer, overwritten by each call).
char* GetString(int id);
ClassDesc* GetDirtDesc();
