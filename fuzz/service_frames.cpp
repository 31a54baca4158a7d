// Feeds arbitrary bytes, cut into arbitrary reads, to the named-services
// framing and call decoding, as a listener's reading queue does: frames
// come out whole and in order however the bytes were cut, an oversized
// header stops the stream, and every frame is decoded as a call of a small
// protocol (records, strings, free-form values under class lists) and as a
// reply, without a crash, a leak or unbounded work.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/services/EchoService.h"
#include "platform/services/ServiceFrameReader.h"
#include "platform/services/XPCInterface.h"

using namespace vozi::platform;

namespace {

constexpr std::size_t kCap = 1 << 16;

using vozi::fuzz::check;

// Accepts every call and answers nothing.
class Sink : public vozi::test::IEchoService {
 public:
  void echo(std::string, std::function<void(bool)>) override {}
  void scan(vozi::test::Records, std::function<void(vozi::test::Records)>) override {}
  void post(std::int64_t, Value) override {}
  void hold(std::string, std::function<void(bool)>) override {}
  void unlisted(std::string) override {}
};

// The frames of a stream by the format's own rule, up to the first header
// over the cap.
std::vector<Data> modelFrames(const std::uint8_t* data, std::size_t size, bool& oversized) {
  std::vector<Data> frames;
  std::size_t at = 0;
  oversized = false;
  while (size - at >= ServiceFrameReader::kHeaderSize) {
    const std::size_t length = (std::size_t{data[at]} << 24) | (std::size_t{data[at + 1]} << 16) |
                               (std::size_t{data[at + 2]} << 8) | std::size_t{data[at + 3]};
    if (length > kCap) {
      oversized = true;
      break;
    }
    if (size - at - ServiceFrameReader::kHeaderSize < length) break;
    at += ServiceFrameReader::kHeaderSize;
    frames.emplace_back(data + at, data + at + length);
    at += length;
  }
  return frames;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  vozi::test::registerServiceRecords();
  static const XPCInterfacePtr interface = vozi::test::echoInterface();
  static Sink sink;
  const std::size_t cut = 1 + data[0] % 97;
  ++data;
  --size;

  ServiceFrameReader reader(kCap);
  std::vector<Data> frames;
  bool failed = false;
  for (std::size_t at = 0; at < size && !failed; at += cut)
    failed = !reader.append(data + at, std::min(cut, size - at), frames).ok();
  bool oversized = false;
  check(frames == modelFrames(data, size, oversized), "frames differ from the model");
  check(failed == oversized, "an oversized header and a failure go together");

  for (const auto& frame : frames) {
    {
      KeyedUnarchiver unarchiver(frame);
      const auto selector = unarchiver.decodeStringForKey("selector");
      const XPCMethod* method = selector ? interface->method(*selector) : nullptr;
      if (method) {
        auto delivery = method->decodeCall(unarchiver);
        if (delivery) (*delivery)(static_cast<vozi::test::IEchoService*>(&sink), nullptr);
      }
    }
    {
      KeyedUnarchiver unarchiver(frame);
      const AllowedClasses scan{"ScanRecord"};
      auto replies = xpc::decodeAll<std::tuple<vozi::test::Records>>(unarchiver, {scan}, std::index_sequence<0>());
      check(replies.has_value() == !unarchiver.error().has_value(), "a reply decodes or fails, never both");
    }
  }
  return 0;
}
