// Perturb: fourteen animatable perturbation settings, their caches, and the
// displacement of a shading point by fractal noise.
//
// Rounding matters to the last bit in the evaluation: sums, scales and the
// rest of the octave count are floats, each step is evaluated in double and
// rounded once where it is stored, and nothing may be fused (the build
// compiles with -ffp-contract=off).
#include <bit>
#include <cmath>
#include <cstdint>

#include "NoisePaths.h"
#include "PerturbDlg.h"
#include "QuorlLib.h"
#include "QuorlLibInternal.h"
#include "resource.h"

// ---- Parameter block -------------------------------------------------------

namespace {

enum PerturbParam {
  kP1Size = 0,
  kP1Freq,
  kP1High,
  kP1Low,
  kP1Lev,
  kP1Phase,
  kP2Size,
  kP2Freq,
  kP2High,
  kP2Low,
  kP2Lev,
  kP2Phase,
  kPertSize,
  kPertOn,
  kNumParams
};

// Every parameter is animatable and identified by its index. The previous
// layout (version 100) is the first twelve entries: it had neither the
// overall size nor the switch.
ParamBlockDescID perturbDesc[kNumParams] = {
    {TYPE_FLOAT, nullptr, TRUE, 0},  {TYPE_FLOAT, nullptr, TRUE, 1},  {TYPE_FLOAT, nullptr, TRUE, 2},
    {TYPE_FLOAT, nullptr, TRUE, 3},  {TYPE_FLOAT, nullptr, TRUE, 4},  {TYPE_FLOAT, nullptr, TRUE, 5},
    {TYPE_FLOAT, nullptr, TRUE, 6},  {TYPE_FLOAT, nullptr, TRUE, 7},  {TYPE_FLOAT, nullptr, TRUE, 8},
    {TYPE_FLOAT, nullptr, TRUE, 9},  {TYPE_FLOAT, nullptr, TRUE, 10}, {TYPE_FLOAT, nullptr, TRUE, 11},
    {TYPE_FLOAT, nullptr, TRUE, 12}, {TYPE_BOOL, nullptr, TRUE, 13}};

constexpr DWORD kCurrentVersion = 101;
ParamVersionDesc oldVersions[] = {ParamVersionDesc(perturbDesc, 12, 100)};
ParamVersionDesc currentVersion(perturbDesc, kNumParams, kCurrentVersion);

// Track-view names; the last two are stored the other way round in the
// string table.
int ParamNameId(int index) {
  if (index >= kP1Size && index <= kP2Phase) return IDS_P1_SIZE + index;
  if (index == kPertSize) return IDS_PERTURB_SIZE;
  if (index == kPertOn) return IDS_PERTURB_ON;
  return -1;
}

class PerturbClassDesc : public ClassDesc {
 public:
  int IsPublic() override { return 0; }
  // The host treats what Create returns as an object of its super class.
  void* Create(BOOL loading) override { return static_cast<ReferenceTarget*>(new Perturb(loading)); }
  const char* ClassName() override { return "QuorlLib::Perturbation"; }
  SClass_ID SuperClassID() override { return REF_TARGET_CLASS_ID; }
  Class_ID ClassID() override { return PERTURB_CLASS_ID; }
  const char* Category() override { return "MtmDataClassDesc::Category"; }
};

PerturbClassDesc perturbClassDesc;

}  // namespace

ClassDesc* GetPerturbDesc() { return &perturbClassDesc; }

Perturb* NewDefaultPerturb() {
  ClassDesc* desc = GetPerturbDesc();
  void* obj = CreateInstance(desc->SuperClassID(), desc->ClassID());
  // A process that loaded the library only as a dependency has not listed
  // its classes; the descriptor then makes the object itself rather than
  // handing the caller nothing.
  if (!obj) obj = desc->Create(FALSE);
  return static_cast<Perturb*>(static_cast<ReferenceTarget*>(obj));
}

