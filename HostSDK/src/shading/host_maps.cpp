// The host's own 2D maps for sub-map slots: a checker and a bitmap.
#include "hostside/host_maps.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>

#include "hostside/picture_cache.h"
#include "hostutil.h"
#include "imtl.h"
#include "ioapi.h"
#include "iparamb.h"
#include "iparamm.h"
#include "object_model/builtin_classes.h"
#include "plugapi.h"
#include "windows/win_host_ids.h"
#include "windows/win_internal.h"

namespace {

// How a block map shows in the material editor: one rollup from the host's
// own templates, its controls tied to the block by a parameter map.
struct BlockMapUI {
  ParamUIDesc* desc;
  int count;
  int dialog;         // template id
  const char* title;  // the rollup's
};

class BlockMap;

// The rollup of a block map; another map of the same class takes it over.
class BlockMapDlg : public ParamDlg {
 public:
  BlockMapDlg(IMtlParams* ip, BlockMap* map, const BlockMapUI& ui);
  ~BlockMapDlg() override { DestroyMParamMap(pmap_); }

  Class_ID ClassID() override;
  void SetThing(ReferenceTarget* m) override;
  ReferenceTarget* GetThing() override;
  void SetTime(TimeValue t) override {
    if (t == curTime_) return;
    curTime_ = t;
    if (pmap_) pmap_->Invalidate();
  }
  void ReloadDialog() override;
  void DeleteThis() override { delete this; }

 private:
  BlockMap* map_;
  TimeValue curTime_;
  hostui::Watch watch_;
  IParamMap* pmap_ = nullptr;
};

// A map whose values all live in one parameter block (reference 0) with
// named parameters.
class BlockMap : public Texmap {
 public:
  BlockMap(ParamBlockDescID* desc, int count, const char* const* names, const BlockMapUI& ui)
      : desc_(desc), count_(count), names_(names), ui_(ui) {}

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
    return AnswerParamQuery(part, message, names_, count_) ? REF_STOP : REF_SUCCEED;
  }

  Interval Validity(TimeValue t) override {
    Interval v = FOREVER;
    Update(t, v);
    return ivalid_;
  }
  ParamDlg* CreateParamDlg(HWND, IMtlParams* imp) override { return imp ? new BlockMapDlg(imp, this, ui_) : nullptr; }
  Point3 EvalNormalPerturb(ShadeContext&) override { return Point3(0.0f, 0.0f, 0.0f); }
  IParamBlock* Block() const { return pblock_; }
  // Shows in the rollup what its parameter map does not (a file name).
  virtual void FillRollup(HWND) {}

 protected:
  void NewBlock() { ReplaceReference(0, CreateParameterBlock(desc_, count_, 1)); }

  IParamBlock* pblock_ = nullptr;
  Interval ivalid_;

 private:
  ParamBlockDescID* desc_;
  int count_;
  const char* const* names_;
  BlockMapUI ui_;
};

BlockMapDlg::BlockMapDlg(IMtlParams* ip, BlockMap* map, const BlockMapUI& ui)
    : map_(map), curTime_(ip->GetTime()), watch_([this](ReferenceTarget*, unsigned int message) {
        if (message == REFMSG_TARGET_DELETED) map_ = nullptr;
        // A map that was reset holds a new block: the rollup follows it.
        if (map_ && pmap_ && pmap_->GetParamBlock() != map_->Block()) pmap_->SetParamBlock(map_->Block());
        if (map_ && pmap_ && message == REFMSG_CHANGE) map_->FillRollup(pmap_->GetHWnd());
      }) {
  watch_.Set(map);
  pmap_ = CreateMParamMap(ui.desc, ui.count, map->Block(), ip, hostui::HostOwnInstance(), MAKEINTRESOURCE(ui.dialog),
                          ui.title, 0);
  if (pmap_) map->FillRollup(pmap_->GetHWnd());
}

Class_ID BlockMapDlg::ClassID() { return map_ ? map_->ClassID() : Class_ID(); }

