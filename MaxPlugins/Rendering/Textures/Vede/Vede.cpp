// The Vede texture: its object, its shading, and the plug-in's entry points.
#include "Vede.h"

#include "VedeDlg.h"
#include "resource.h"

HINSTANCE hInstance = nullptr;

namespace {

int controlsInit = 0;
char stringBuf[256];

ParamBlockDescID dirtParamDesc[DIRT_NUM_PARAMS] = {
    {TYPE_FLOAT, nullptr, TRUE, 0},  // Vede Alpha
    {TYPE_RGBA, nullptr, TRUE, 1},   // Vede Color
    {TYPE_FLOAT, nullptr, TRUE, 2},  // Size
    {TYPE_FLOAT, nullptr, TRUE, 3},  // High
    {TYPE_FLOAT, nullptr, TRUE, 4},  // Low
    {TYPE_FLOAT, nullptr, TRUE, 5},  // Non-Vede Alpha
    {TYPE_BOOL, nullptr, TRUE, 6},   // Map On
};
constexpr DWORD DIRT_PBLOCK_VERSION = 1;

}  // namespace

char* GetString(int id) {
  if (!hInstance || id < 0) return nullptr;
  return LoadStringA(hInstance, static_cast<UINT>(id), stringBuf, sizeof stringBuf) > 0 ? stringBuf : nullptr;
}

// ---- Class descriptor and entry points ---------------------------------------

namespace {

class DirtClassDesc : public QuorlClassDesc {
 public:
  int IsPublic() override { return 1; }
  void* Create(BOOL) override { return new Vede; }
  const char* ClassName() override { return GetString(IDS_CLASS_NAME); }
  SClass_ID SuperClassID() override { return TEXMAP_CLASS_ID; }
  Class_ID ClassID() override { return DIRT_CLASS_ID; }
  const char* Category() override { return GetString(IDS_CATEGORY); }

  float PluginVersion() override { return 2.02f; }
  CStr BuildDate() override { return CStr("Jan 10 2001"); }
  int MaxVersion() override { return VERSION_3DSMAX; }
  CStr RightsNotice() override { return CStr("Copyright (C) 2001 Quorl Studio.\nAll Rights Reserved."); }
};

DirtClassDesc dirtDesc;

}  // namespace

ClassDesc* GetDirtDesc() { return &dirtDesc; }

void ReportVedeFault(int line) { assert1(line, __FILE__); }

BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD /*reason*/, LPVOID /*reserved*/) {
  hInstance = hinstDLL;
  if (!controlsInit) {
    controlsInit = 1;
    InitCustomControls(hInstance);
    InitCommonControls();
  }
  return TRUE;
}

const char* LibDescription() { return GetString(IDS_LIBDESCRIPTION); }
int LibNumberClasses() { return 1; }
ClassDesc* LibClassDesc(int i) { return i == 0 ? &dirtDesc : nullptr; }
ULONG LibVersion() { return VERSION_3DSMAX; }

// ---- The texture object ------------------------------------------------------

Vede::Vede() { Reset(); }

Vede::~Vede() {
  // A dialog that still shows this texture must not reach back into it.
  if (paramDlg) DirtDlgTextureDeleted(paramDlg, this);
}

void Vede::GetClassName(CStr& s) { s = GetString(IDS_CLASS_NAME); }

Animatable* Vede::SubAnim(int i) {
  switch (i) {
    case REF_XYZGEN: return xyzGen;
    case REF_PBLOCK: return pblock;
    case REF_PERTURB: return perturb;
    case REF_SUBMAP: return subMap;
    default: return nullptr;
  }
}

CStr Vede::SubAnimName(int i) {
  switch (i) {
    case REF_XYZGEN: return GetString(IDS_COORDS);
    case REF_PBLOCK: return GetString(IDS_PARAMS);
    case REF_PERTURB: return GetString(IDS_PERTURB);
    case REF_SUBMAP: return GetString(IDS_MAP);
    default: return CStr();
  }
}

RefTargetHandle Vede::GetReference(int i) {
  switch (i) {
    case REF_XYZGEN: return xyzGen;
    case REF_PBLOCK: return pblock;
    case REF_PERTURB: return perturb;
    case REF_SUBMAP: return subMap;
    default: assert1(443, __FILE__); return nullptr;
  }
}

