// The host's coordinates generator for 3D maps.
#include <cmath>
#include <iterator>

#include "hostutil.h"
#include "imtl.h"
#include "iparamb.h"
#include "iparamm.h"
#include "object_model/builtin_classes.h"
#include "plugapi.h"
#include "windows/win_host_ids.h"
#include "windows/win_internal.h"

namespace {

enum { kSource, kOffset, kTiling, kAngle, kParams };
ParamBlockDescID kXYZDesc[] = {
    {TYPE_INT, nullptr, FALSE, 0},    // 0: object XYZ, 1: world XYZ
    {TYPE_POINT3, nullptr, TRUE, 1},  // offset
    {TYPE_POINT3, nullptr, TRUE, 2},  // tiling
    {TYPE_POINT3, nullptr, TRUE, 3},  // angle in degrees about x, then y, then z
};
const char* kXYZNames[] = {"Coordinate Source", "Offset", "Tiling", "Angle"};

// The "Coordinates" rollup: the source as two radio buttons, then a spinner
// for each axis of offset, tiling and angle.
const int kSourceButtons[] = {IDC_XYZ_OBJECT, IDC_XYZ_WORLD};
ParamUIDesc kXYZUI[] = {
    ParamUIDesc(kSource, TYPE_RADIO, kSourceButtons, 2),
    ParamUIDesc(kOffset, EDITTYPE_FLOAT, IDC_OFFSET_X_EDIT, IDC_OFFSET_X_SPIN, IDC_OFFSET_Y_EDIT, IDC_OFFSET_Y_SPIN,
                IDC_OFFSET_Z_EDIT, IDC_OFFSET_Z_SPIN, -999999.0f, 999999.0f, 0.01f),
    ParamUIDesc(kTiling, EDITTYPE_FLOAT, IDC_TILING_X_EDIT, IDC_TILING_X_SPIN, IDC_TILING_Y_EDIT, IDC_TILING_Y_SPIN,
                IDC_TILING_Z_EDIT, IDC_TILING_Z_SPIN, -999999.0f, 999999.0f, 0.01f),
    ParamUIDesc(kAngle, EDITTYPE_FLOAT, IDC_ANGLE_X_EDIT, IDC_ANGLE_X_SPIN, IDC_ANGLE_Y_EDIT, IDC_ANGLE_Y_SPIN,
                IDC_ANGLE_Z_EDIT, IDC_ANGLE_Z_SPIN, -999999.0f, 999999.0f, 0.5f),
};

class StdXYZGen;
ParamDlg* NewXYZGenDlg(HWND editor, IMtlParams* ip, StdXYZGen* gen);

class StdXYZGen : public XYZGen, public HostParamChoiceSource {
 public:
  StdXYZGen() { Reset(); }

  void GetClassName(CStr& s) override { s = "Coordinates"; }
  Class_ID ClassID() override { return STD_XYZGEN_CLASS; }
  SClass_ID SuperClassID() override { return XYZGEN_CLASS_ID; }

  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int i) override { return i == 0 ? pblock_ : nullptr; }
  void SetReference(int i, RefTargetHandle t) override {
    if (i == 0) pblock_ = static_cast<IParamBlock*>(t);
  }
  int NumSubs() override { return 1; }
  Animatable* SubAnim(int i) override { return i == 0 ? pblock_ : nullptr; }
  CStr SubAnimName(int i) override { return i == 0 ? CStr("Parameters") : CStr(); }
  int SubNumToRefNum(int i) override { return i; }

  RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID& part, RefMessage message) override {
    if (message == REFMSG_CHANGE) ivalid_.SetEmpty();
    return AnswerParamQuery(part, message, kXYZNames, kParams) ? REF_STOP : REF_SUCCEED;
  }

  // The source's values by the texts of its radio buttons.
  std::vector<HostParamChoice> ParamChoices(ReferenceTarget* block, int index) override {
    if (block != pblock_) return {};
    return hostui::RadioChoices(kXYZUI, static_cast<int>(std::size(kXYZUI)), index, hostui::HostOwnInstance(),
                                MAKEINTRESOURCE(IDD_XYZGEN));
  }

  RefTargetHandle Clone(RemapDir& remap) override {
    auto* copy = new StdXYZGen;
    *static_cast<MtlBase*>(copy) = *this;
    copy->ReplaceReference(0, remap.CloneRef(pblock_));
    return copy;
  }

  void Reset() override {
    ReplaceReference(0, CreateParameterBlock(kXYZDesc, kParams, 1));
    Point3 zero(0.0f, 0.0f, 0.0f), one(1.0f, 1.0f, 1.0f);
    pblock_->SetValue(kSource, 0, 0);
    pblock_->SetValue(kOffset, 0, zero);
    pblock_->SetValue(kTiling, 0, one);
    pblock_->SetValue(kAngle, 0, zero);
    ivalid_.SetEmpty();
  }

  void Update(TimeValue t, Interval& valid) override {
    if (!ivalid_.InInterval(t)) {
      ivalid_ = FOREVER;
      pblock_->GetValue(kSource, t, source_, ivalid_);
      pblock_->GetValue(kOffset, t, offset_, ivalid_);
      pblock_->GetValue(kTiling, t, tiling_, ivalid_);
      pblock_->GetValue(kAngle, t, angle_, ivalid_);
      rotate_ = angle_ != Point3(0.0f, 0.0f, 0.0f);
      if (rotate_) {
        constexpr double kDegree = 3.14159265358979323846 / 180.0;
        for (int a = 0; a < 3; ++a) {
          cos_[a] = std::cos(angle_[a] * kDegree);
          sin_[a] = std::sin(angle_[a] * kDegree);
        }
      }
    }
    valid &= ivalid_;
  }
  Interval Validity(TimeValue t) override {
    Interval v = FOREVER;
    Update(t, v);
    return ivalid_;
  }
  ParamDlg* CreateParamDlg(HWND editor, IMtlParams* imp) override { return NewXYZGenDlg(editor, imp, this); }
  IParamBlock* Block() const { return pblock_; }

  // Reads the caches only. Each step is skipped where it would change
  // nothing, so that with the defaults the point comes through bit for bit
  // (adding a zero offset would turn -0 into +0).
  void GetXYZ(ShadeContext& sc, Point3& p, Point3& dp) override {
    p = source_ == 1 ? sc.P() : sc.PObj();
    dp = source_ == 1 ? sc.DP() : sc.DPObj();
    if (offset_ != Point3(0.0f, 0.0f, 0.0f)) p = p + offset_;
    if (tiling_ != Point3(1.0f, 1.0f, 1.0f)) {
      p = Point3(p.x * tiling_.x, p.y * tiling_.y, p.z * tiling_.z);
      dp = Point3(dp.x * tiling_.x, dp.y * tiling_.y, dp.z * tiling_.z);
    }
    if (rotate_) {
      p = Rotate(p);
      dp = Rotate(dp);
    }
  }
  int Requirements(int) override { return static_cast<int>(MTLREQ_XYZ); }

 private:
  Point3 Rotate(const Point3& p) const {
    double x = p.x, y = p.y, z = p.z;
    double y1 = y * cos_[0] - z * sin_[0], z1 = y * sin_[0] + z * cos_[0];      // about x
    double x2 = x * cos_[1] + z1 * sin_[1], z2 = -x * sin_[1] + z1 * cos_[1];   // about y
    double x3 = x2 * cos_[2] - y1 * sin_[2], y3 = x2 * sin_[2] + y1 * cos_[2];  // about z
    return Point3(x3, y3, z2);
  }

  IParamBlock* pblock_ = nullptr;
  Interval ivalid_;
  int source_ = 0;
  Point3 offset_{0.0f, 0.0f, 0.0f};
  Point3 tiling_{1.0f, 1.0f, 1.0f};
  Point3 angle_{0.0f, 0.0f, 0.0f};
  bool rotate_ = false;
  double cos_[3] = {1, 1, 1}, sin_[3] = {0, 0, 0};
};

// The material editor's dialog of a generator: one parameter map on its block.
class StdXYZGenDlg : public ParamDlg {
 public:
  StdXYZGenDlg(IMtlParams* ip, StdXYZGen* gen)
      : gen_(gen), curTime_(ip->GetTime()), watch_([this](ReferenceTarget*, unsigned int message) {
          // A generator deleted while shown (its owner was reset) is not edited further.
          if (message == REFMSG_TARGET_DELETED) gen_ = nullptr;
          // A generator that was reset holds a new block, whose first change
          // reaches here: the rollup follows it.
          if (gen_ && map_ && map_->GetParamBlock() != gen_->Block()) map_->SetParamBlock(gen_->Block());
        }) {
    watch_.Set(gen);
    map_ = CreateMParamMap(kXYZUI, static_cast<int>(std::size(kXYZUI)), gen->Block(), ip, hostui::HostOwnInstance(),
                           MAKEINTRESOURCE(IDD_XYZGEN), "Coordinates", 0);
  }
  ~StdXYZGenDlg() override { DestroyMParamMap(map_); }

  Class_ID ClassID() override { return STD_XYZGEN_CLASS; }
  void SetThing(ReferenceTarget* m) override {
    if (!m || m->ClassID() != STD_XYZGEN_CLASS || m->SuperClassID() != XYZGEN_CLASS_ID) {
      assert1(__LINE__, __FILE__);
      return;
    }
    gen_ = static_cast<StdXYZGen*>(m);
    watch_.Set(gen_);
    if (map_) map_->SetParamBlock(gen_->Block());
  }
  ReferenceTarget* GetThing() override { return gen_; }
  void SetTime(TimeValue t) override {
    if (t == curTime_) return;
    curTime_ = t;
    if (map_) map_->Invalidate();
  }
  void ReloadDialog() override {
    if (map_) map_->Invalidate();
  }
  void DeleteThis() override { delete this; }

 private:
  StdXYZGen* gen_;
  TimeValue curTime_;
  hostui::Watch watch_;
  IParamMap* map_ = nullptr;
};

ParamDlg* NewXYZGenDlg(HWND, IMtlParams* ip, StdXYZGen* gen) { return ip ? new StdXYZGenDlg(ip, gen) : nullptr; }

class StdXYZGenClassDesc : public ClassDesc {
 public:
  int IsPublic() override { return 0; }
  void* Create(BOOL) override { return new StdXYZGen; }
  const char* ClassName() override { return "Coordinates"; }
  SClass_ID SuperClassID() override { return XYZGEN_CLASS_ID; }
  Class_ID ClassID() override { return STD_XYZGEN_CLASS; }
  const char* Category() override { return ""; }
};

}  // namespace

ClassDesc* StdXYZGenDesc() {
  static StdXYZGenClassDesc desc;
  return &desc;
}

XYZGen* GetNewDefaultXYZGen() { return new StdXYZGen; }
