// The maker's class-descriptor bases: a plug-in's descriptor also tells the
// About panel its version, build text, host version and rights notice.
#pragma once

#include <max.h>

// The four About operations, in this order.
class AboutInfo {
 public:
  virtual ~AboutInfo() = default;
  virtual float PluginVersion() = 0;
  // Returned by value: the caller owns the text.
  virtual CStr BuildDate() = 0;
  // Encoded like LibVersion: host release x 1000 in the upper 16 bits.
  virtual int MaxVersion() = 0;
  virtual CStr RightsNotice() = 0;
};

class QuorlClassDesc : public ClassDesc {
 public:
  virtual float PluginVersion() = 0;
  virtual CStr BuildDate() = 0;
  virtual int MaxVersion() = 0;
  virtual CStr RightsNotice() = 0;
};

class QuorlClassDesc2 : public ClassDesc2, public AboutInfo {};
