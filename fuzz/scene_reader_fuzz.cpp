// Scene files: any text either loads or is refused with one line naming the
// place; a scene that loads saves, and what it saves loads again.
#include <hostside/class_registry.h>
#include <hostside/png_image.h>
#include <hostside/scene_file.h>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  HostRegisterBuiltinClasses();
  HostSetPixelBudget(1 << 20);  // a bitmap map's file, should a text name one
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  std::unique_ptr<Scene> scene = HostReadScene(text, "fuzz.json", &error);
  if (!scene) {
    if (error.rfind("fuzz.json: ", 0) != 0 || error.find('\n') != std::string::npos) std::abort();
    return 0;
  }
  std::string saved;
  if (!HostWriteScene(*scene, &saved, &error)) return 0;          // a scene past the limits is not written
  if (!HostReadScene(saved, "saved.json", &error)) std::abort();  // what the host writes, it reads
  return 0;
}