void BlockMapDlg::SetThing(ReferenceTarget* m) {
  if (!m || !map_ || m->ClassID() != map_->ClassID() || m->SuperClassID() != TEXMAP_CLASS_ID) {
    assert1(__LINE__, __FILE__);
    return;
  }
  map_ = static_cast<BlockMap*>(m);
  watch_.Set(map_);
  if (pmap_) {
    pmap_->SetParamBlock(map_->Block());
    map_->FillRollup(pmap_->GetHWnd());
  }
}

ReferenceTarget* BlockMapDlg::GetThing() { return map_; }

void BlockMapDlg::ReloadDialog() {
  if (!pmap_) return;
  pmap_->Invalidate();
  if (map_) map_->FillRollup(pmap_->GetHWnd());
}

// Wraps a texture coordinate into [0, 1]. Rounding to single precision may
// give 1 for a value just below a whole number. An infinite or undefined
// coordinate (a tiling keyed to overshoot, say) has no place in the tile and
// reads as 0.
float Wrap(float v) {
  if (!std::isfinite(v)) return 0.0f;
  return static_cast<float>(v - std::floor(static_cast<double>(v)));
}

// The texel of a wrapped coordinate among n, for any u in [0, 1].
int Texel(float u, int n) { return std::min(n - 1, static_cast<int>(u * static_cast<float>(n))); }

// ---- Checker ---------------------------------------------------------------

ParamBlockDescID kCheckerDesc[] = {
    {TYPE_RGBA, nullptr, TRUE, 0},
    {TYPE_RGBA, nullptr, TRUE, 1},
    {TYPE_FLOAT, nullptr, TRUE, 2},
    {TYPE_FLOAT, nullptr, TRUE, 3},
};
const char* const kCheckerNames[] = {"Color 1", "Color 2", "U Tiling", "V Tiling"};
ParamUIDesc kCheckerUI[] = {
    ParamUIDesc(0, TYPE_COLORSWATCH, IDC_CHECKER_COLOR1),
    ParamUIDesc(1, TYPE_COLORSWATCH, IDC_CHECKER_COLOR2),
    ParamUIDesc(2, EDITTYPE_FLOAT, IDC_CHECKER_U_EDIT, IDC_CHECKER_U_SPIN, -999999.0f, 999999.0f, 0.01f),
    ParamUIDesc(3, EDITTYPE_FLOAT, IDC_CHECKER_V_EDIT, IDC_CHECKER_V_SPIN, -999999.0f, 999999.0f, 0.01f),
};
const BlockMapUI kCheckerRollup = {kCheckerUI, 4, IDD_CHECKER, "Checker Parameters"};

class CheckerMap : public BlockMap {
 public:
  CheckerMap() : BlockMap(kCheckerDesc, 4, kCheckerNames, kCheckerRollup) { Reset(); }

  void GetClassName(CStr& s) override { s = "Checker"; }
  Class_ID ClassID() override { return CHECKER_CLASS; }
  SClass_ID SuperClassID() override { return TEXMAP_CLASS_ID; }
  ULONG LocalRequirements(int) override { return MTLREQ_UV; }

  void Reset() override {
    NewBlock();
    Color black(0.0f, 0.0f, 0.0f), white(1.0f, 1.0f, 1.0f);
    pblock_->SetValue(0, 0, black);
    pblock_->SetValue(1, 0, white);
    pblock_->SetValue(2, 0, 1.0f);
    pblock_->SetValue(3, 0, 1.0f);
    ivalid_.SetEmpty();
  }
  RefTargetHandle Clone(RemapDir& remap) override {
    auto* copy = new CheckerMap;
    *static_cast<MtlBase*>(copy) = *this;
    copy->ReplaceReference(0, remap.CloneRef(pblock_));
    return copy;
  }
  void Update(TimeValue t, Interval& valid) override {
    if (!ivalid_.InInterval(t)) {
      ivalid_ = FOREVER;
      pblock_->GetValue(0, t, c1_, ivalid_);
      pblock_->GetValue(1, t, c2_, ivalid_);
      pblock_->GetValue(2, t, tu_, ivalid_);
      pblock_->GetValue(3, t, tv_, ivalid_);
    }
    valid &= ivalid_;
  }
  // Two by two squares in each tile of the texture coordinates.
  AColor EvalColor(ShadeContext& sc) override {
    Point3 uvw = sc.UVW(1);
    float u = Wrap(uvw.x * tu_), v = Wrap(uvw.y * tv_);
    bool odd = (u < 0.5f) != (v < 0.5f);
    return AColor(odd ? c2_ : c1_, 1.0f);
  }