void Vede::SetReference(int i, RefTargetHandle target) {
  switch (i) {
    case REF_XYZGEN: xyzGen = static_cast<XYZGen*>(target); break;
    case REF_PBLOCK: pblock = static_cast<IParamBlock*>(target); break;
    case REF_PERTURB: perturb = static_cast<Perturb*>(target); break;
    case REF_SUBMAP: subMap = static_cast<Texmap*>(target); break;
    default: assert1(455, __FILE__); break;
  }
}

RefResult Vede::NotifyRefChanged(Interval, RefTargetHandle target, PartID&, RefMessage message) {
  if (message == REFMSG_CHANGE) {
    ivalid.SetEmpty();
    if (target == pblock && paramDlg) DirtDlgInvalidate(paramDlg);
  }
  return REF_SUCCEED;
}

RefTargetHandle Vede::Clone(RemapDir& remap) {
  Vede* copy = new Vede;
  *static_cast<MtlBase*>(copy) = *this;
  for (int i = 0; i < DIRT_NUM_REFS; ++i) copy->ReplaceReference(i, remap.CloneRef(GetReference(i)));
  copy->dirtAlpha = dirtAlpha;
  copy->dirtColor = dirtColor;
  copy->size = size;
  copy->high = high;
  copy->low = low;
  copy->nonDirtAlpha = nonDirtAlpha;
  copy->mapOn = mapOn;
  return copy;
}

ULONG Vede::LocalRequirements(int subMtlNum) { return static_cast<ULONG>(xyzGen->Requirements(subMtlNum)); }

void Vede::LocalMappingsRequired(int subMtlNum, BitArray& mapreq, BitArray& bumpreq) {
  xyzGen->MappingsRequired(subMtlNum, mapreq, bumpreq);
}

void Vede::Reset() {
  if (xyzGen)
    xyzGen->Reset();
  else
    ReplaceReference(REF_XYZGEN, GetNewDefaultXYZGen());
  if (perturb)
    perturb->Reset();
  else
    ReplaceReference(REF_PERTURB, NewDefaultPerturb());
  perturb->SetP1Size(0.5f, 0);
  perturb->SetP1Freq(2.5f, 0);
  perturb->SetP2Size(0.5f, 0);
  perturb->SetP2Freq(15.0f, 0);
  if (subMap) ReplaceReference(REF_SUBMAP, nullptr);
  ReplaceReference(REF_PBLOCK, CreateParameterBlock(dirtParamDesc, DIRT_NUM_PARAMS, DIRT_PBLOCK_VERSION));
  if (paramDlg) DirtDlgSetParamBlock(paramDlg, pblock);
  ivalid.SetEmpty();
  SetDirtColor(Color(0.0f, 0.0f, 0.0f), 0);
  SetDirtAlpha(0.5f, 0);
  SetSize(10.0f, 0);
  SetHigh(1.0f, 0);
  SetLow(0.0f, 0);
  SetNonDirtAlpha(0.0f, 0);
  SetMapOn(0, 0);
}

void Vede::Update(TimeValue t, Interval& valid) {
  if (!ivalid.InInterval(t)) {
    ivalid = FOREVER;
    xyzGen->Update(t, ivalid);
    perturb->Update(t, ivalid);
    if (subMap) subMap->Update(t, ivalid);
    pblock->GetValue(PB_DIRT_ALPHA, t, dirtAlpha, ivalid);
    pblock->GetValue(PB_DIRT_COLOR, t, dirtColor, ivalid);
    pblock->GetValue(PB_SIZE, t, size, ivalid);
    pblock->GetValue(PB_HIGH, t, high, ivalid);
    pblock->GetValue(PB_LOW, t, low, ivalid);
    pblock->GetValue(PB_NONDIRT_ALPHA, t, nonDirtAlpha, ivalid);
    pblock->GetValue(PB_MAP_ON, t, mapOn, ivalid);
  }
  valid &= ivalid;
}

Interval Vede::Validity(TimeValue t) {
  Interval scratch = FOREVER;
  Update(t, scratch);
  return ivalid;
}

void Vede::SetSubTexmap(int, Texmap* m) {
  SetMapOn(m ? 1 : 0, 0);
  ReplaceReference(REF_SUBMAP, m);
  if (paramDlg) DirtDlgUpdateMapButton(paramDlg);
}

