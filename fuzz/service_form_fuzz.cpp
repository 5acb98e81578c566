// The service's reading of request pieces: the raw form body, skin names from a request, the
// "Range" header and the front end's framing of a request from its first bytes.
//
// Invariants: the form fields put back together with "&" and "=" give the body again; a skin
// name the store accepts is a safe name and cannot reach outside the skin directory; a
// partial range lies inside the file and is not empty; a request found complete lies inside the
// bytes read, keeps to the limits and is still complete with more bytes behind it.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "form_body.h"
#include "request_head.h"
#include "skin_files.h"
#include "text/gbk.h"

namespace {

using namespace qelo::service;

[[noreturn]] void Violation(const char* what) {
  std::fprintf(stderr, "invariant violated: %s\n", what);
  std::abort();
}

void CheckForm(std::string_view body) {
  const FormBody form(body);
  std::string joined;
  for (size_t i = 0; i < form.Fields().size(); ++i) {
    const FormField& f = form.Fields()[i];
    if (i > 0) joined += '&';
    joined.append(f.name);
    // A field without "=" has an empty value; one with "=" may too, so look at the body.
    const size_t at = static_cast<size_t>(f.name.data() - body.data()) + f.name.size();
    if (at < body.size() && body[at] == '=') joined += '=';
    joined.append(f.value);
  }
  if (joined != body) Violation("form fields do not join back to the body");
  for (const FormField& f : form.Fields()) {
    const auto value = form.Value(f.name);
    if (!value) Violation("a field's own name finds nothing");
  }
}

void CheckSkinName(std::string_view gbk) {
  if (!SkinStore::AcceptsName(gbk)) return;
  const std::string name = qelo::text::GbkToUtf8(gbk);
  if (!IsSafeSkinName(name)) Violation("an unsafe skin name was accepted");
  if (name.find('/') != name.npos || name.find("..") != name.npos || name.find('\0') != name.npos)
    Violation("an accepted skin name can leave the directory");
}

void CheckRange(std::string_view header, int64_t size) {
  const ByteRange r = ResolveRange(header, size);
  switch (r.kind) {
    case ByteRange::Kind::kPartial:
      if (r.first < 0 || r.first > r.last || r.last >= size)
        Violation("a partial range lies outside the file");
      break;
    case ByteRange::Kind::kWhole:
      if (r.first != 0 || (size > 0 && r.last != size - 1)) Violation("a whole range is not whole");
      break;
    case ByteRange::Kind::kUnsatisfiable:
      break;
  }
}

void CheckFraming(std::string_view bytes) {
  const RequestLimits limits{.max_head_bytes = 512, .max_body_bytes = 256};
  const RequestFraming f = InspectRequest(bytes, limits);
  if (f.kind == RequestFraming::Kind::kRefuse && f.status < 400) Violation("refusal without error");
  if (f.kind != RequestFraming::Kind::kComplete) return;
  if (f.head_bytes > limits.max_head_bytes || f.body_bytes > limits.max_body_bytes)
    Violation("a complete request breaks the limits");
  if (f.head_bytes + f.body_bytes > bytes.size()) Violation("a complete request needs more bytes");
  if (f.head.size() > f.head_bytes) Violation("the handed-on head grew");
  const RequestFraming again = InspectRequest(std::string(bytes) + "GET / HTTP/1.1\r\n", limits);
  if (again.kind != f.kind || again.head_bytes != f.head_bytes || again.body_bytes != f.body_bytes)
    Violation("bytes behind a complete request changed its framing");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int64_t fileSize = in.ConsumeBool() ? in.ConsumeIntegralInRange<int64_t>(0, 4096)
                                            : in.ConsumeIntegralInRange<int64_t>(0, INT64_MAX);
  const std::string name = in.ConsumeRandomLengthString(64);
  const std::string body = in.ConsumeRemainingBytesAsString();
  CheckForm(body);
  CheckSkinName(name);
  CheckRange(body, fileSize);
  CheckRange("bytes=" + name, fileSize);
  CheckFraming(body);
  return 0;
}
