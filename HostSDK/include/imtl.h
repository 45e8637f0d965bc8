// Materials and texture maps: the shading context a map evaluates in, the
// map bases, the coordinates generator, and the material-editor dialog base.
//
// Order of calls the host keeps: Update(t, valid) on the user-interface
// thread before any evaluation at time t; then EvalColor, EvalMono and
// EvalNormalPerturb from any number of render threads at once. Evaluation
// reads what Update cached and writes nothing but the shading context.
#pragma once

#include <cstdint>
#include <vector>

#include "color.h"
#include "matrix3.h"
#include "point3.h"
#include "ref.h"
#include "strclass.h"
#include "utilapi.h"
#include "windows.h"

// The material editor as a material's or map's dialog sees it. The host's
// editor (hostside/ui.h) implements it; tests may implement it too.
//
// AddRollupPage creates the page at once from the module's dialog template:
// the page's WM_INITDIALOG (lParam = `param`) reaches `proc` before the call
// returns the page's window. Pages stack in the order added, within their
// category; flag APPENDROLL_CLOSED adds a page rolled up. The editor removes
// whatever pages are left when it closes a dialog, after the dialog's
// DeleteThis.
class HOSTSDK_API IMtlParams {
 public:
  virtual ~IMtlParams();
  virtual HWND AddRollupPage(HINSTANCE instance, const char* dlgTemplate, DLGPROC proc, const char* title,
                             LPARAM param = 0, DWORD flags = 0, int category = ROLLUP_CAT_STANDARD) = 0;
  virtual void DeleteRollupPage(HWND rollup) = 0;
  // Mouse messages a page does not use itself (dragging scrolls the panel).
  virtual void RollupMouseMessage(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  // The editor's current time, at which dialogs show and write values.
  virtual TimeValue GetTime() = 0;
  // A material or map tells the editor that its look changed.
  virtual void MtlChanged() {}
  virtual int IsRollupPanelOpen(HWND /*rollup*/) { return TRUE; }
};

// Posted to the material editor's window by a map's sub-map button: wParam
// the sub-map slot, lParam the map (MtlBase*). The editor lets the user choose
// a map and gives it to the map's SetSubTexmap(slot, chosen).
constexpr UINT MTLEDIT_SUBMAP_BUTTON = 0x4402;
class ParamDlg;
class XYZGen;
class Texmap;

// A small set of bits, for the map channels a material requires.
class HOSTSDK_API BitArray {
 public:
  BitArray() = default;
  explicit BitArray(int n) : bits_(static_cast<size_t>(n), false) {}
  int GetSize() const { return static_cast<int>(bits_.size()); }
  void SetSize(int n) { bits_.resize(static_cast<size_t>(n), false); }
  void Set(int i) {
    if (i >= 0 && i < GetSize()) bits_[static_cast<size_t>(i)] = true;
  }
  void Clear(int i) {
    if (i >= 0 && i < GetSize()) bits_[static_cast<size_t>(i)] = false;
  }
  int operator[](int i) const { return i >= 0 && i < GetSize() && bits_[static_cast<size_t>(i)] ? 1 : 0; }
  int NumberSet() const {
    int n = 0;
    for (bool b : bits_) n += b ? 1 : 0;
    return n;
  }

 private:
  std::vector<bool> bits_;
};

// Shading requirements a map reports (LocalRequirements, Requirements).
constexpr ULONG MTLREQ_UV = 1u << 0;
constexpr ULONG MTLREQ_XYZ = 1u << 13;  // host's own: reads the object-space point

// Texture tiling flags.
constexpr int U_WRAP = 1 << 0;
constexpr int V_WRAP = 1 << 1;

// Everything a map knows about one shading sample.
class HOSTSDK_API ShadeContext {
 public:
  virtual ~ShadeContext();
  virtual TimeValue CurTime() = 0;
  // The point in world space and in the object's own space, and their
  // change across the sample.
  virtual Point3 P() = 0;
  virtual Point3 PObj() = 0;
  virtual Point3 DP() { return Point3(0.0f, 0.0f, 0.0f); }
  virtual Point3 DPObj() { return Point3(0.0f, 0.0f, 0.0f); }
  // The shading normal (unit length for a lit surface, any vector in tests).
  virtual Point3 Normal() = 0;
  // Texture coordinates of a map channel.
  virtual Point3 UVW(int channel = 1) = 0;
  virtual Point3 DUVW(int /*channel*/ = 1) { return Point3(0.0f, 0.0f, 0.0f); }

