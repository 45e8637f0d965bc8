// Parameter maps: a rollup page whose controls follow a parameter block and
// write to it, described by a table of ParamUIDesc entries.
#include <algorithm>
#include <cmath>
#include <set>

#include "hostside/module_table.h"
#include "hostside/paramblock_access.h"
#include "iparamm.h"
#include "windows/win_internal.h"

namespace hostui {

std::vector<HostParamChoice> RadioChoices(const ParamUIDesc* descs, int count, int pbIndex, HINSTANCE instance,
                                          LPCSTR dialog) {
  std::vector<HostParamChoice> choices;
  const ParamUIDesc* radio = std::find_if(
      descs, descs + count, [&](const ParamUIDesc& d) { return d.type == TYPE_RADIO && d.pbIndex == pbIndex; });
  if (radio == descs + count) return choices;
  std::optional<HostDialogTemplate> t =
      HostParseDialogTemplate(HostFindResource(instance, ResId::Num(5), ResId::From(dialog)));
  if (!t) return choices;
  for (int k = 0; k < radio->numRadio; ++k) {
    auto item = std::find_if(t->items.begin(), t->items.end(),
                             [&](const HostDialogItem& i) { return i.id == radio->radioIDs[k]; });
    if (item == t->items.end()) return {};
    choices.push_back({radio->radioVals[k], item->text});
  }
  return choices;
}

}  // namespace hostui

ParamMapUserDlgProc::~ParamMapUserDlgProc() = default;
IParamMap::~IParamMap() = default;

// ---- Descriptions -------------------------------------------------------------

ParamUIDesc::ParamUIDesc(int index, EditSpinnerType st, int idEdit, int idSpin, float low, float high, float scl,
                         ParamDimension* d)
    : pbIndex(index),
      type(TYPE_SPINNER),
      spinType(st),
      ctrlIDs{idEdit, idSpin, 0, 0, 0, 0},
      numControls(2),
      lowLim(low),
      highLim(high),
      scale(scl),
      dim(d ? d : defaultDim),
      radioIDs{},
      radioVals{},
      numRadio(0) {}

ParamUIDesc::ParamUIDesc(int index, EditSpinnerType st, int idEdit1, int idSpin1, int idEdit2, int idSpin2, int idEdit3,
                         int idSpin3, float low, float high, float scl, ParamDimension* d)
    : pbIndex(index),
      type(TYPE_SPINNER),
      spinType(st),
      ctrlIDs{idEdit1, idSpin1, idEdit2, idSpin2, idEdit3, idSpin3},
      numControls(6),
      lowLim(low),
      highLim(high),
      scale(scl),
      dim(d ? d : defaultDim),
      radioIDs{},
      radioVals{},
      numRadio(0) {}

ParamUIDesc::ParamUIDesc(int index, ControlType t, int id)
    : pbIndex(index),
      type(t),
      spinType(EDITTYPE_FLOAT),
      ctrlIDs{id, 0, 0, 0, 0, 0},
      numControls(1),
      lowLim(0),
      highLim(0),
      scale(0),
      dim(defaultDim),
      radioIDs{},
      radioVals{},
      numRadio(0) {}

ParamUIDesc::ParamUIDesc(int index, ControlType t, const int* ids, int count, const int* vals)
    : pbIndex(index),
      type(t),
      spinType(EDITTYPE_INT),
      ctrlIDs{},
      numControls(0),
      lowLim(0),
      highLim(0),
      scale(0),
      dim(defaultDim),
      radioIDs{},
      radioVals{},
      numRadio(0) {
  numRadio = ids ? std::clamp(count, 0, 8) : 0;
  for (int k = 0; k < numRadio; ++k) {
    radioIDs[k] = ids[k];
    radioVals[k] = vals ? vals[k] : k;
  }
}

namespace {

using hostui::Watch;

// The panel a map's page lives in: the material editor or a command-panel
// style interface.
struct Panel {
  IMtlParams* mtl = nullptr;
  Interface* cp = nullptr;

