// A plug-in file of plughost's own tests, so that the command line is tested
// on classes whose every detail the tests know: "Host Test Widget" with a
// block of each parameter type (the offset not animatable), a "Host Test
// Part" that the widget makes and shows as its sub-anim "Part", an empty
// "Extra" slot, a "Host Test Plain" that does not name its parameters, and a
// utility, which no scene can hold.
//
// Built as it should be; with TEST_PLUGIN_API set to another host API number;
// with TEST_PLUGIN_NO_ENTRY, without the entry points; with
// TEST_PLUGIN_CRASH_AT_UNLOAD, crashing when it is unloaded; and with
// TEST_PLUGIN_RESOURCES as a module with a string table, whose build writes
// a parameter-name table for the plain class (twice: the second time with
// TEST_PLUGIN_MOVED, see test_plugin_ids.h).
#include <iparamb.h>
#include <plugapi.h>
#include <utilapi.h>

#include <iterator>

#include "test_plugin_ids.h"

#ifndef TEST_PLUGIN_API
#define TEST_PLUGIN_API MAX_API_NUM
#endif

#define TEST_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr Class_ID kWidgetId(0x5EC0AB01, 0x1);
constexpr Class_ID kPartId(0x5EC0AB01, 0x2);
constexpr Class_ID kToolId(0x5EC0AB01, 0x3);
constexpr int kPlainRefs = 3;

ParamBlockDescID widgetParams[] = {{TYPE_FLOAT, nullptr, TRUE, 0},
                                   {TYPE_INT, nullptr, TRUE, 1},
                                   {TYPE_BOOL, nullptr, TRUE, 2},
                                   {TYPE_RGBA, nullptr, TRUE, 3},
                                   {TYPE_POINT3, nullptr, FALSE, 4}};
const char* const widgetNames[] = {"Size", "Count", "Enabled", "Tint", "Offset"};
ParamBlockDescID partParams[] = {{TYPE_FLOAT, nullptr, TRUE, 0}};
ParamBlockDescID plainParams[] = {{TYPE_FLOAT, nullptr, TRUE, PLAIN_SIZE}, {TYPE_INT, nullptr, TRUE, PLAIN_COUNT}};

// An object whose reference 0 is its parameter block, named by `names`.
class Named : public ReferenceTarget {
 public:
  RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID& part, RefMessage message) override {
    if (message != REFMSG_GET_PARAM_NAME) return REF_SUCCEED;
    auto* query = reinterpret_cast<GetParamName*>(part);
    if (query->index >= 0 && query->index < count_) query->name = names_[query->index];
    return REF_STOP;
  }

 protected:
  Named(const char* const* names, int count) : names_(names), count_(count) {}

 private:
  const char* const* names_;
  int count_;
};

class Part : public Named {
 public:
  static const char* const kNames[];
  Part() : Named(kNames, 1) {
    ReplaceReference(0, CreateParameterBlock(partParams, 1, 1));
    block_->SetValue(0, 0, 0.75f);
  }
  Class_ID ClassID() override { return kPartId; }
  SClass_ID SuperClassID() override { return REF_TARGET_CLASS_ID; }
  int NumSubs() override { return 1; }
  Animatable* SubAnim(int i) override { return i == 0 ? block_ : nullptr; }
  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int i) override { return i == 0 ? block_ : nullptr; }
  void SetReference(int i, RefTargetHandle t) override {
    if (i == 0) block_ = static_cast<IParamBlock*>(t);
  }

 private:
  IParamBlock* block_ = nullptr;
};
const char* const Part::kNames[] = {"Strength"};

class Widget : public Named {
 public:
  Widget() : Named(widgetNames, 5) {
    ReplaceReference(0, CreateParameterBlock(widgetParams, 5, 1));
    block_->SetValue(0, 0, 1.0f);
    block_->SetValue(1, 0, 3);
    block_->SetValue(2, 0, 1);
    Color tint(1.0f, 0.5f, 0.25f);
    block_->SetValue(3, 0, tint);
    ReplaceReference(1, new Part);
  }
  Class_ID ClassID() override { return kWidgetId; }
  SClass_ID SuperClassID() override { return REF_TARGET_CLASS_ID; }
  int NumSubs() override { return 3; }
  Animatable* SubAnim(int i) override { return GetReference(i); }
  CStr SubAnimName(int i) override { return i == 0 ? "Parameters" : i == 1 ? "Part" : "Extra"; }
  int NumRefs() override { return 3; }
  RefTargetHandle GetReference(int i) override { return i >= 0 && i < 3 ? refs_[i] : nullptr; }
  void SetReference(int i, RefTargetHandle t) override {
    if (i < 0 || i >= 3) return;
    refs_[i] = t;
    if (i == 0) block_ = static_cast<IParamBlock*>(t);
  }

