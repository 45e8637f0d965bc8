// Decoded pictures shared by path and by content, held to the pixel budget
// together (hostside/picture_cache.h).
#include "hostside/picture_cache.h"

#include <functional>
#include <mutex>
#include <set>
#include <string_view>
#include <vector>

#include "hostside/file_io.h"
#include "hostside/picture_io.h"

namespace {

struct Entry {
  std::weak_ptr<const HostPicture> picture;
  std::string path;
  HostFileIdentity identity;  // of the file as it was read
  size_t hash;                // of its bytes
};

// A shared_ptr must never be released while the mutex is held: the last one
// runs the deleter, which takes it.
struct Cache {
  std::mutex mutex;
  std::vector<Entry> entries;
  uint64_t held = 0;
  uint64_t decodes = 0;
};

// Never destroyed: a picture may be released by an object destroyed after
// this file's statics.
Cache& TheCache() {
  static Cache* cache = new Cache;
  return *cache;
}

void Release(const HostPicture* picture, uint64_t charge) {
  Cache& c = TheCache();
  {
    std::lock_guard lock(c.mutex);
    c.held -= charge;
    std::erase_if(c.entries, [](const Entry& e) { return e.picture.expired(); });
  }
  delete picture;
}

// The live picture of a file read before with the same bytes as `bytes`, or
// null. The file it was read from must still hold them: a hash alone could
// match another file's.
std::shared_ptr<const HostPicture> SameContent(const std::string& bytes, size_t hash) {
  Cache& c = TheCache();
  std::vector<std::pair<std::shared_ptr<const HostPicture>, Entry>> candidates;
  {
    std::lock_guard lock(c.mutex);
    for (const Entry& e : c.entries) {
      if (e.hash != hash || e.identity.size != bytes.size()) continue;
      if (auto p = e.picture.lock()) candidates.emplace_back(std::move(p), e);
    }
  }
  for (auto& [picture, e] : candidates) {
    std::string other, why;
    HostFileIdentity now;
    if (HostReadRegularFile(e.path, bytes.size(), &other, &why, &now) && now == e.identity && other == bytes)
      return picture;
  }
  return nullptr;
}

}  // namespace

std::shared_ptr<const HostPicture> HostSharedPicture(const std::string& path, std::string* error) {
  Cache& c = TheCache();
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return nullptr;
  };
  std::string why;
  HostFileIdentity identity;
  if (!HostIdentifyRegularFile(path, &identity, &why)) return fail(path + ": " + why);
  {
    std::lock_guard lock(c.mutex);
    for (const Entry& e : c.entries)
      if (e.identity == identity)
        if (auto p = e.picture.lock()) return p;
  }
  std::string bytes;
  if (!HostReadRegularFile(path, kMaxPictureFileBytes, &bytes, &why, &identity)) return fail(path + ": " + why);
  size_t hash = std::hash<std::string_view>{}(bytes);
  std::shared_ptr<const HostPicture> picture = SameContent(bytes, hash);
  if (!picture) {
    uint64_t charge = 0;
    auto admit = [&](int width, int height, int channels, std::string* refusal) {
      std::lock_guard lock(c.mutex);
      uint64_t budget = HostPixelBudget(), want = HostPictureCharge(width, height, channels);
      if (want > budget || c.held > budget - want) {
        *refusal = HostOverBudget(width, height, channels, budget, c.held);
        return false;
      }
      c.held += want;
      charge = want;
      return true;
    };
    HostPictureReadOptions options;
    options.mapChannels = true;
    auto decoded = std::make_unique<HostPicture>();
    if (!HostDecodePicture(bytes.data(), bytes.size(), path, decoded.get(), &why, options, admit)) {
      std::lock_guard lock(c.mutex);
      c.held -= charge;
      return fail(why);
    }
    picture =
        std::shared_ptr<const HostPicture>(decoded.release(), [charge](const HostPicture* p) { Release(p, charge); });
    std::lock_guard lock(c.mutex);
    ++c.decodes;
  }
  std::lock_guard lock(c.mutex);
  c.entries.push_back({picture, path, identity, hash});
  return picture;
}

HostPictureCacheUse HostPictureCacheNow() {
  Cache& c = TheCache();
  std::lock_guard lock(c.mutex);
  std::set<std::weak_ptr<const HostPicture>, std::owner_less<>> live;
  for (const Entry& e : c.entries)
    if (!e.picture.expired()) live.insert(e.picture);
  return {live.size(), c.held, c.decodes};
}