  HWND Add(HINSTANCE inst, const char* tmpl, DLGPROC proc, const char* title, LPARAM param, DWORD flags, int cat) {
    return mtl ? mtl->AddRollupPage(inst, tmpl, proc, title, param, flags, cat)
               : cp->AddRollupPage(inst, tmpl, proc, title, param, flags, cat);
  }
  void Delete(HWND page) {
    if (mtl)
      mtl->DeleteRollupPage(page);
    else
      cp->DeleteRollupPage(page);
  }
  TimeValue Time() { return mtl ? mtl->GetTime() : cp->GetTime(); }
  void Mouse(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (mtl)
      mtl->RollupMouseMessage(h, m, w, l);
    else
      cp->RollupMouseMessage(h, m, w, l);
  }
};

class ParamMap;
std::set<IParamMap*>& LiveMaps() {
  static auto* s = new std::set<IParamMap*>;
  return *s;
}

float& Component(Point3& p, int k) { return k == 0 ? p.x : (k == 1 ? p.y : p.z); }

INT_PTR CALLBACK ParamMapProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

class ParamMap : public IParamMap {
 public:
  ParamMap(const ParamUIDesc* desc, int count, Panel panel)
      : descs_(desc, desc + count),
        bound_(static_cast<size_t>(count)),
        panel_(panel),
        watch_([this](ReferenceTarget*, unsigned int message) {
          if (message == REFMSG_CHANGE) Invalidate();
        }) {
    LiveMaps().insert(this);
  }
  ~ParamMap() override { LiveMaps().erase(this); }
  ParamMap(const ParamMap&) = delete;
  ParamMap& operator=(const ParamMap&) = delete;

  bool Open(IParamBlock* pb, HINSTANCE instance, const char* tmpl, const char* title, DWORD flags, int category) {
    watch_.Set(pb);
    return panel_.Add(instance, tmpl, ParamMapProc, title, reinterpret_cast<LPARAM>(this), flags, category) != nullptr;
  }

  void Destroy() {
    // The page's WM_DESTROY reaches the map and the user procedure first.
    if (IsWindow(hwnd_)) panel_.Delete(hwnd_);
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
    ReleaseControls();
    if (ParamMapUserDlgProc* u = user_) {
      user_ = nullptr;
      u->DeleteThis();
    }
    watch_.Set(nullptr);
    delete this;
  }

  // IParamMap.
  void Invalidate() override {
    stale_ = true;
    if (IsWindow(hwnd_)) InvalidateRect(hwnd_, nullptr, FALSE);
  }
  void SetParamBlock(IParamBlock* pb) override {
    watch_.Set(pb);
    if (IsWindow(hwnd_)) Load(panel_.Time());
  }
  IParamBlock* GetParamBlock() override { return Block(); }
  void SetUserDlgProc(ParamMapUserDlgProc* proc) override {
    if (proc == user_) return;
    ParamMapUserDlgProc* old = user_;
    user_ = proc;
    if (old) old->DeleteThis();
    if (proc && IsWindow(hwnd_))
      proc->DlgProc(panel_.Time(), this, hwnd_, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(this));
  }
  ParamMapUserDlgProc* GetUserDlgProc() override { return user_; }
  HWND GetHWnd() override { return IsWindow(hwnd_) ? hwnd_ : nullptr; }
  void Enable(int descIndex, BOOL onOff) override {
    if (descIndex < 0 || descIndex >= static_cast<int>(descs_.size()) || !IsWindow(hwnd_)) return;
    const ParamUIDesc& d = descs_[static_cast<size_t>(descIndex)];
    for (int k = 0; k < d.numControls; ++k) EnableWindow(GetDlgItem(hwnd_, d.ctrlIDs[k]), onOff);
    for (int k = 0; k < d.numRadio; ++k) EnableWindow(GetDlgItem(hwnd_, d.radioIDs[k]), onOff);
  }