  // The G-buffer id the sample is tagged with; maps set it.
  void SetGBufferID(int id) { gbufId = id; }
  int GBufferID() const { return gbufId; }

  int mtlNum = 0;
  BOOL doMaps = TRUE;

 protected:
  int gbufId = 0;
};

// Base of materials and maps: a name, a G-buffer id, and the update protocol.
class HOSTSDK_API MtlBase : public ReferenceTarget {
 public:
  MtlBase();
  ~MtlBase() override;
  // Copies the name and the G-buffer id (a clone's base part).
  MtlBase& operator=(const MtlBase& m);

  const CStr& GetName() const { return name_; }
  void SetName(const CStr& n) { name_ = n; }
  // How the host shows a map: its name and, in parentheses, its class
  // with the detail the class gives ("Bitmap: dirt.png").
  CStr GetFullName();
  // What tells two maps of one class apart at a glance (a bitmap's file);
  // empty by default.
  virtual CStr FullNameDetail() { return CStr(); }

  unsigned int GetGBufID() const { return gbufID_; }
  void SetGBufID(unsigned int id) { gbufID_ = id; }

  virtual ULONG LocalRequirements(int /*subMtlNum*/) { return 0; }
  virtual void LocalMappingsRequired(int /*subMtlNum*/, BitArray& /*mapreq*/, BitArray& /*bumpreq*/) {}
  // Brings caches up to date for t and narrows valid to the time they hold.
  virtual void Update(TimeValue t, Interval& valid) = 0;
  virtual void Reset() = 0;
  virtual Interval Validity(TimeValue t) = 0;
  // The rollups of this object in the material editor.
  virtual ParamDlg* CreateParamDlg(HWND hwMtlEdit, IMtlParams* imp) = 0;

 protected:
  CStr name_;
  unsigned int gbufID_ = 0;
};

// The sub-map slots of a material or map.
class HOSTSDK_API ISubMap {
 public:
  virtual ~ISubMap();
  virtual int NumSubTexmaps() { return 0; }
  virtual Texmap* GetSubTexmap(int /*i*/) { return nullptr; }
  virtual void SetSubTexmap(int /*i*/, Texmap* /*m*/) {}
  virtual CStr GetSubTexmapSlotName(int /*i*/) { return CStr(); }
};

class HOSTSDK_API Texmap : public MtlBase, public ISubMap {
 public:
  virtual AColor EvalColor(ShadeContext& sc) = 0;
  // Default: the colour's intensity, (r + g + b) / 3.
  virtual float EvalMono(ShadeContext& sc);
  virtual Point3 EvalNormalPerturb(ShadeContext& sc) = 0;
  virtual void GetUVTransform(Matrix3& uvtrans) { uvtrans.IdentityMatrix(); }
  virtual int GetTextureTiling() { return U_WRAP | V_WRAP; }
  virtual XYZGen* GetTheXYZGen() { return nullptr; }
};

// The host's generator of 3D texture coordinates: the object-space (or
// world) point, moved by an offset, scaled by a tiling and turned by angles
// per axis, all animatable in its own parameter block. With its defaults a
// point passes through unchanged, bit for bit.
class HOSTSDK_API XYZGen : public MtlBase {
 public:
  ~XYZGen() override;
  virtual void GetXYZ(ShadeContext& sc, Point3& p, Point3& dp) = 0;
  virtual int Requirements(int /*subMtlNum*/) { return 0; }
  virtual void MappingsRequired(int /*subMtlNum*/, BitArray& /*mapreq*/, BitArray& /*bumpreq*/) {}
};

HOSTSDK_API XYZGen* GetNewDefaultXYZGen();

// A material-editor dialog of a material or map.
class HOSTSDK_API ParamDlg {
 public:
  virtual ~ParamDlg();
  virtual Class_ID ClassID() = 0;
  virtual void SetThing(ReferenceTarget* m) = 0;
  virtual ReferenceTarget* GetThing() = 0;
  virtual void SetTime(TimeValue t) = 0;
  virtual void ReloadDialog() = 0;
  virtual void DeleteThis() = 0;
  virtual void ActivateDlg(BOOL /*onOff*/) {}
};

// Class ids of the host's own maps and generator.
constexpr SClass_ID XYZGEN_CLASS_ID = 0xC30;
constexpr Class_ID STD_XYZGEN_CLASS(0x0F00BA2, 0x1);
constexpr Class_ID CHECKER_CLASS(0x200, 0);
constexpr Class_ID BITMAP_TEX_CLASS(0x240, 0);