 private:
  Color c1_{0.0f, 0.0f, 0.0f}, c2_{1.0f, 1.0f, 1.0f};
  float tu_ = 1.0f, tv_ = 1.0f;
};

class CheckerClassDesc : public ClassDesc {
 public:
  int IsPublic() override { return 1; }
  void* Create(BOOL) override { return new CheckerMap; }
  const char* ClassName() override { return "Checker"; }
  SClass_ID SuperClassID() override { return TEXMAP_CLASS_ID; }
  Class_ID ClassID() override { return CHECKER_CLASS; }
  const char* Category() override { return TEXMAP_CAT_2D; }
};

// ---- Bitmap ----------------------------------------------------------------

ParamBlockDescID kBitmapDesc[] = {
    {TYPE_FLOAT, nullptr, TRUE, 0},
    {TYPE_FLOAT, nullptr, TRUE, 1},
};
const char* const kBitmapNames[] = {"U Tiling", "V Tiling"};
ParamUIDesc kBitmapUI[] = {
    ParamUIDesc(0, EDITTYPE_FLOAT, IDC_BITMAP_U_EDIT, IDC_BITMAP_U_SPIN, -999999.0f, 999999.0f, 0.01f),
    ParamUIDesc(1, EDITTYPE_FLOAT, IDC_BITMAP_V_EDIT, IDC_BITMAP_V_SPIN, -999999.0f, 999999.0f, 0.01f),
};
const BlockMapUI kBitmapRollup = {kBitmapUI, 2, IDD_BITMAP, "Bitmap Parameters"};

// The last part of a path: what a person calls the file.
CStr FileName(const CStr& path) {
  const char* p = path.data();
  const char* slash = std::strrchr(p, '/');
  return CStr(slash ? slash + 1 : p);
}

class BitmapMap : public BlockMap {
 public:
  BitmapMap() : BlockMap(kBitmapDesc, 2, kBitmapNames, kBitmapRollup) { Reset(); }

  CStr FullNameDetail() override { return FileName(file_); }
  void FillRollup(HWND page) override {
    CStr shown = file_.isNull() ? CStr("(no file)") : file_;
    if (!error_.isNull()) shown.printf("%s: %s", file_.data(), error_.data());
    SetDlgItemTextA(page, IDC_BITMAP_FILE, shown.data());
  }

  void GetClassName(CStr& s) override { s = "Bitmap"; }
  Class_ID ClassID() override { return BITMAP_TEX_CLASS; }
  SClass_ID SuperClassID() override { return TEXMAP_CLASS_ID; }
  ULONG LocalRequirements(int) override { return MTLREQ_UV; }

  void Reset() override {
    NewBlock();
    pblock_->SetValue(0, 0, 1.0f);
    pblock_->SetValue(1, 0, 1.0f);
    ivalid_.SetEmpty();
  }
  RefTargetHandle Clone(RemapDir& remap) override {
    auto* copy = new BitmapMap;
    *static_cast<MtlBase*>(copy) = *this;
    copy->ReplaceReference(0, remap.CloneRef(pblock_));
    copy->file_ = file_;
    copy->picture_ = picture_;
    copy->rgba_ = rgba_;
    copy->error_ = error_;
    return copy;
  }
  IOResult Save(ISave* isave) override {
    isave->SaveString("file", file_.data());
    return IO_OK;
  }
  IOResult Load(ILoad* iload) override {
    CStr f;
    if (iload->LoadString("file", f)) SetFile(f);
    return IO_OK;
  }