 private:
  RefTargetHandle refs_[3] = {nullptr, nullptr, nullptr};
  IParamBlock* block_ = nullptr;
};

// Its block, at reference PLAIN_BLOCK_REF, answers no name query.
class Plain : public ReferenceTarget {
 public:
  Plain() {
    ReplaceReference(PLAIN_BLOCK_REF, CreateParameterBlock(plainParams, 2, 1));
    Block()->SetValue(PLAIN_SIZE, 0, 0.5f);
    Block()->SetValue(PLAIN_COUNT, 0, 2);
  }
  Class_ID ClassID() override { return PLAIN_CLASS_ID; }
  SClass_ID SuperClassID() override { return REF_TARGET_CLASS_ID; }
  int NumSubs() override { return 1; }
  Animatable* SubAnim(int i) override { return i == 0 ? Block() : nullptr; }
  int NumRefs() override { return kPlainRefs; }
  RefTargetHandle GetReference(int i) override { return i >= 0 && i < kPlainRefs ? refs_[i] : nullptr; }
  void SetReference(int i, RefTargetHandle t) override {
    if (i >= 0 && i < kPlainRefs) refs_[i] = t;
  }
  RefResult NotifyRefChanged(Interval, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }

 private:
  IParamBlock* Block() { return static_cast<IParamBlock*>(refs_[PLAIN_BLOCK_REF]); }
  RefTargetHandle refs_[kPlainRefs] = {nullptr, nullptr, nullptr};
};

class Tool : public UtilityObj {
 public:
  void BeginEditParams(Interface*, IUtil*) override {}
  void EndEditParams(Interface*, IUtil*) override {}
  void DeleteThis() override {}
} tool;

// One descriptor class for the four: what each lists, and how it makes its object.
class Desc : public ClassDesc {
 public:
  Desc(const char* name, SClass_ID super, Class_ID id, int isPublic, void* (*make)())
      : name_(name), super_(super), id_(id), public_(isPublic), make_(make) {}
  int IsPublic() override { return public_; }
  void* Create(BOOL) override { return make_(); }
  const char* ClassName() override { return name_; }
  SClass_ID SuperClassID() override { return super_; }
  Class_ID ClassID() override { return id_; }
  const char* Category() override { return "Host Tests"; }

 private:
  const char* name_;
  SClass_ID super_;
  Class_ID id_;
  int public_;
  void* (*make_)();
};

Desc descs[] = {
    {"Host Test Widget", REF_TARGET_CLASS_ID, kWidgetId, 1, [] { return static_cast<void*>(new Widget); }},
    {"Host Test Part", REF_TARGET_CLASS_ID, kPartId, 0, [] { return static_cast<void*>(new Part); }},
    {"Host Test Tool", UTILITY_CLASS_ID, kToolId, 1, [] { return static_cast<void*>(&tool); }},
    {"Host Test Plain", REF_TARGET_CLASS_ID, PLAIN_CLASS_ID, 1, [] { return static_cast<void*>(new Plain); }},
};
constexpr int kClasses = static_cast<int>(std::size(descs));

}  // namespace

#ifdef TEST_PLUGIN_RESOURCES
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif

#ifdef TEST_PLUGIN_CRASH_AT_UNLOAD
namespace {
// A clean-up that crashes, as a module's static destructors may at exit.
struct CrashAtUnload {
  ~CrashAtUnload() { __builtin_trap(); }
} crashAtUnload;
}  // namespace
#endif

#ifndef TEST_PLUGIN_NO_ENTRY
TEST_PLUGIN_EXPORT const char* LibDescription() { return "plughost test classes"; }
TEST_PLUGIN_EXPORT int LibNumberClasses() { return kClasses; }
TEST_PLUGIN_EXPORT ClassDesc* LibClassDesc(int i) { return i >= 0 && i < kClasses ? &descs[i] : nullptr; }
TEST_PLUGIN_EXPORT unsigned long LibVersion() { return (MAX_RELEASE << 16) + (TEST_PLUGIN_API << 8); }
#endif
