// The module table and the reader of compiled Windows resource files (.res).
//
// A .res file is a sequence of entries, each a header and its data, both
// aligned to 4 bytes:
//   DWORD dataSize, DWORD headerSize,
//   type and name (each 0xFFFF + a 16-bit number, or a NUL-ended UTF-16 text),
//   padding to 4, DWORD dataVersion, WORD memoryFlags, WORD language,
//   DWORD version, DWORD characteristics; then dataSize bytes of data.
// The first entry of a file is an empty one (type and name 0).
#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <mutex>

#include "hostside/module_table.h"
#include "hostutil.h"
#include "windows.h"

namespace {

uint16_t ReadU16(std::span<const uint8_t> b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
uint32_t ReadU32(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
size_t Align4(size_t v) { return (v + 3) & ~static_cast<size_t>(3); }

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Reads a type or name field at `at` inside `header`; advances `at`.
bool ReadResId(std::span<const uint8_t> header, size_t& at, ResId& out) {
  if (at + 2 > header.size()) return false;
  uint16_t first = ReadU16(header, at);
  if (first == 0xFFFF) {
    if (at + 4 > header.size()) return false;
    out = ResId::Num(ReadU16(header, at + 2));
    at += 4;
    return true;
  }
  std::string text;
  while (true) {
    if (at + 2 > header.size()) return false;
    uint16_t c = ReadU16(header, at);
    at += 2;
    if (c == 0) break;
    text.push_back(c < 0x100 ? static_cast<char>(c) : '?');
  }
  out = ResId::Name(std::move(text));
  return true;
}

struct ModuleRecord {
  std::string path;
  std::vector<ResEntry> resources;
  std::string resourceError;
  std::string note;
};

std::mutex& TableMutex() {
  static std::mutex m;
  return m;
}
std::map<HINSTANCE, ModuleRecord>& Table() {
  static std::map<HINSTANCE, ModuleRecord> t;
  return t;
}

}  // namespace

ResId ResId::Name(std::string s) { return ResId{false, 0, Upper(std::move(s))}; }

ResId ResId::From(LPCSTR p) {
  if (IS_INTRESOURCE(p)) return Num(static_cast<uint16_t>(reinterpret_cast<uintptr_t>(p)));
  if (p[0] == '#') return Num(static_cast<uint16_t>(std::atoi(p + 1)));
  return Name(p);
}

bool ResId::operator==(const ResId& o) const {
  return isNumber == o.isNumber && (isNumber ? number == o.number : text == o.text);
}

std::string ResId::ToString() const { return isNumber ? std::to_string(number) : "\"" + text + "\""; }

std::optional<std::vector<ResEntry>> HostParseResFile(std::span<const uint8_t> bytes, std::string* error) {
  auto fail = [&](size_t at, const char* what) -> std::optional<std::vector<ResEntry>> {
    if (error) *error = std::string(what) + " at byte " + std::to_string(at);
    return std::nullopt;
  };
  std::vector<ResEntry> out;
  size_t at = 0;
  while (at < bytes.size()) {
    if (bytes.size() - at < 8) return fail(at, "truncated resource header");
    uint32_t dataSize = ReadU32(bytes, at);
    uint32_t headerSize = ReadU32(bytes, at + 4);
    if (headerSize < 32 || headerSize > bytes.size() - at) return fail(at, "bad resource header size");
    if (dataSize > bytes.size() - at - headerSize) return fail(at, "resource data runs past the end");
    std::span<const uint8_t> header = bytes.subspan(at, headerSize);
    size_t h = 8;
    ResEntry e;
    if (!ReadResId(header, h, e.type) || !ReadResId(header, h, e.name)) return fail(at, "bad resource type or name");
    h = Align4(h);
    if (h + 16 > header.size()) return fail(at, "truncated resource header");
    e.language = ReadU16(header, h + 6);
    e.data = bytes.subspan(at + headerSize, dataSize);
    bool emptyLeader = e.type.isNumber && e.type.number == 0 && e.name.isNumber && e.name.number == 0;
    if (!emptyLeader) out.push_back(std::move(e));
    size_t next = Align4(at + headerSize + dataSize);
    at = next < bytes.size() ? next : bytes.size();
  }
  return out;
}

void HostRegisterModule(HINSTANCE instance, const char* path, const uint8_t* res, size_t resSize) {
  ModuleRecord rec;
  rec.path = path ? path : "";
  std::string error;
  auto parsed = HostParseResFile(std::span<const uint8_t>(res, resSize), &error);
  if (parsed)
    rec.resources = std::move(*parsed);
  else
    rec.resourceError = error;
  std::lock_guard lock(TableMutex());
  Table()[instance] = std::move(rec);
}

void HostUnregisterModule(HINSTANCE instance) {
  std::lock_guard lock(TableMutex());
  Table().erase(instance);
}

bool HostIsModuleLoaded(HINSTANCE instance) {
  std::lock_guard lock(TableMutex());
  return Table().count(instance) != 0;
}

std::string HostModulePath(HINSTANCE instance) {
  std::lock_guard lock(TableMutex());
  auto it = Table().find(instance);
  return it == Table().end() ? std::string() : it->second.path;
}

std::string HostModuleResourceError(HINSTANCE instance) {
  std::lock_guard lock(TableMutex());
  auto it = Table().find(instance);
  return it == Table().end() ? std::string("not a loaded module") : it->second.resourceError;
}

void SetModuleNote(HINSTANCE module, const char* text) {
  std::lock_guard lock(TableMutex());
  auto it = Table().find(module);
  if (it == Table().end()) return;
  // One line of plain text, whatever the module passed.
  std::string note = text ? text : "";
  note.resize(std::min<size_t>(note.size(), 200));
  for (char& c : note)
    if (std::iscntrl(static_cast<unsigned char>(c))) c = ' ';
  it->second.note = std::move(note);
}

std::string HostModuleNote(HINSTANCE instance) {
  std::lock_guard lock(TableMutex());
  auto it = Table().find(instance);
  return it == Table().end() ? std::string() : it->second.note;
}

std::span<const uint8_t> HostFindResource(HINSTANCE instance, const ResId& type, const ResId& name) {
  std::lock_guard lock(TableMutex());
  auto it = Table().find(instance);
  if (it == Table().end()) return {};
  for (const ResEntry& e : it->second.resources)
    if (e.type == type && e.name == name) return e.data;
  return {};
}

int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax) {
  if (!buffer || bufferMax <= 0) return 0;
  buffer[0] = 0;
  // Strings live in blocks of sixteen: block (id / 16) + 1, entry id % 16,
  // each entry a 16-bit length and that many UTF-16 units.
  if (id > 0xFFFFu) return 0;
  auto block = HostFindResource(instance, ResId::Num(6), ResId::Num(static_cast<uint16_t>((id >> 4) + 1)));
  if (block.empty()) return 0;
  size_t at = 0;
  for (UINT i = 0; i < (id & 15u); ++i) {
    if (at + 2 > block.size()) return 0;
    at += 2 + 2 * static_cast<size_t>(ReadU16(block, at));
  }
  if (at + 2 > block.size()) return 0;
  size_t n = ReadU16(block, at);
  at += 2;
  if (n > (block.size() - at) / 2) n = (block.size() - at) / 2;
  size_t copy = n < static_cast<size_t>(bufferMax - 1) ? n : static_cast<size_t>(bufferMax - 1);
  for (size_t i = 0; i < copy; ++i) {
    uint16_t c = ReadU16(block, at + 2 * i);
    buffer[i] = c < 0x100 ? static_cast<char>(c) : '?';
  }
  buffer[copy] = 0;
  return static_cast<int>(copy);
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR filename, DWORD size) {
  if (!filename || size == 0) return 0;
  std::string path = HostModulePath(module);
  if (path.empty()) {
    filename[0] = 0;
    return 0;
  }
  size_t copy = path.size() < size - 1 ? path.size() : size - 1;
  std::memcpy(filename, path.data(), copy);
  filename[copy] = 0;
  return static_cast<DWORD>(copy);
}