  INT_PTR Handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    TimeValue t = panel_.Time();
    INT_PTR answer = FALSE;
    switch (msg) {
      case WM_INITDIALOG:
        hwnd_ = hwnd;
        SetUpControls();
        Load(t);
        answer = TRUE;
        break;
      case WM_PAINT:
        if (stale_ || t != loadedAt_) Load(t);
        break;
      case CC_SPINNER_CHANGE: WriteSpinner(LOWORD(wParam), t); break;
      case CC_COLOR_CHANGE: WriteColor(LOWORD(wParam), t); break;
      case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) WriteButton(LOWORD(wParam), t);
        break;
      case WM_MOUSEMOVE:
      case WM_LBUTTONDOWN:
      case WM_LBUTTONUP: panel_.Mouse(hwnd, msg, wParam, lParam); break;
      case WM_DESTROY: ReleaseControls(); break;
      default: break;
    }
    IParamMap* self = this;
    if (user_) answer = user_->DlgProc(t, this, hwnd, msg, wParam, lParam);
    // The user procedure may have destroyed the map.
    if (msg == WM_NCDESTROY && LiveMaps().count(self)) hwnd_ = nullptr;
    return answer;
  }

 private:
  struct Bound {
    ISpinnerControl* spin[3] = {nullptr, nullptr, nullptr};
    IColorSwatch* swatch = nullptr;
  };

  IParamBlock* Block() {
    watch_.DropIfOrphaned();
    return static_cast<IParamBlock*>(watch_.Get());
  }

  bool ParamOk(IParamBlock* pb, const ParamUIDesc& d) { return pb && d.pbIndex >= 0 && d.pbIndex < pb->NumParams(); }

  void SetUpControls() {
    for (size_t i = 0; i < descs_.size(); ++i) {
      const ParamUIDesc& d = descs_[i];
      Bound& b = bound_[i];
      if (d.type == TYPE_SPINNER) {
        for (int k = 0; k < d.numControls / 2; ++k) {
          ISpinnerControl* s = GetISpinner(GetDlgItem(hwnd_, d.ctrlIDs[2 * k + 1]));
          if (!s) continue;
          s->SetLimits(d.lowLim, d.highLim, FALSE);
          s->SetScale(d.scale);
          s->LinkToEdit(GetDlgItem(hwnd_, d.ctrlIDs[2 * k]), d.spinType);
          b.spin[k] = s;
        }
      } else if (d.type == TYPE_COLORSWATCH) {
        b.swatch = GetIColorSwatch(GetDlgItem(hwnd_, d.ctrlIDs[0]));
      }
    }
  }

  void ReleaseControls() {
    for (Bound& b : bound_) {
      for (ISpinnerControl*& s : b.spin) {
        ReleaseISpinner(s);
        s = nullptr;
      }
      ReleaseIColorSwatch(b.swatch);
      b.swatch = nullptr;
    }
  }

  void Load(TimeValue t) {
    stale_ = false;
    loadedAt_ = t;
    IParamBlock* pb = Block();
    if (!pb || !IsWindow(hwnd_)) return;
    for (size_t i = 0; i < descs_.size(); ++i) {
      const ParamUIDesc& d = descs_[i];
      Bound& b = bound_[i];
      if (!ParamOk(pb, d)) continue;
      Interval iv = FOREVER;
      ParamType type = pb->GetParameterType(d.pbIndex);
      switch (d.type) {
        case TYPE_SPINNER: {
          bool keyed = false;
          for (const HostParamSample& k : HostGetParam(pb, d.pbIndex).keys) keyed |= k.time == t;
          if (type == TYPE_POINT3 || type == TYPE_RGBA) {
            Point3 p(0.0f, 0.0f, 0.0f);
            pb->GetValue(d.pbIndex, t, p, iv);
            for (int k = 0; k < 3; ++k)
              if (b.spin[k]) b.spin[k]->SetValue(d.dim->Convert(Component(p, k)), FALSE);
          } else if (type == TYPE_FLOAT) {
            float v = 0.0f;
            pb->GetValue(d.pbIndex, t, v, iv);
            if (b.spin[0]) b.spin[0]->SetValue(d.dim->Convert(v), FALSE);
          } else {
            int v = 0;
            pb->GetValue(d.pbIndex, t, v, iv);
            if (b.spin[0]) b.spin[0]->SetValue(v, FALSE);
          }
          for (ISpinnerControl* s : b.spin)
            if (s) s->SetKeyBrackets(keyed ? TRUE : FALSE);
          break;
        }
        case TYPE_SINGLECHEKBOX: {
          int v = 0;
          pb->GetValue(d.pbIndex, t, v, iv);
          CheckDlgButton(hwnd_, d.ctrlIDs[0], v ? BST_CHECKED : BST_UNCHECKED);
          break;
        }
        case TYPE_COLORSWATCH: {
          Color c(0.0f, 0.0f, 0.0f);
          if (b.swatch && pb->GetValue(d.pbIndex, t, c, iv)) b.swatch->SetColor(c, FALSE);
          break;
        }
        case TYPE_RADIO: {
          int v = 0;
          pb->GetValue(d.pbIndex, t, v, iv);
          for (int k = 0; k < d.numRadio; ++k)
            CheckDlgButton(hwnd_, d.radioIDs[k], d.radioVals[k] == v ? BST_CHECKED : BST_UNCHECKED);
          break;
        }
      }
    }
    if (user_) user_->Update(t);
  }

  void WriteSpinner(int id, TimeValue t) {
    IParamBlock* pb = Block();
    for (size_t i = 0; i < descs_.size(); ++i) {
      const ParamUIDesc& d = descs_[i];
      if (d.type != TYPE_SPINNER || !ParamOk(pb, d)) continue;
      for (int k = 0; k < d.numControls / 2; ++k) {
        ISpinnerControl* s = bound_[i].spin[k];
        if (d.ctrlIDs[2 * k + 1] != id || !s) continue;
        float shown = s->GetFVal();
        ParamType type = pb->GetParameterType(d.pbIndex);
        if (type == TYPE_POINT3 || type == TYPE_RGBA) {
          Point3 p(0.0f, 0.0f, 0.0f);
          Interval iv = FOREVER;
          pb->GetValue(d.pbIndex, t, p, iv);
          Component(p, k) = d.dim->UnConvert(shown);
          pb->SetValue(d.pbIndex, t, p);
        } else if (type == TYPE_FLOAT) {
          pb->SetValue(d.pbIndex, t, d.dim->UnConvert(shown));
        } else {
          pb->SetValue(d.pbIndex, t, static_cast<int>(std::lround(shown)));
        }
        return;
      }
    }
  }

  void WriteColor(int id, TimeValue t) {
    IParamBlock* pb = Block();
    for (size_t i = 0; i < descs_.size(); ++i) {
      const ParamUIDesc& d = descs_[i];
      if (d.type != TYPE_COLORSWATCH || d.ctrlIDs[0] != id || !bound_[i].swatch || !ParamOk(pb, d)) continue;
      Color c = bound_[i].swatch->GetColorFloat();
      pb->SetValue(d.pbIndex, t, c);
      return;
    }
  }

  void WriteButton(int id, TimeValue t) {
    IParamBlock* pb = Block();
    for (const ParamUIDesc& d : descs_) {
      if (!ParamOk(pb, d)) continue;
      if (d.type == TYPE_SINGLECHEKBOX && d.ctrlIDs[0] == id) {
        pb->SetValue(d.pbIndex, t, IsDlgButtonChecked(hwnd_, id) == BST_CHECKED ? 1 : 0);
        return;
      }
      if (d.type == TYPE_RADIO)
        for (int k = 0; k < d.numRadio; ++k)
          if (d.radioIDs[k] == id && IsDlgButtonChecked(hwnd_, id) == BST_CHECKED) {
            pb->SetValue(d.pbIndex, t, d.radioVals[k]);
            return;
          }
    }
  }

  std::vector<ParamUIDesc> descs_;
  std::vector<Bound> bound_;
  Panel panel_;
  Watch watch_;
  HWND hwnd_ = nullptr;
  ParamMapUserDlgProc* user_ = nullptr;
  bool stale_ = false;
  TimeValue loadedAt_ = 0;
};