// ---- Object ----------------------------------------------------------------

Perturb::Perturb(BOOL /*loading*/) {
  ivalid.SetEmpty();
  pblock = nullptr;
  SetParamDlg(nullptr);
  Reset();
}

Perturb::~Perturb() {
  // A dialog still open on this object must not reach back into it.
  if (paramDlg && paramDlg->perturb == this) paramDlg->perturb = nullptr;
}

void Perturb::GetClassName(CStr& s) { s = GetPerturbDesc()->ClassName(); }
Class_ID Perturb::ClassID() { return GetPerturbDesc()->ClassID(); }
SClass_ID Perturb::SuperClassID() { return GetPerturbDesc()->SuperClassID(); }
void Perturb::DeleteThis() { delete this; }

int Perturb::NumSubs() { return NumRefs(); }
Animatable* Perturb::SubAnim(int i) { return GetReference(i); }
// The track view names the parameters through the name query instead.
CStr Perturb::SubAnimName(int /*i*/) { return CStr(); }
int Perturb::SubNumToRefNum(int subNum) { return subNum; }

int Perturb::NumRefs() { return 1; }

RefTargetHandle Perturb::GetReference(int i) {
  if (i == 0) return pblock;
  assert1(249, __FILE__);
  return nullptr;
}

void Perturb::SetReference(int i, RefTargetHandle target) {
  if (i == 0) {
    pblock = static_cast<IParamBlock*>(target);
    return;
  }
  assert1(257, __FILE__);
}

void Perturb::Reset() {
  ReplaceReference(0, CreateParameterBlock(perturbDesc, kNumParams, kCurrentVersion), 1);
  // The high clamps are limited by the cached lows: those are zero before the
  // first Reset and the defaults after it, so both ways the defaults result.
  SetPertOn(1, 0);
  SetPertSize(20.0f, 0);
  SetP1Size(2.0f, 0);
  SetP1Freq(0.5f, 0);
  SetP1High(1.0f, 0);
  SetP1Low(0.0f, 0);
  SetP1Lev(1.0f, 0);
  SetP1Phase(0.0f, 0);
  SetP2Size(2.0f, 0);
  SetP2Freq(0.5f, 0);
  SetP2High(1.0f, 0);
  SetP2Low(0.0f, 0);
  SetP2Lev(1.0f, 0);
  SetP2Phase(0.0f, 0);
  ivalid.SetEmpty();
}

void Perturb::Update(TimeValue t, Interval& valid) {
  if (!ivalid.InInterval(t) && pblock) {
    ivalid = FOREVER;
    pblock->GetValue(kPertOn, t, pertOn, ivalid);
    pblock->GetValue(kPertSize, t, pertSize, ivalid);
    float* caches[] = {&p1Size, &p1Freq, &p1High, &p1Low, &p1Lev, &p1Phase,
                       &p2Size, &p2Freq, &p2High, &p2Low, &p2Lev, &p2Phase};
    for (int i = kP1Size; i <= kP2Phase; ++i) pblock->GetValue(i, t, *caches[i], ivalid);
  }
  valid &= ivalid;
}

RefResult Perturb::NotifyRefChanged(Interval /*changeInt*/, RefTargetHandle /*target*/, PartID& partID,
                                    RefMessage message) {
  switch (message) {
    case REFMSG_CHANGE:
      ivalid.SetEmpty();
      // While the dialog writes a value itself, its page is left alone.
      if (paramDlg && !paramDlg->inProc) paramDlg->Invalidate();
      return REF_SUCCEED;
    case REFMSG_GET_PARAM_NAME: {
      GetParamName* query = reinterpret_cast<GetParamName*>(partID);
      int id = ParamNameId(query->index);
      if (id >= 0) {
        const char* text = GetString(id);
        query->name = text ? text : "";
      }
      return REF_STOP;
    }
    case REFMSG_GET_PARAM_DIM: {
      GetParamDim* query = reinterpret_cast<GetParamDim*>(partID);
      if (query->index >= 0 && query->index < kNumParams) query->dim = defaultDim;
      return REF_STOP;
    }
    default: return REF_SUCCEED;
  }
}

