#include "plugins/plugin_check.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <hostside/file_io.h>
#include <link.h>
#include <plugapi.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

namespace fs = std::filesystem;

namespace plughost {

namespace {

// ---- The image --------------------------------------------------------------

using Ehdr = ElfW(Ehdr);
using Phdr = ElfW(Phdr);
using Dyn = ElfW(Dyn);
using Sym = ElfW(Sym);
using Rela = ElfW(Rela);
using Rel = ElfW(Rel);
using Addr = ElfW(Addr);

#if defined(__x86_64__)
constexpr int kMachine = EM_X86_64;
constexpr uint64_t kRelativeType = R_X86_64_RELATIVE;
#elif defined(__aarch64__)
constexpr int kMachine = EM_AARCH64;
constexpr uint64_t kRelativeType = R_AARCH64_RELATIVE;
#elif defined(__i386__)
constexpr int kMachine = EM_386;
constexpr uint64_t kRelativeType = R_386_RELATIVE;
#else
#error "the machine of this host's plug-in files is not known"
#endif
constexpr unsigned char kClass = sizeof(Addr) == 8 ? ELFCLASS64 : ELFCLASS32;
constexpr unsigned char kData = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;

// Plug-in files are a few megabytes; a larger one is not read for checking.
constexpr uint64_t kMaxPluginFileBytes = 256ull << 20;

struct Segment {
  uint64_t vaddr, memsz, offset, filesz;
};

class Image {
 public:
  explicit Image(std::string bytes) : b_(std::move(bytes)) {}
  uint64_t Size() const { return b_.size(); }
  bool Has(uint64_t off, uint64_t len) const { return off <= b_.size() && len <= b_.size() - off; }
  template <typename T>
  T At(uint64_t off) const {
    T v;
    std::memcpy(&v, b_.data() + off, sizeof v);
    return v;
  }
  const char* Text(uint64_t off) const { return b_.data() + off; }

  // Where [addr, addr + len) of the loaded image comes from the file: false
  // when not wholly inside the file-backed part of one segment.
  bool FileOffset(uint64_t addr, uint64_t len, uint64_t* off) const {
    for (const Segment& s : loads) {
      if (addr < s.vaddr || addr - s.vaddr > s.filesz || len > s.filesz - (addr - s.vaddr)) continue;
      *off = s.offset + (addr - s.vaddr);
      return true;
    }
    return false;
  }
  // Whether an address lies inside the image in memory, or just past the end
  // of a segment (where an array's end points).
  bool Reaches(uint64_t addr) const {
    for (const Segment& s : loads) {
      if (addr >= s.vaddr && addr - s.vaddr <= s.memsz) return true;
    }
    return false;
  }
  // Whether [addr, addr + len) lies inside one segment in memory.
  bool InMemory(uint64_t addr, uint64_t len) const {
    for (const Segment& s : loads) {
      if (addr >= s.vaddr && addr - s.vaddr <= s.memsz && len <= s.memsz - (addr - s.vaddr)) return true;
    }
    return false;
  }

  std::vector<Segment> loads;