void Vede::SetDirtColor(Color c, TimeValue t) {
  dirtColor = c;
  pblock->SetValue(PB_DIRT_COLOR, t, c);
}
void Vede::SetDirtAlpha(float v, TimeValue t) {
  dirtAlpha = v;
  pblock->SetValue(PB_DIRT_ALPHA, t, v);
}
void Vede::SetSize(float v, TimeValue t) {
  size = v;
  pblock->SetValue(PB_SIZE, t, v);
}
void Vede::SetHigh(float v, TimeValue t) {
  high = v;
  pblock->SetValue(PB_HIGH, t, v);
}
void Vede::SetLow(float v, TimeValue t) {
  low = v;
  pblock->SetValue(PB_LOW, t, v);
}
void Vede::SetNonDirtAlpha(float v, TimeValue t) {
  nonDirtAlpha = v;
  pblock->SetValue(PB_NONDIRT_ALPHA, t, v);
}
void Vede::SetMapOn(int v, TimeValue t) {
  mapOn = v;
  pblock->SetValue(PB_MAP_ON, t, v);
}

// ---- Shading -------------------------------------------------------------------
//
// Products and quotients are taken in double and the coverage rounded to
// single precision once, at the end.

float Vede::DirtValue(Point3& p, float hi, float lo, float alpha, float mapMono) {
  double n = qnoise3(p);
  double numerator = n * alpha * mapMono - lo;
  double width = static_cast<double>(hi) - lo;
  if (width == 0.0) width = 0.0001;  // a collapsed band becomes a steep ramp
  double v = numerator / width;
  if (v < 0.0) return 0.0f;
  if (v > 1.0) return 1.0f;
  if (v >= 0.0) return static_cast<float>(v);
  return 0.0f;  // not a number
}

void Vede::Prelude(ShadeContext& sc, Point3& p, float& lo, float& mapMono) {
  if (gbufID_ != 0) sc.SetGBufferID(static_cast<int>(gbufID_));
  Point3 dp;
  xyzGen->GetXYZ(sc, p, dp);
  lo = low < high ? low : high;
  float s = size == 0.0f ? 0.0001f : size;
  p = Point3(p.x / s, p.y / s, p.z / s);
  if (perturb) perturb->PerturbHitPoint(p);
  mapMono = 1.0f;
  if (mapOn && subMap) mapMono = subMap->EvalMono(sc);
}

float Vede::EvalMono(ShadeContext& sc) {
  Point3 p;
  float lo, mapMono;
  Prelude(sc, p, lo, mapMono);
  return DirtValue(p, high, lo, dirtAlpha, mapMono);
}

AColor Vede::EvalColor(ShadeContext& sc) {
  AColor c(dirtColor.r, dirtColor.g, dirtColor.b, 1.0f);
  if (mapOn && subMap) c = subMap->EvalColor(sc);
  float m = EvalMono(sc);
  return AColor(c.r * m, c.g * m, c.b * m, c.a * m);
}

Point3 Vede::EvalNormalPerturb(ShadeContext& sc) {
  Point3 p;
  float lo, mapMono;
  Prelude(sc, p, lo, mapMono);
  Point3 n = sc.Normal();
  // Two tangents from the normal and an auxiliary vector off its axis.
  Point3 h = n;
  if (n.x != 0.0f)
    h.y = static_cast<float>(n.y + 1.3);
  else if (n.y != 0.0f)
    h.z = static_cast<float>(n.z + 3.7);
  else if (n.z != 0.0f)
    h.x = static_cast<float>(n.x + 6.1);
  Point3 u = n ^ h;
  Point3 v = n ^ u;
  u = Normalize(u);
  v = Normalize(v);
  auto offset = [&](const Point3& dir) {
    return Point3(p.x + 0.001 * dir.x, p.y + 0.001 * dir.y, p.z + 0.001 * dir.z);
  };
  Point3 a = offset(u);
  Point3 b = offset(v);
  float f0 = DirtValue(p, high, lo, dirtAlpha, mapMono);
  float fa = DirtValue(a, high, lo, dirtAlpha, mapMono);
  float fb = DirtValue(b, high, lo, dirtAlpha, mapMono);
  double d1 = static_cast<double>(f0) - fa;
  double d2 = static_cast<double>(f0) - fb;
  // Against the gradient of the coverage along the surface: the normal leans
  // away from where the dirt thickens, so dirt reads as raised. Where the
  // coverage does not change both differences are 0 and so is the answer.
  return Point3(30.0 * (d1 * u.x + d2 * v.x), 30.0 * (d1 * u.y + d2 * v.y), 30.0 * (d1 * u.z + d2 * v.z));
}