IOResult Perturb::Load(ILoad* iload) {
  // After loading, a block saved in the previous layout is converted to the
  // current one; the values of identifiers 0 to 11 carry over.
  iload->RegisterPostLoadCallback(new ParamBlockPLCB(oldVersions, 1, &currentVersion, this, 0));
  return IO_OK;
}

RefTargetHandle Perturb::Clone(RemapDir& remap) {
  Perturb* copy = new Perturb(FALSE);
  if (pblock) copy->ReplaceReference(0, remap.CloneRef(pblock), 1);
  copy->pertOn = pertOn;
  copy->pertSize = pertSize;
  copy->p1Size = p1Size;
  copy->p1Freq = p1Freq;
  copy->p1High = p1High;
  copy->p1Low = p1Low;
  copy->p1Lev = p1Lev;
  copy->p1Phase = p1Phase;
  copy->p2Size = p2Size;
  copy->p2Freq = p2Freq;
  copy->p2High = p2High;
  copy->p2Low = p2Low;
  copy->p2Lev = p2Lev;
  copy->p2Phase = p2Phase;
  return copy;
}

ParamDlg* Perturb::CreateParamDlg(HWND hwMtlEdit, IMtlParams* imp) {
  PerturbDlg* dlg = new PerturbDlg(hwMtlEdit, imp, this);
  dlg->LoadDialog();
  SetParamDlg(dlg);
  return dlg;
}

// ---- Setters and getters ---------------------------------------------------
//
// A setter writes its cache, then the block; the block's change message then
// empties ivalid. A getter reads the block into its cache through a scratch
// interval. Without a block (its target was deleted) only the caches remain.

namespace {

void Store(IParamBlock* pb, int index, float& cache, float v, float toBlock, TimeValue t) {
  cache = v;
  if (pb) pb->SetValue(index, t, toBlock);
}

float Fetch(IParamBlock* pb, int index, float& cache, TimeValue t) {
  Interval scratch = FOREVER;
  if (pb) pb->GetValue(index, t, cache, scratch);
  return cache;
}

}  // namespace

void Perturb::SetPertOn(int on, TimeValue t) {
  pertOn = on;
  if (pblock) pblock->SetValue(kPertOn, t, on);
}

int Perturb::GetPertOn(TimeValue t) {
  Interval scratch = FOREVER;
  if (pblock) pblock->GetValue(kPertOn, t, pertOn, scratch);
  return pertOn;
}

void Perturb::SetPertSize(float v, TimeValue t) { Store(pblock, kPertSize, pertSize, v, v, t); }
float Perturb::GetPertSize(TimeValue t) { return Fetch(pblock, kPertSize, pertSize, t); }

// Each high clamp stays at or above its set's cached low, each low clamp in
// [0, cached high]; only the block sees the limited value.
void Perturb::SetP1Size(float v, TimeValue t) { Store(pblock, kP1Size, p1Size, v, v, t); }
void Perturb::SetP1Freq(float v, TimeValue t) { Store(pblock, kP1Freq, p1Freq, v, v, t); }
void Perturb::SetP1High(float v, TimeValue t) { Store(pblock, kP1High, p1High, v, clamp(v, p1Low, 1.0f), t); }
void Perturb::SetP1Low(float v, TimeValue t) { Store(pblock, kP1Low, p1Low, v, clamp(v, 0.0f, p1High), t); }
void Perturb::SetP1Lev(float v, TimeValue t) { Store(pblock, kP1Lev, p1Lev, v, v, t); }
void Perturb::SetP1Phase(float v, TimeValue t) { Store(pblock, kP1Phase, p1Phase, v, v, t); }
void Perturb::SetP2Size(float v, TimeValue t) { Store(pblock, kP2Size, p2Size, v, v, t); }
void Perturb::SetP2Freq(float v, TimeValue t) { Store(pblock, kP2Freq, p2Freq, v, v, t); }
void Perturb::SetP2High(float v, TimeValue t) { Store(pblock, kP2High, p2High, v, clamp(v, p2Low, 1.0f), t); }
void Perturb::SetP2Low(float v, TimeValue t) { Store(pblock, kP2Low, p2Low, v, clamp(v, 0.0f, p2High), t); }
void Perturb::SetP2Lev(float v, TimeValue t) { Store(pblock, kP2Lev, p2Lev, v, v, t); }
void Perturb::SetP2Phase(float v, TimeValue t) { Store(pblock, kP2Phase, p2Phase, v, v, t); }