 private:
  std::string b_;
};

std::string Damaged(const std::string& what) { return "damaged ELF image: " + what; }

std::string CheckHeaders(Image& img, Phdr* dynamic) {
  if (!img.Has(0, sizeof(Ehdr))) return "not an ELF image (" + std::to_string(img.Size()) + " bytes)";
  Ehdr eh = img.At<Ehdr>(0);
  if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0) return "not an ELF image";
  if (eh.e_ident[EI_CLASS] != kClass || eh.e_ident[EI_DATA] != kData || eh.e_ident[EI_VERSION] != EV_CURRENT ||
      eh.e_machine != kMachine)
    return "an ELF image for another kind of machine";
  if (eh.e_type != ET_DYN) return "an ELF image that is not a shared object";
  if (eh.e_ehsize != sizeof(Ehdr) || eh.e_phentsize != sizeof(Phdr) || eh.e_phnum == 0 || eh.e_phnum == PN_XNUM)
    return Damaged("bad file header");
  if (!img.Has(eh.e_phoff, uint64_t{eh.e_phnum} * sizeof(Phdr)))
    return Damaged("its program headers lie past the end of the file");
  bool hasDynamic = false;
  for (uint64_t i = 0; i < eh.e_phnum; ++i) {
    Phdr ph = img.At<Phdr>(eh.e_phoff + i * sizeof(Phdr));
    std::string which = "segment " + std::to_string(i);
    if (ph.p_type == PT_DYNAMIC) {
      *dynamic = ph;
      hasDynamic = true;
    }
    if (ph.p_type != PT_LOAD) continue;
    if (!img.Has(ph.p_offset, ph.p_filesz)) {
      return Damaged("loaded " + which + " (bytes " + std::to_string(ph.p_offset) + " to " +
                     std::to_string(ph.p_offset + ph.p_filesz) + ") runs past the end of the file (" +
                     std::to_string(img.Size()) + " bytes): it may be cut short");
    }
    if (ph.p_filesz > ph.p_memsz || ph.p_vaddr + ph.p_memsz < ph.p_vaddr)
      return Damaged(which + " has impossible sizes");
    if (ph.p_align > 1 && ((ph.p_align & (ph.p_align - 1)) != 0 || ph.p_offset % ph.p_align != ph.p_vaddr % ph.p_align))
      return Damaged(which + " is misaligned");
    img.loads.push_back({ph.p_vaddr, ph.p_memsz, ph.p_offset, ph.p_filesz});
  }
  if (img.loads.empty()) return Damaged("nothing is loaded from it");
  if (!hasDynamic) return "an ELF image with no dynamic section, not a shared object";
  return {};
}

// The number of dynamic symbols, from the GNU hash table: the highest symbol
// any bucket's chain reaches, plus one.
bool GnuHashSymbolCount(const Image& img, uint64_t addr, uint64_t* count) {
  uint64_t at = 0;
  if (!img.FileOffset(addr, 16, &at)) return false;
  uint32_t nbuckets = img.At<uint32_t>(at), symoffset = img.At<uint32_t>(at + 4);
  uint32_t bloomWords = img.At<uint32_t>(at + 8);
  uint64_t buckets = 16 + uint64_t{bloomWords} * sizeof(Addr);
  uint64_t tableBytes = buckets + uint64_t{nbuckets} * 4;
  if (!img.FileOffset(addr, tableBytes, &at)) return false;
  uint32_t highest = 0;
  for (uint32_t b = 0; b < nbuckets; ++b) highest = std::max(highest, img.At<uint32_t>(at + buckets + b * 4ull));
  if (highest == 0) {
    *count = symoffset;
    return true;
  }
  if (highest < symoffset) return false;
  for (uint64_t sym = highest;; ++sym) {
    uint64_t chain = 0;
    if (!img.FileOffset(addr + tableBytes + (sym - symoffset) * 4, 4, &chain)) return false;
    if (img.At<uint32_t>(chain) & 1) {
      *count = sym + 1;
      return true;
    }
  }
}

// The dynamic section's entries: the first value of each tag, and the
// string-table offsets of the names it gives (needed libraries, search paths).
struct DynamicTags {
  std::map<int64_t, uint64_t> tag;
  std::vector<uint64_t> names;
  bool Has(int64_t t) const { return tag.count(t) != 0; }
  uint64_t Val(int64_t t) const { return Has(t) ? tag.at(t) : 0; }
};

std::string ReadDynamicTags(const Image& img, const Phdr& dynamic, DynamicTags* d) {
  uint64_t at = 0;
  if (!img.Has(dynamic.p_offset, dynamic.p_filesz) || !img.FileOffset(dynamic.p_vaddr, dynamic.p_filesz, &at))
    return Damaged("its dynamic section lies outside the loaded image");
  for (uint64_t k = 0; k < dynamic.p_filesz / sizeof(Dyn); ++k) {
    Dyn e = img.At<Dyn>(at + k * sizeof(Dyn));
    if (e.d_tag == DT_NULL) return {};
    d->tag.emplace(e.d_tag, e.d_un.d_val);
    if (e.d_tag == DT_NEEDED || e.d_tag == DT_SONAME || e.d_tag == DT_RPATH || e.d_tag == DT_RUNPATH)
      d->names.push_back(e.d_un.d_val);
  }
  return Damaged("its dynamic section has no end");
}

// The tables the loader reads whole, and the addresses it follows, inside
// the image; entry sizes this machine's.
std::string CheckDynamicTables(const Image& img, const DynamicTags& d) {
  struct Table {
    int64_t addr, size;
    const char* what;
  };
  const Table tables[] = {{DT_STRTAB, DT_STRSZ, "string table"},
                          {DT_RELA, DT_RELASZ, "relocations"},
                          {DT_REL, DT_RELSZ, "relocations"},
                          {DT_JMPREL, DT_PLTRELSZ, "relocations"},
                          {DT_INIT_ARRAY, DT_INIT_ARRAYSZ, "start-up"},
                          {DT_FINI_ARRAY, DT_FINI_ARRAYSZ, "shut-down"}};
  for (const Table& t : tables) {
    uint64_t off = 0;
    if (d.Has(t.addr) && !img.FileOffset(d.Val(t.addr), d.Val(t.size), &off))
      return Damaged(std::string("its ") + t.what + " lie outside the loaded image");
  }
  for (int64_t t : {DT_SYMTAB, DT_HASH, DT_GNU_HASH, DT_VERSYM, DT_VERNEED, DT_VERDEF, DT_INIT, DT_FINI, DT_PLTGOT}) {
    if (d.Has(t) && !img.InMemory(d.Val(t), 1))
      return Damaged("an address of its dynamic section lies outside the image");
  }
  if (!d.Has(DT_STRTAB) || !d.Has(DT_SYMTAB)) return Damaged("it has no dynamic symbols");
  if ((d.Has(DT_SYMENT) && d.Val(DT_SYMENT) != sizeof(Sym)) ||
      (d.Has(DT_RELAENT) && d.Val(DT_RELAENT) != sizeof(Rela)) ||
      (d.Has(DT_RELENT) && d.Val(DT_RELENT) != sizeof(Rel)) ||
      (d.Has(DT_PLTREL) && d.Val(DT_PLTREL) != DT_RELA && d.Val(DT_PLTREL) != DT_REL))
    return Damaged("its dynamic section gives impossible entry sizes");
  return {};
}

// The symbols the loader reads (those the hash table chains, and those
// relocations name), each whole inside the file with its name inside the
// string table; the names of the dynamic section there too.
class SymbolCheck {
 public:
  SymbolCheck(const Image& img, const DynamicTags& d) : img_(img), d_(d), strsz_(d.Val(DT_STRSZ)) {
    img.FileOffset(d.Val(DT_STRTAB), strsz_, &strtab_);
  }

