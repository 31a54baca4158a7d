// The readers of outside bytes on their worst inputs: how much memory one
// read allocates at its peak and how long it takes, against the bounds the
// readers state. A 64 KiB input may make a reader allocate about 17 MiB
// (the binary reader's budget: 256 bytes per input byte + 1 MiB) and take
// about 100 ms on one core. Both bounds are scaled to an input's size: the
// memory one as the binary reader's budget, the time one per input byte
// plus the slack of 1 KiB of input (1.6 ms).
//
//   build/bench/bench_hostile_inputs [folders...]
//
// With VOZI_HOSTILE_KEEP=<corpus root> (e.g. fuzz/corpus), the built cases
// that pass a bound are written to <root>/<fuzz target>/ for the fuzz
// targets to replay.
//
// Two sets of inputs:
// - every regular file of the folders given (and of those listed, separated
//   by ':', in VOZI_HOSTILE_CORPORA): fuzz corpora. The folder's path names
//   the fuzz target, which says how its inputs are read (binary_plist,
//   xml_plist, record_archive, record_roundtrip; any other folder: every
//   file through the binary reader, both XML modes and the group decoder).
//   The worst inputs by time and by peak memory are listed per folder.
// - cases of 64 KiB built here to sit at the edges of the readers' limits:
//   expansion of shared objects right under the budget, nesting at the
//   depth limit, the most objects or elements that fit, shared record
//   groups right under the record budget.
//
// Memory is counted by replacing the global operator new and delete of this
// executable and by handing libxml2 counting allocation functions: the bytes
// live now and their peak since a reset, taken just before each read. Time
// is the median of a few reads of the same input. Plain main, no Google
// Benchmark loop: each input is read a fixed number of times.

#include <libxml/xmlmemory.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "RecordDecoders.h"
#include "common/FileItem.h"
#include "common/ItemGroup.h"
#include "common/ModelItemArray.h"
#include "common/RecordArchive.h"
#include "platform/BinaryPropertyListReader.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/PropertyList.h"
#include "platform/XmlPropertyListReader.h"

using namespace vozi;
using platform::BinaryPropertyListReader;
using platform::PropertyList;
using platform::XmlPropertyListReader;

// --- Allocation counting ------------------------------------------------------

namespace {

std::atomic<std::uint64_t> gLive{0};
std::atomic<std::uint64_t> gPeak{0};

void noteAllocated(void* p) {
  if (!p) return;
  const std::uint64_t now = gLive.fetch_add(malloc_usable_size(p), std::memory_order_relaxed) + malloc_usable_size(p);
  std::uint64_t peak = gPeak.load(std::memory_order_relaxed);
  while (now > peak && !gPeak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
  }
}

void noteFreed(void* p) {
  if (p) gLive.fetch_sub(malloc_usable_size(p), std::memory_order_relaxed);
}

void* countedMalloc(std::size_t size) {
  void* p = std::malloc(size ? size : 1);
  noteAllocated(p);
  return p;
}

void countedFree(void* p) {
  noteFreed(p);
  std::free(p);
}

void* countedRealloc(void* p, std::size_t size) {
  noteFreed(p);
  void* moved = std::realloc(p, size ? size : 1);
  noteAllocated(moved ? moved : p);  // a failed realloc leaves the block where it was
  return moved;
}

char* countedStrdup(const char* text) {
  const std::size_t length = std::char_traits<char>::length(text) + 1;
  auto* copy = static_cast<char*>(countedMalloc(length));
  if (copy) std::copy(text, text + length, copy);
  return copy;
}

void* countedNew(std::size_t size) {
  void* p = countedMalloc(size);
  if (!p) throw std::bad_alloc();
  return p;
}

void* countedNewAligned(std::size_t size, std::align_val_t align) {
  const auto alignment = static_cast<std::size_t>(align);
  void* p = std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
  if (!p) throw std::bad_alloc();
  noteAllocated(p);
  return p;
}

}  // namespace

