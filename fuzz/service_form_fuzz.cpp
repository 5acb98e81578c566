// The service's reading of request pieces: the raw form body, skin names from a request, the
// "Range" header and the refusals decided from a request head's Content-Length lines.
//
// Invariants: the form fields put back together with "&" and "=" give the body again; a skin
// name the store accepts is a safe name and cannot reach outside the skin directory; a
// partial range lies inside the file and is not empty; a head whose lengths pass has one plain
// decimal length within the limit, the same however often it is given, and more lines behind a
// refused length never let it pass.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "form_body.h"
#include "head_checks.h"
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

// `text` split at line breaks, each piece taken as the value of one Content-Length line.
void CheckLengths(std::string_view text) {
  constexpr size_t kLimit = 256;
  std::vector<std::string_view> lengths;
  for (size_t start = 0; start <= text.size() && lengths.size() < 8;) {
    const size_t end = std::min(text.find('\n', start), text.size());
    lengths.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  const auto refusal = RefuseBeforeBody(false, lengths, kLimit);
  if (refusal && refusal->status != 400 && refusal->status != 413)
    Violation("a length refused with an unexpected status");
  if (!refusal) {
    std::optional<std::string_view> first;
    for (std::string_view v : lengths) {
      while (!v.empty() && (v.front() == ' ' || v.front() == '\t'))
        v.remove_prefix(1);
      while (!v.empty() && (v.back() == ' ' || v.back() == '\t'))
        v.remove_suffix(1);
      if (v.empty() || v.find_first_not_of("0123456789") != v.npos)
        Violation("a length that is not a plain decimal passed");
      while (v.size() > 1 && v.front() == '0')
        v.remove_prefix(1);
      if (v.size() > 18 || std::stoull(std::string(v)) > kLimit)
        Violation("a length past the limit passed");
      if (first && *first != v) Violation("two different lengths passed");
      first = v;
    }
  }
  lengths.push_back("1");
  if (refusal && !RefuseBeforeBody(false, lengths, kLimit))
    Violation("a line behind a refused length let it pass");
  if (!RefuseBeforeBody(true, lengths, kLimit)) Violation("a transfer coding passed");
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
  CheckLengths(body);
  return 0;
}