  bool NameInside(uint64_t name) const {
    return name < strsz_ && std::memchr(img_.Text(strtab_ + name), 0, strsz_ - name);
  }

  std::string Symbol(uint64_t k) const {
    uint64_t entry = 0;
    if (!img_.FileOffset(d_.Val(DT_SYMTAB) + k * sizeof(Sym), sizeof(Sym), &entry))
      return Damaged("symbol " + std::to_string(k) + " lies outside the loaded image");
    if (!NameInside(img_.At<Sym>(entry).st_name))
      return Damaged("symbol " + std::to_string(k) + " has its name outside the string table");
    return {};
  }

  std::string Hashed() const {
    uint64_t hashed = 0;
    if (d_.Has(DT_GNU_HASH)) {
      if (!GnuHashSymbolCount(img_, d_.Val(DT_GNU_HASH), &hashed)) return Damaged("its symbol hash table is broken");
    } else if (d_.Has(DT_HASH)) {
      uint64_t hash = 0;
      if (!img_.FileOffset(d_.Val(DT_HASH), 8, &hash)) return Damaged("its symbol hash table is broken");
      hashed = img_.At<uint32_t>(hash + 4);
    }
    for (uint64_t k = 0; k < hashed; ++k) {
      std::string problem = Symbol(k);
      if (!problem.empty()) return problem;
    }
    return {};
  }

  // Every relocation of a table writes inside the image, a relative one
  // points inside it, and the symbol it names is sound.
  std::string Relocations(int64_t addrTag, int64_t sizeTag, bool withAddend) const {
    if (!d_.Has(addrTag)) return {};
    uint64_t off = 0, entry = withAddend ? sizeof(Rela) : sizeof(Rel);
    img_.FileOffset(d_.Val(addrTag), d_.Val(sizeTag), &off);
    for (uint64_t k = 0; k < d_.Val(sizeTag) / entry; ++k) {
      Addr where = withAddend ? img_.At<Rela>(off + k * entry).r_offset : img_.At<Rel>(off + k * entry).r_offset;
      uint64_t info = withAddend ? img_.At<Rela>(off + k * entry).r_info : img_.At<Rel>(off + k * entry).r_info;
      uint64_t sym = sizeof(Addr) == 8 ? ELF64_R_SYM(info) : ELF32_R_SYM(info);
      uint64_t type = sizeof(Addr) == 8 ? ELF64_R_TYPE(info) : ELF32_R_TYPE(info);
      if (!img_.InMemory(where, sizeof(Addr)))
        return Damaged("relocation " + std::to_string(k) + " would write outside the image");
      // An address inside the image, relative to where it is loaded.
      if (withAddend && type == kRelativeType &&
          !img_.Reaches(static_cast<uint64_t>(img_.At<Rela>(off + k * entry).r_addend)))
        return Damaged("relocation " + std::to_string(k) + " points outside the image");
      std::string problem = sym == 0 ? std::string() : Symbol(sym);
      if (!problem.empty()) return problem;
    }
    return {};
  }

