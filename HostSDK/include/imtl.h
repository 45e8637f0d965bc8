// Materials and texture maps (the texture issue fills this in).
#pragma once

#include "ref.h"
#include "windows.h"

class IMtlParams;  // the material editor's interface (dialogs issue)

// A material-editor dialog of a material or map (dialogs issue).
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