void* operator new(std::size_t size) { return countedNew(size); }
void* operator new[](std::size_t size) { return countedNew(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return countedMalloc(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return countedMalloc(size); }
void* operator new(std::size_t size, std::align_val_t align) { return countedNewAligned(size, align); }
void* operator new[](std::size_t size, std::align_val_t align) { return countedNewAligned(size, align); }
void operator delete(void* p) noexcept { countedFree(p); }
void operator delete[](void* p) noexcept { countedFree(p); }
void operator delete(void* p, std::size_t) noexcept { countedFree(p); }
void operator delete[](void* p, std::size_t) noexcept { countedFree(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { countedFree(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { countedFree(p); }
void operator delete(void* p, std::align_val_t) noexcept { countedFree(p); }
void operator delete[](void* p, std::align_val_t) noexcept { countedFree(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { countedFree(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { countedFree(p); }

namespace {

// --- Bounds ---------------------------------------------------------------------

constexpr std::uint64_t kKiB = 1024;
constexpr std::uint64_t kMiB = kKiB * kKiB;
constexpr std::size_t kCaseSize = 64 * kKiB;
constexpr double kSecondsPer64KiB = 0.100;

std::uint64_t memoryBound(std::size_t inputSize) { return BinaryPropertyListReader::budgetFor(inputSize); }

double timeBound(std::size_t inputSize) {
  return kSecondsPer64KiB * static_cast<double>(inputSize + kKiB) / static_cast<double>(kCaseSize);
}

// --- Readers --------------------------------------------------------------------

constexpr const char* kDecoderNames[fuzz::kRecordDecoderCount] = {
    "groups",          "IModelItem, tree", "ItemGroup, tree", "ItemGroup",        "ItemGroupHistory",
    "Preferences",     "TrackingData",     "AppState",        "Event",            "UserData"};

// One way of reading bytes: returns whether the reader took them.
struct Reader {
  std::string name;
  std::function<bool()> read;
};

Reader binaryReader(std::string_view bytes) {
  return {"binary plist", [bytes] { return BinaryPropertyListReader::read(bytes, PropertyList::kMaxDepth).ok(); }};
}

Reader xmlReader(std::string_view text, PropertyList::Strictness strictness) {
  const bool strict = strictness == PropertyList::Strictness::strict;
  return {strict ? "XML strict" : "XML tolerant",
          [text, strictness] { return XmlPropertyListReader::read(text, strictness, PropertyList::kMaxDepth).ok(); }};
}

// `archive` must outlive the reader.
Reader recordReader(std::uint8_t selector, const platform::Data& archive) {
  return {kDecoderNames[selector % fuzz::kRecordDecoderCount], [selector, &archive] {
            bool ok = false;
            fuzz::withRecordDecoder(selector, [&](const auto& decoder) { ok = decoder.decode(archive).ok(); });
            return ok;
          }};
}

// --- Measuring ------------------------------------------------------------------

constexpr int kRuns = 5;

struct Measured {
  std::string input;  // file or case name
  std::string reader;
  std::size_t size = 0;
  bool accepted = false;
  double seconds = 0;       // median
  std::uint64_t peak = 0;   // bytes above what was live before the read
  std::string fuzzTarget;   // cases built here: the fuzz target that reads such inputs,
  std::string fuzzInput;    // and the input as that target takes it

  double memoryRatio() const { return static_cast<double>(peak) / static_cast<double>(memoryBound(size)); }
  double timeRatio() const { return seconds / timeBound(size); }
};

Measured measure(const Reader& reader, std::string input, std::size_t size, int runs = kRuns) {
  Measured out;
  out.input = std::move(input);
  out.reader = reader.name;
  out.size = size;
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    const std::uint64_t before = gLive.load();
    gPeak.store(before);
    const auto start = std::chrono::steady_clock::now();
    out.accepted = reader.read();
    times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    out.peak = std::max(out.peak, gPeak.load() - before);
  }
  std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
  out.seconds = times[runs / 2];
  return out;
}

std::string kib(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(bytes) / kKiB);
  return text;
}

void printHeader() {
  std::printf("  %-44s %-16s %9s %4s %10s %7s %9s %7s\n", "input", "reader", "size", "ok", "peak MiB", "/bound",
              "time ms", "/bound");
}

void printRow(const Measured& m) {
  std::string name = m.input;
  if (name.size() > 44) name = "..." + name.substr(name.size() - 41);
  std::printf("  %-44s %-16s %9s %4s %10.2f %7.3f %9.3f %7.3f%s\n", name.c_str(), m.reader.c_str(),
              kib(m.size).c_str(), m.accepted ? "yes" : "no", static_cast<double>(m.peak) / kMiB, m.memoryRatio(),
              m.seconds * 1000, m.timeRatio(), m.memoryRatio() > 1 || m.timeRatio() > 1 ? "  OVER" : "");
}

// --- Corpora --------------------------------------------------------------------

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Measures one corpus file the way the folder's fuzz target reads it.
void measureCorpusFile(const std::string& folder, const std::filesystem::path& file, std::vector<Measured>& out) {
  const std::string bytes = readFile(file);
  const std::string name = file.filename().string();
  const auto* raw = reinterpret_cast<const std::uint8_t*>(bytes.data());
  auto records = [&](std::size_t skip, std::uint8_t selector) {
    const platform::Data archive(raw + skip, raw + bytes.size());
    out.push_back(measure(recordReader(selector, archive), name, archive.size()));
  };
  if (folder.find("binary_plist") != std::string::npos) {
    out.push_back(measure(binaryReader(bytes), name, bytes.size()));
  } else if (folder.find("xml_plist") != std::string::npos) {
    out.push_back(measure(xmlReader(bytes, PropertyList::Strictness::strict), name, bytes.size()));
    out.push_back(measure(xmlReader(bytes, PropertyList::Strictness::tolerant), name, bytes.size()));
  } else if (folder.find("record_archive") != std::string::npos) {
    if (!bytes.empty()) records(1, raw[0]);
  } else if (folder.find("record_roundtrip") != std::string::npos) {
    // Even first byte: a graph description for the archiver, not an archive.
    if (bytes.size() >= 2 && (raw[0] & 1)) records(2, raw[1]);
  } else {
    out.push_back(measure(binaryReader(bytes), name, bytes.size()));
    out.push_back(measure(xmlReader(bytes, PropertyList::Strictness::strict), name, bytes.size()));
    out.push_back(measure(xmlReader(bytes, PropertyList::Strictness::tolerant), name, bytes.size()));
    records(0, 0);
  }
}

constexpr std::size_t kWorst = 5;

struct CorpusSummary {
  std::string folder;
  std::size_t files = 0;
  std::vector<Measured> worstTime;
  std::vector<Measured> worstMemory;
  std::vector<Measured> over;
};

CorpusSummary measureCorpus(const std::string& folder) {
  CorpusSummary summary;
  summary.folder = folder;
  std::vector<Measured> all;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (!entry.is_regular_file() || entry.is_symlink()) continue;
    ++summary.files;
    measureCorpusFile(folder, entry.path(), all);
  }
  if (error) std::fprintf(stderr, "%s: %s\n", folder.c_str(), error.message().c_str());
  auto worst = [&](auto key) {
    std::vector<Measured> sorted = all;
    std::sort(sorted.begin(), sorted.end(), [&](const Measured& a, const Measured& b) { return key(a) > key(b); });
    sorted.resize(std::min(sorted.size(), kWorst));
    return sorted;
  };
  summary.worstTime = worst([](const Measured& m) { return m.seconds; });
  summary.worstMemory = worst([](const Measured& m) { return m.peak; });
  for (const auto& m : all) {
    if (m.memoryRatio() > 1 || m.timeRatio() > 1) summary.over.push_back(m);
  }
  std::printf("%s: %zu files, %zu reads\n", folder.c_str(), summary.files, all.size());
  std::printf(" slowest:\n");
  printHeader();
  for (const auto& m : summary.worstTime) printRow(m);
  std::printf(" largest peak:\n");
  printHeader();
  for (const auto& m : summary.worstMemory) printRow(m);
  std::printf(" past a bound scaled to the input's size: %zu\n", summary.over.size());
  for (const auto& m : summary.over) printRow(m);
  std::printf("\n");
  std::fflush(stdout);
  return summary;
}

// --- Binary property lists built by hand ---------------------------------------

// Objects and their order; references are 2 bytes, offsets 2 or 4.
class BinaryPlist {
 public:
  std::uint64_t add(std::string encoded) {
    objects_.push_back(std::move(encoded));
    return objects_.size() - 1;
  }
  // Reserves an index now, for an object encoded later (a container that
  // refers to objects added after it).
  void set(std::uint64_t index, std::string encoded) { objects_[index] = std::move(encoded); }

  static std::string marker(std::uint8_t type, std::size_t count) {
    std::string out;
    if (count < 15) {
      out += static_cast<char>(type << 4 | count);
    } else {
      out += static_cast<char>(type << 4 | 0xF);
      out += '\x12';  // a 4-byte integer follows
      out += big(count, 4);
    }
    return out;
  }
  static std::string ascii(std::string_view text) { return marker(0x5, text.size()) + std::string(text); }
  static std::string array(const std::vector<std::uint64_t>& refs) {
    std::string out = marker(0xA, refs.size());
    for (auto ref : refs) out += big(ref, kRefSize);
    return out;
  }

  std::string bytes(std::uint64_t top) const {
    std::string out = "bplist00";
    std::vector<std::uint64_t> offsets;
    for (const auto& object : objects_) {
      offsets.push_back(out.size());
      out += object;
    }
    const std::size_t offsetSize = out.size() < 65536 ? 2 : 4;
    const std::uint64_t table = out.size();
    for (auto offset : offsets) out += big(offset, offsetSize);
    out += std::string(6, '\0');
    out += static_cast<char>(offsetSize);
    out += static_cast<char>(kRefSize);
    out += big(objects_.size(), 8) + big(top, 8) + big(table, 8);
    return out;
  }

  // What the trailer and the offsets add to the objects' bytes.
  std::size_t overhead() const { return 8 + 32 + objects_.size() * 2; }

 private:
  static constexpr std::size_t kRefSize = 2;

  static std::string big(std::uint64_t value, std::size_t width) {
    std::string out(width, '\0');
    for (std::size_t i = 0; i < width; ++i) out[width - 1 - i] = static_cast<char>(value >> (8 * i));
    return out;
  }

  std::vector<std::string> objects_;
};

bool readsBinary(const std::string& bytes) {
  return BinaryPropertyListReader::read(bytes, PropertyList::kMaxDepth).ok();
}

// One ASCII string of `length` bytes, referred to by an array as many times
// as fits in 64 KiB.
std::string sharedString(std::size_t length) {
  BinaryPlist plist;
  const auto text = plist.add(BinaryPlist::ascii(std::string(length, 'a')));
  const auto top = plist.add("");
  const std::size_t header = 6;  // the array's marker and 4-byte count
  const std::size_t fixed = plist.overhead() + BinaryPlist::ascii(std::string(length, 'a')).size() + header;
  const std::size_t refs = fixed < kCaseSize ? (kCaseSize - fixed) / 2 : 0;
  plist.set(top, BinaryPlist::array(std::vector<std::uint64_t>(refs, text)));
  return plist.bytes(top);
}

// Arrays that each refer `width` times to the one below, `levels` deep,
// ending in a one-character string: expansion width^levels.
std::string sharedLevels(std::size_t levels, std::size_t width) {
  BinaryPlist plist;
  auto below = plist.add(BinaryPlist::ascii("x"));
  for (std::size_t level = 0; level < levels; ++level) {
    below = plist.add(BinaryPlist::array(std::vector<std::uint64_t>(width, below)));
  }
  return plist.bytes(below);
}

// An array that refers as many times as fits in 64 KiB to one array of
// `width` references to one leaf (encoded as `leaf`): the most value nodes
// for the bytes.
std::string sharedNodes(std::size_t width, const std::string& leaf) {
  BinaryPlist plist;
  const auto one = plist.add(leaf);
  const std::string innerArray = BinaryPlist::array(std::vector<std::uint64_t>(width, one));
  const auto inner = plist.add(innerArray);
  const auto top = plist.add("");
  const std::size_t fixed = plist.overhead() + leaf.size() + innerArray.size() + 6;
  const std::size_t refs = fixed < kCaseSize ? (kCaseSize - fixed) / 2 : 0;
  plist.set(top, BinaryPlist::array(std::vector<std::uint64_t>(refs, inner)));
  return plist.bytes(top);
}

// The largest `size` in [0, limit) for which the reader takes `build(size)`.
std::size_t largestTaken(std::size_t limit, const std::function<std::string(std::size_t)>& build) {
  std::size_t taken = 0;
  std::size_t refused = limit;
  while (refused - taken > 1) {
    const std::size_t middle = (taken + refused) / 2;
    (readsBinary(build(middle)) ? taken : refused) = middle;
  }
  return taken;
}

// A chain of `depth` nested arrays whose innermost one holds as many
// distinct leaf objects (each encoded as `leaf`) as fit in 64 KiB.
std::string deepAndWide(std::size_t depth, const std::string& leaf) {
  BinaryPlist plist;
  std::vector<std::uint64_t> chain;
  for (std::size_t level = 0; level < depth; ++level) chain.push_back(plist.add(""));
  const std::size_t chainBytes = (depth - 1) * (1 + 2) + 6;
  const std::size_t perLeaf = leaf.size() + 2 /* offset */ + 2 /* reference */;
  const std::size_t fixed = plist.overhead() + chainBytes;
  const std::size_t leaves = (kCaseSize - fixed) / perLeaf;
  std::vector<std::uint64_t> refs;
  for (std::size_t i = 0; i < leaves; ++i) refs.push_back(plist.add(leaf));
  for (std::size_t level = 0; level + 1 < depth; ++level) {
    plist.set(chain[level], BinaryPlist::array({chain[level + 1]}));
  }
  plist.set(chain.back(), BinaryPlist::array(refs));
  return plist.bytes(chain.front());
}

// The deepest chain `build(depth)` the reader takes, from `from` down.
std::size_t deepestTaken(std::size_t from, const std::function<bool(std::size_t)>& takes) {
  std::size_t depth = from;
  while (depth > 1 && !takes(depth)) --depth;
  return depth;
}

// --- XML built by hand ----------------------------------------------------------

constexpr std::string_view kXmlHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n";
constexpr std::string_view kXmlTail = "</plist>\n";

bool readsXml(const std::string& text) {
  return XmlPropertyListReader::read(text, PropertyList::Strictness::strict, PropertyList::kMaxDepth).ok();
}

// An array holding as many chains of `depth` - 1 nested arrays as fit in
// 64 KiB: the whole document nests at `depth`.
std::string xmlNested(std::size_t depth) {
  std::string chain;
  for (std::size_t i = 1; i < depth; ++i) chain += "<array>";
  for (std::size_t i = 1; i < depth; ++i) chain += "</array>";
  std::string out(kXmlHead);
  out += "<array>";
  const std::size_t end = std::string_view("</array>").size() + kXmlTail.size();
  do {
    out += chain;
  } while (out.size() + chain.size() + end <= kCaseSize);
  return out + "</array>" + std::string(kXmlTail);
}

// An array (or with `keyed`, a dictionary) of `element` repeated until the
// document is 64 KiB; `{}` in element is replaced by the element's number.
std::string xmlMany(std::string_view element, bool keyed) {
  std::string out(kXmlHead);
  out += keyed ? "<dict>" : "<array>";
  const std::string close = std::string(keyed ? "</dict>" : "</array>") + std::string(kXmlTail);
  for (std::size_t i = 0;; ++i) {
    std::string one(element);
    if (auto at = one.find("{}"); at != std::string::npos) one.replace(at, 2, std::to_string(i));
    if (out.size() + one.size() + close.size() > kCaseSize) break;
    out += one;
  }
  return out + close;
}

// One string of raw control characters (tolerant reading carries each
// through libxml2 as a four-byte character).
std::string xmlControlString() {
  std::string out(kXmlHead);
  out += "<string>";
  const std::string close = "</string>" + std::string(kXmlTail);
  out += std::string(kCaseSize - out.size() - close.size(), '\x01');
  return out + close;
}

// --- Keyed archives built by hand ------------------------------------------------

// Groups by level: level 0 holds one file item, level i holds the group of
// level i - 1 twice. Each is archived once; a tree walk reaches level i's
// subtree by twice the paths of level i + 1.
std::vector<ItemGroupPtr> sharedGroupLevels(std::size_t levels) {
  std::vector<ItemGroupPtr> out;
  for (std::size_t level = 0; level < levels; ++level) {
    auto group = ItemGroup::group(ItemGroupName::userCache);
    auto items = std::make_shared<ModelItemArray>();
    if (level == 0) {
      items->addItem(std::make_shared<FileItem>(platform::URL::fileURLWithPath("/Users/u/a"), 1, std::nullopt));
    } else {
      items->addItem(out.back());
      items->addItem(out.back());
    }
    group->setItems(items);
    out.push_back(group);
  }
  return out;
}

// The records a tree walk of the archive's groups visits (0 when it fails).
std::uint64_t recordsWalked(const platform::Data& archive) {
  platform::KeyedUnarchiver unarchiver(archive);
  unarchiver.setAllowedClassesForGraph(RecordArchive::itemTreeClasses());
  auto groups = unarchiver.decodeArrayForKey<ItemGroup>("root", RecordArchive::itemTreeClasses());
  return unarchiver.error() ? 0 : unarchiver.recordsWalked();
}

struct GroupArchive {
  platform::Data bytes;
  std::uint64_t walked = 0;
};

// An archive of about 64 KiB whose root array refers to the shared levels
// so that a tree walk visits `extra` records more than the record budget
// of its size allows (0: exactly the budget, when the levels can make it).
GroupArchive sharedGroupsAtBudget(std::int64_t extra) {
  RecordArchive::registerClasses();
  const auto levels = sharedGroupLevels(18);
  auto archiveOf = [&](const std::vector<std::size_t>& picks, std::size_t padding) {
    std::vector<ItemGroupPtr> root;
    for (auto level : picks) root.push_back(levels[level]);
    // A group of its own whose name fills the archive up to the size wanted.
    root.push_back(std::make_shared<ItemGroup>(std::string(padding, 'p'), 0, nullptr, std::nullopt, nullptr, nullptr));
    auto bytes = RecordArchive::archivedGroups(root);
    return bytes ? *bytes : platform::Data{};
  };
  // What each level's subtree adds to a walk, for the levels a small
  // archive's budget still takes.
  const std::uint64_t base = recordsWalked(archiveOf({}, 1));
  std::vector<std::uint64_t> cost;
  for (std::size_t level = 0; level < levels.size(); ++level) {
    const std::uint64_t walked = recordsWalked(archiveOf({level}, 1));
    if (walked <= base) break;
    cost.push_back(walked - base);
  }

  std::size_t padding = 1;
  GroupArchive out;
  for (int round = 0; round < 6; ++round) {
    const std::uint64_t budget = platform::KeyedUnarchiver::recordBudgetFor(kCaseSize);
    auto left = static_cast<std::int64_t>(budget) + extra - static_cast<std::int64_t>(base);
    std::vector<std::size_t> picks;
    for (std::size_t level = cost.size(); level-- > 0;) {
      while (left >= static_cast<std::int64_t>(cost[level])) {
        picks.push_back(level);
        left -= static_cast<std::int64_t>(cost[level]);
      }
    }
    out.bytes = archiveOf(picks, padding);
    if (out.bytes.size() != kCaseSize) {
      const auto fix = static_cast<std::int64_t>(kCaseSize) - static_cast<std::int64_t>(out.bytes.size());
      padding = static_cast<std::size_t>(std::max<std::int64_t>(1, static_cast<std::int64_t>(padding) + fix));
      continue;
    }
    break;
  }
  out.walked = recordsWalked(out.bytes);
  return out;
}

// --- Cases ------------------------------------------------------------------------

std::vector<Measured> measureCases() {
  std::vector<Measured> out;
  auto keep = [&](std::string target, std::string input) {
    out.back().fuzzTarget = std::move(target);
    out.back().fuzzInput = std::move(input);
  };
  auto binaryCase = [&](const std::string& name, const std::string& bytes) {
    out.push_back(measure(binaryReader(bytes), name, bytes.size()));
    keep("binary_plist", bytes);
  };
  auto xmlCase = [&](const std::string& name, const std::string& text) {
    out.push_back(measure(xmlReader(text, PropertyList::Strictness::strict), name, text.size()));
    keep("xml_plist", text);
    out.push_back(measure(xmlReader(text, PropertyList::Strictness::tolerant), name, text.size()));
    keep("xml_plist", text);
  };

  const std::size_t length = largestTaken(32 * kKiB, sharedString);
  binaryCase("bplist: " + std::to_string(length) + "-byte string shared, at budget", sharedString(length));
  binaryCase("bplist: " + std::to_string(length + 1) + "-byte string shared, 1 past", sharedString(length + 1));
  binaryCase("bplist: 240 levels x130 shared arrays", sharedLevels(240, 130));
  binaryCase("bplist: 2^20 paths to one string (20 x2)", sharedLevels(20, 2));

  const struct {
    const char* name;
    std::string leaf;
  } leaves[] = {{"true", "\x09"}, {"empty arrays", "\xA0"}, {"empty dicts", "\xD0"}, {"1-char strings", "\x51" "a"}};
  for (const auto& leaf : leaves) {
    const std::size_t width = largestTaken(4 * kKiB, [&](std::size_t w) { return sharedNodes(w, leaf.leaf); });
    const std::string bytes = sharedNodes(width, leaf.leaf);
    binaryCase("bplist: " + std::to_string((bytes.size() / 2) * width / 1000) + "k shared " + leaf.name + ", at budget",
               bytes);
  }
  for (const auto& leaf : leaves) {
    const std::size_t depth = deepestTaken(PropertyList::kMaxDepth + 2, [&](std::size_t d) {
      return readsBinary(deepAndWide(d, leaf.leaf));
    });
    binaryCase("bplist: " + std::to_string(depth) + " deep, distinct " + leaf.name, deepAndWide(depth, leaf.leaf));
    if (leaf.leaf == "\x09") {
      binaryCase("bplist: " + std::to_string(depth + 1) + " deep, 1 past", deepAndWide(depth + 1, leaf.leaf));
    }
  }

  const std::size_t xmlDepth = deepestTaken(PropertyList::kMaxDepth + 2, [](std::size_t d) {
    return readsXml(xmlNested(d));
  });
  xmlCase("XML: chains " + std::to_string(xmlDepth) + " deep", xmlNested(xmlDepth));
  xmlCase("XML: chains " + std::to_string(xmlDepth + 1) + " deep, 1 past", xmlNested(xmlDepth + 1));
  xmlCase("XML: <true/> elements", xmlMany("<true/>", false));
  xmlCase("XML: <dict/> elements", xmlMany("<dict/>", false));
  xmlCase("XML: <string/> elements", xmlMany("<string/>", false));
  xmlCase("XML: <integer>0</integer> elements", xmlMany("<integer>0</integer>", false));
  xmlCase("XML: distinct keys", xmlMany("<key>{}</key><true/>", true));
  xmlCase("XML: one key again and again", xmlMany("<key>k</key><true/>", true));
  xmlCase("XML: comments of hyphens", xmlMany("<!-- ---------------------------------------- --><true/>", false));
  xmlCase("XML: string of control characters", xmlControlString());

  for (std::int64_t extra : {0, 1}) {
    const GroupArchive archive = sharedGroupsAtBudget(extra);
    const std::uint64_t budget = platform::KeyedUnarchiver::recordBudgetFor(archive.bytes.size());
    std::string name = "archive: shared groups, ";
    name += archive.walked ? std::to_string(archive.walked) + "/" + std::to_string(budget) + " records"
                           : "1 record past " + std::to_string(budget);
    out.push_back(measure(recordReader(0, archive.bytes), name, archive.bytes.size()));
    keep("record_archive", std::string(1, '\0') + std::string(archive.bytes.begin(), archive.bytes.end()));
  }
  return out;
}

// Writes the cases that passed a bound into <root>/<fuzz target>/, named
// after the case, so the fuzz targets replay them.
void saveCasesOverBounds(const std::vector<Measured>& cases, const std::filesystem::path& root) {
  for (const auto& m : cases) {
    if (m.fuzzTarget.empty() || (m.memoryRatio() <= 1 && m.timeRatio() <= 1)) continue;
    std::string name;
    for (char c : m.input) {
      const bool plain = std::isalnum(static_cast<unsigned char>(c));
      if (plain) name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      else if (!name.empty() && name.back() != '-') name += '-';
    }
    while (!name.empty() && name.back() == '-') name.pop_back();
    const std::string prefix = m.timeRatio() > 1 ? "slow-" : "large-";
    const std::filesystem::path file = root / m.fuzzTarget / (prefix + name);
    std::ofstream(file, std::ios::binary) << m.fuzzInput;
    std::printf("  kept %s\n", file.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  xmlMemSetup(countedFree, countedMalloc, countedRealloc, countedStrdup);
  std::vector<std::string> folders(argv + 1, argv + argc);
  if (const char* listed = std::getenv("VOZI_HOSTILE_CORPORA")) {
    std::stringstream list(listed);
    for (std::string folder; std::getline(list, folder, ':');) {
      if (!folder.empty()) folders.push_back(folder);
    }
  }
  std::printf("Bounds scaled to an input of n bytes: memory %llu n + 1 MiB, time 100 ms x (n + 1 KiB) / 64 KiB;\n"
              "peak: bytes allocated above what was live before the read; time: median of %d reads.\n\n",
              static_cast<unsigned long long>(BinaryPropertyListReader::kBytesPerInputByte), kRuns);

  std::vector<CorpusSummary> corpora;
  for (const auto& folder : folders) corpora.push_back(measureCorpus(folder));

  const std::vector<Measured> cases = measureCases();

  std::printf("Summary\n");
  if (!corpora.empty()) {
    std::printf(" worst corpus inputs (slowest and largest peak of each folder):\n");
    printHeader();
    for (const auto& corpus : corpora) {
      if (corpus.worstTime.empty()) continue;
      const Measured& slowest = corpus.worstTime.front();
      const Measured& largest = corpus.worstMemory.front();
      printRow(slowest);
      if (largest.input != slowest.input || largest.reader != slowest.reader) printRow(largest);
      for (const auto& m : corpus.over) printRow(m);
    }
  }
  std::printf(" cases of 64 KiB built here:\n");
  printHeader();
  for (const auto& m : cases) printRow(m);
  if (const char* root = std::getenv("VOZI_HOSTILE_KEEP")) saveCasesOverBounds(cases, root);
  return 0;
}