INT_PTR CALLBACK ParamMapProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  IParamMap* map;
  if (msg == WM_INITDIALOG) {
    map = reinterpret_cast<IParamMap*>(lParam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, lParam);
  } else {
    map = reinterpret_cast<IParamMap*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  }
  if (!map || !LiveMaps().count(map)) return FALSE;
  return static_cast<ParamMap*>(map)->Handle(hwnd, msg, wParam, lParam);
}

IParamMap* Create(ParamUIDesc* desc, int count, IParamBlock* pb, Panel panel, HINSTANCE instance, const char* tmpl,
                  const char* title, DWORD flags, int category) {
  if (count < 0 || (count > 0 && !desc) || (!panel.mtl && !panel.cp)) return nullptr;
  auto* map = new ParamMap(desc, count, panel);
  if (!map->Open(pb, instance, tmpl, title, flags, category)) {
    map->Destroy();
    return nullptr;
  }
  return map;
}

void Destroy(IParamMap* map) {
  if (map && LiveMaps().count(map)) static_cast<ParamMap*>(map)->Destroy();
}

}  // namespace

IParamMap* CreateMParamMap(ParamUIDesc* desc, int count, IParamBlock* pb, IMtlParams* ip, HINSTANCE instance,
                           const char* dlgTemplate, const char* title, DWORD flags, int category) {
  return Create(desc, count, pb, Panel{ip, nullptr}, instance, dlgTemplate, title, flags, category);
}

IParamMap* CreateCPParamMap(ParamUIDesc* desc, int count, IParamBlock* pb, Interface* ip, HINSTANCE instance,
                            const char* dlgTemplate, const char* title, DWORD flags, int category) {
  return Create(desc, count, pb, Panel{nullptr, ip}, instance, dlgTemplate, title, flags, category);
}

void DestroyMParamMap(IParamMap* map) { Destroy(map); }
void DestroyCPParamMap(IParamMap* map) { Destroy(map); }