 private:
  const Image& img_;
  const DynamicTags& d_;
  uint64_t strtab_ = 0, strsz_;
};

std::string CheckDynamic(const Image& img, const Phdr& dynamic) {
  DynamicTags d;
  std::string problem = ReadDynamicTags(img, dynamic, &d);
  if (problem.empty()) problem = CheckDynamicTables(img, d);
  if (!problem.empty()) return problem;
  SymbolCheck symbols(img, d);
  for (uint64_t n : d.names)
    if (!symbols.NameInside(n)) return Damaged("a library name of its dynamic section lies outside its string table");
  problem = symbols.Hashed();
  if (problem.empty()) problem = symbols.Relocations(DT_RELA, DT_RELASZ, true);
  if (problem.empty()) problem = symbols.Relocations(DT_REL, DT_RELSZ, false);
  if (problem.empty()) problem = symbols.Relocations(DT_JMPREL, DT_PLTRELSZ, d.Val(DT_PLTREL) != DT_REL);
  return problem;
}

// ---- The child --------------------------------------------------------------

// What the host asks of every file it loads, asked first in the child: a
// pointer a damaged relocation made wild shows there.
void AskEntryPoints(void* handle) {
  auto version = reinterpret_cast<LibVersionFn>(::dlsym(handle, "LibVersion"));
  auto description = reinterpret_cast<LibDescriptionFn>(::dlsym(handle, "LibDescription"));
  auto number = reinterpret_cast<LibNumberClassesFn>(::dlsym(handle, "LibNumberClasses"));
  auto classDesc = reinterpret_cast<LibClassDescFn>(::dlsym(handle, "LibClassDesc"));
  if (!version || !description || !number || !classDesc) return;  // the host refuses it with the reason
  (void)version();
  const char* text = description();
  if (text) (void)std::strlen(text);
  int count = number();
  for (int i = 0; i < count && i < 4096; ++i) {
    ClassDesc* d = classDesc(i);
    if (!d) continue;
    for (const char* t : {d->ClassName(), d->Category(), d->InternalName()})
      if (t) (void)std::strlen(t);
    (void)d->ClassID();
    (void)d->SuperClassID();
    (void)d->IsPublic();
  }
}

// A file whose loading takes longer than this is taken to hang.
constexpr auto kProbeLimit = std::chrono::seconds(30);

}  // namespace

std::string ElfImageProblem(const fs::path& file) {
  std::string bytes, why;
  if (!HostReadRegularFile(file, kMaxPluginFileBytes, &bytes, &why)) return why;
  Image img(std::move(bytes));
  Phdr dynamic{};
  std::string problem = CheckHeaders(img, &dynamic);
  return problem.empty() ? CheckDynamic(img, dynamic) : problem;
}

// What the child says before it unloads the module, so that a failure then
// is told from one while it loads.
constexpr const char* kUnloading = "\x01unloading";

std::string ProbeLoadInChild(const fs::path& file) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return std::string("cannot check it: ") + std::strerror(errno);
  std::fflush(nullptr);  // nothing buffered is written twice
  pid_t pid = ::fork();
  if (pid < 0) {
    int e = errno;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    return std::string("cannot check it: ") + std::strerror(e);
  }
  if (pid == 0) {
    ::close(pipeFds[0]);
    // What the module says while it starts is said once, by the real load.
    int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (quiet >= 0) {
      ::dup2(quiet, STDOUT_FILENO);
      ::dup2(quiet, STDERR_FILENO);
    }
    void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      const char* e = ::dlerror();
      if (e) (void)!::write(pipeFds[1], e, std::strlen(e));
      ::_exit(1);
    }
    AskEntryPoints(handle);
    // Unloading runs the module's own clean-up, which every command runs at
    // exit: one that hangs or crashes there is caught here too.
    (void)!::write(pipeFds[1], kUnloading, std::strlen(kUnloading));
    ::dlclose(handle);
    ::_exit(0);  // no exit handlers, no flushing: the child leaves no trace
  }
  ::close(pipeFds[1]);
  std::string message;
  auto deadline = std::chrono::steady_clock::now() + kProbeLimit;
  bool hung = false;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{pipeFds[0], POLLIN, 0};
    int ready = left.count() > 0 ? ::poll(&p, 1, static_cast<int>(left.count())) : 0;
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      hung = ready == 0;
      break;
    }
    char buf[512];
    ssize_t n = ::read(pipeFds[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (message.size() < 4096) message.append(buf, static_cast<size_t>(n));
  }
  ::close(pipeFds[0]);
  if (hung) ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  bool unloading = message == kUnloading;
  const char* step = unloading ? "unloading" : "loading";
  if (hung) return std::string(step) + " it did not finish within " + std::to_string(kProbeLimit.count()) + " seconds";
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  if (WIFSIGNALED(status)) return std::string(step) + " it crashed the loader (" + ::strsignal(WTERMSIG(status)) + ")";
  return message.empty() || unloading ? std::string("the loader refused it") : message;
}

}  // namespace plughost