  // Loads the picture now, on the user-interface thread; evaluation only
  // reads it. Returns false (and keeps no picture) when it cannot. The map's
  // old picture goes first, so that a map given a new file never holds two
  // against the pixel budget.
  bool SetFile(const CStr& file) {
    file_ = file;
    picture_ = nullptr;
    std::string err;
    picture_ = HostSharedPicture(file.data(), &err);
    error_ = picture_ ? CStr() : CStr(err.c_str());
    if (picture_) MapChannels();
    ivalid_.SetEmpty();
    NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    return picture_ != nullptr;
  }
  const CStr& File() const { return file_; }
  const CStr& Error() const { return error_; }

  void Update(TimeValue t, Interval& valid) override {
    if (!ivalid_.InInterval(t)) {
      ivalid_ = FOREVER;
      pblock_->GetValue(0, t, tu_, ivalid_);
      pblock_->GetValue(1, t, tv_, ivalid_);
    }
    valid &= ivalid_;
  }
  // Nearest texel, repeating; v runs up the picture. Samples as the file
  // holds them (8 and 16-bit ones scaled to [0, 1]): straight colour from a
  // PNG, premultiplied from an OpenEXR file. A missing picture is black and
  // transparent.
  AColor EvalColor(ShadeContext& sc) override {
    const HostPicture* pic = picture_.get();
    if (!pic) return AColor(0.0f, 0.0f, 0.0f, 0.0f);
    Point3 uvw = sc.UVW(1);
    float u = Wrap(uvw.x * tu_), v = Wrap(uvw.y * tv_);
    int x = Texel(u, pic->width);
    int y = Texel(1.0f - v, pic->height);
    const HostPictureLayer& layer = pic->layers[0];
    size_t at =
        (static_cast<size_t>(y) * static_cast<size_t>(pic->width) + static_cast<size_t>(x)) * layer.channels.size();
    auto value = [&](int c, float missing) { return c < 0 ? missing : layer.Value(at + static_cast<size_t>(c)); };
    return AColor(value(rgba_[0], 0.0f), value(rgba_[1], 0.0f), value(rgba_[2], 0.0f), value(rgba_[3], 1.0f));
  }

 private:
  // Which channel gives red, green, blue and alpha (-1: none): colour by
  // name, else a vector's X, Y, Z, else the first channel as grey.
  void MapChannels() {
    const HostPictureLayer& l = picture_->layers[0];
    int a = l.Find("A");
    if (l.Find("R") >= 0 || l.Find("G") >= 0 || l.Find("B") >= 0) {
      rgba_ = {l.Find("R"), l.Find("G"), l.Find("B"), a};
    } else if (l.Find("X") >= 0 || l.Find("Z") >= 0) {
      rgba_ = {l.Find("X"), l.Find("Y"), l.Find("Z"), a};
    } else {
      int grey = l.Find("Y") >= 0 ? l.Find("Y") : 0;
      rgba_ = {grey, grey, grey, grey == a ? -1 : a};
    }
  }

  CStr file_;
  CStr error_;
  std::shared_ptr<const HostPicture> picture_;
  std::array<int, 4> rgba_{};
  float tu_ = 1.0f, tv_ = 1.0f;
};

class BitmapClassDesc : public ClassDesc {
 public:
  int IsPublic() override { return 1; }
  void* Create(BOOL) override { return new BitmapMap; }
  const char* ClassName() override { return "Bitmap"; }
  SClass_ID SuperClassID() override { return TEXMAP_CLASS_ID; }
  Class_ID ClassID() override { return BITMAP_TEX_CLASS; }
  const char* Category() override { return TEXMAP_CAT_2D; }
};

}  // namespace

ClassDesc* CheckerMapDesc() {
  static CheckerClassDesc desc;
  return &desc;
}
ClassDesc* BitmapMapDesc() {
  static BitmapClassDesc desc;
  return &desc;
}

bool HostSetBitmapFile(Texmap* map, const char* file, std::string* error) {
  if (!map || map->ClassID() != BITMAP_TEX_CLASS) {
    if (error) *error = "not a bitmap map";
    return false;
  }
  auto* bm = static_cast<BitmapMap*>(map);
  bool ok = bm->SetFile(file);
  if (!ok && error) *error = bm->Error().data();
  return ok;
}