float Perturb::GetP1Size(TimeValue t) { return Fetch(pblock, kP1Size, p1Size, t); }
float Perturb::GetP1Freq(TimeValue t) { return Fetch(pblock, kP1Freq, p1Freq, t); }
float Perturb::GetP1High(TimeValue t) { return Fetch(pblock, kP1High, p1High, t); }
float Perturb::GetP1Low(TimeValue t) { return Fetch(pblock, kP1Low, p1Low, t); }
float Perturb::GetP1Lev(TimeValue t) { return Fetch(pblock, kP1Lev, p1Lev, t); }
float Perturb::GetP1Phase(TimeValue t) { return Fetch(pblock, kP1Phase, p1Phase, t); }
float Perturb::GetP2Size(TimeValue t) { return Fetch(pblock, kP2Size, p2Size, t); }
float Perturb::GetP2Freq(TimeValue t) { return Fetch(pblock, kP2Freq, p2Freq, t); }
float Perturb::GetP2High(TimeValue t) { return Fetch(pblock, kP2High, p2High, t); }
float Perturb::GetP2Low(TimeValue t) { return Fetch(pblock, kP2Low, p2Low, t); }
float Perturb::GetP2Lev(TimeValue t) { return Fetch(pblock, kP2Lev, p2Lev, t); }
float Perturb::GetP2Phase(TimeValue t) { return Fetch(pblock, kP2Phase, p2Phase, t); }

// ---- Evaluation ------------------------------------------------------------
//
// What follows is the reference: the fast paths (NoisePaths.h) give the same
// bits and are taken unless QUORLLIB_SIMD asks for this code.

#include "PerturbOctaves.inl"

float Perturb::UnitNoise(Point3 q, float phase) {
  return static_cast<float>((static_cast<double>(qnoise4(q, phase)) + 1.0) / 2.0);
}

float Perturb::HostUnitNoise(Point3 q, float phase) {
  return static_cast<float>((static_cast<double>(noise4(q, phase)) + 1.0) / 2.0);
}

float Perturb::OctaveNoise(Point3 q, float phase, float levels) {
  return OctaveSum([this, phase](Point3 x) { return UnitNoise(x, phase); }, q, levels);
}

float Perturb::HostOctaveNoise(Point3 q, float phase, float levels) {
  return OctaveSum([this, phase](Point3 x) { return HostUnitNoise(x, phase); }, q, levels);
}

void Perturb::PerturbHitPoint(Point3& p) {
  if (auto fast = ActiveNoisePath().perturbHitPoint) return fast(*this, p);
  DisplaceByBothSets(*this, p, false,
                     [this](Point3 q, float phase, float levels) { return OctaveNoise(q, phase, levels); });
}

void Perturb::PPerturbHitPoint(Point3& p) {
  if (auto fast = ActiveNoisePath().pPerturbHitPoint) return fast(*this, p);
  DisplaceByBothSets(*this, p, true,
                     [this](Point3 q, float phase, float levels) { return HostOctaveNoise(q, phase, levels); });
}
