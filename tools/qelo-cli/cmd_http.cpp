// qelo-cli http [-X GET|POST|HEAD] [--data STR | --data-file FILE] [--range BEGIN-END]
//               [--http11] [--no-follow] [--max-redirects N] [-o FILE] [-v] URL
// Runs one request through THttpClient exactly as the client sends it. The body goes to stdout
// (or FILE); then stderr gets, last, the lines "ErrCode: N", "StatusCode: N",
// "ReasonPhrase: TEXT" and "RcvdCount: N". -v first shows the request lines sent ("> ") and
// each received header ("< ") on stderr. Exit status 0 when ErrCode is 0 and the reply is a
// whole HTTP reply: a cut-off reply, a reply without a status line and a relocation past the
// limit are named on stderr before those lines and exit 1, as any other failure does; 2 for a
// usage error.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "net/dispatcher.h"
#include "net/http_client.h"
#include "net/stream.h"

namespace qelo::cli {
namespace {

using net::TFileStream;
using net::THttpClient;
using net::TStream;

constexpr char kUsage[] =
    "usage: qelo-cli http [-X GET|POST|HEAD] [--data STR | --data-file FILE] "
    "[--range BEGIN-END] [--http11] [--no-follow] [--max-redirects N] [-o FILE] [-v] URL\n";

struct Options {
  std::string method;
  std::optional<std::string> data;
  std::optional<std::string> dataFile;
  std::optional<std::string> range;
  bool http11 = false;
  bool noFollow = false;
  std::optional<int> maxRedirects;
  std::optional<std::string> output;
  bool verbose = false;
  std::string url;
};

int UsageError(const std::string& why) {
  std::fprintf(stderr, "qelo-cli http: %s\n%s", why.c_str(), kUsage);
  return 2;
}

// Fills opts from args; returns an error text, empty when the arguments are usable.
std::string ParseArgs(const Args& args, Options& opts) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string v;
    if (a == "-X") {
      if (!value(v)) return "-X needs a method";
      if (v != "GET" && v != "POST" && v != "HEAD") return "unknown method " + v;
      opts.method = v;
    } else if (a == "--data") {
      if (!value(v)) return "--data needs a value";
      opts.data = v;
    } else if (a == "--data-file") {
      if (!value(v)) return "--data-file needs a file";
      opts.dataFile = v;
    } else if (a == "--range") {
      if (!value(v) || v.find('-') == std::string::npos || v == "-")
        return "--range needs BEGIN-END";
      opts.range = v;
    } else if (a == "--http11") {
      opts.http11 = true;
    } else if (a == "--no-follow") {
      opts.noFollow = true;
    } else if (a == "--max-redirects") {
      int n = -1;
      if (!value(v) ||
          std::from_chars(v.data(), v.data() + v.size(), n).ptr != v.data() + v.size() || n < 0)
        return "--max-redirects needs a count";
      opts.maxRedirects = n;
    } else if (a == "-o") {
      if (!value(v)) return "-o needs a file";
      opts.output = v;
    } else if (a == "-v") {
      opts.verbose = true;
    } else if (!a.empty() && a[0] == '-') {
      return "unknown option " + a;
    } else if (opts.url.empty()) {
      opts.url = a;
    } else {
      return "more than one URL";
    }
  }
  if (opts.url.empty()) return "no URL";
  if (opts.data && opts.dataFile) return "--data and --data-file exclude each other";
  const bool hasData = opts.data || opts.dataFile;
  if (opts.method.empty()) opts.method = hasData ? "POST" : "GET";
  if (hasData != (opts.method == "POST")) return "a body goes with POST, and POST needs one";
  return {};
}

// Standard output as a stream the client can cut back after a relocation: stdout itself when
// it is a seekable file, otherwise an unnamed temporary file copied out at the end.
class StdoutSink {
 public:
  StdoutSink() {
    struct stat st {};
    if (::fstat(STDOUT_FILENO, &st) == 0 && S_ISREG(st.st_mode) &&
        ::lseek(STDOUT_FILENO, 0, SEEK_CUR) >= 0) {
      stream_ = std::make_unique<TFileStream>(TFileStream::FromDescriptor(STDOUT_FILENO));
      return;
    }
    int fd = ::open("/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
      // File systems without unnamed files: a named one, removed at once.
      char name[] = "/tmp/qelo-http-XXXXXX";
      fd = ::mkostemp(name, O_CLOEXEC);
      if (fd >= 0) ::unlink(name);
    }
    if (fd < 0)
      throw net::EStreamError(std::string("Cannot create a temporary file: ") +
                              std::strerror(errno));
    spool_ = fd;
    stream_ = std::make_unique<TFileStream>(TFileStream::FromDescriptor(fd));
  }
  ~StdoutSink() {
    if (spool_ >= 0) ::close(spool_);
  }
  StdoutSink(const StdoutSink&) = delete;
  StdoutSink& operator=(const StdoutSink&) = delete;

  TStream* stream() { return stream_.get(); }

  // Copies the spooled body to stdout.
  bool Flush() {
    if (spool_ < 0) return true;
    stream_->SetPosition(0);
    std::vector<char> buf(1 << 16);
    for (;;) {
      const int64_t n = stream_->Read(buf.data(), static_cast<int64_t>(buf.size()));
      if (n <= 0) return true;
      for (int64_t done = 0; done < n;) {
        const ssize_t w = ::write(STDOUT_FILENO, buf.data() + done, static_cast<size_t>(n - done));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        done += w;
      }
    }
  }

 private:
  int spool_ = -1;
  std::unique_ptr<TFileStream> stream_;
};

void Configure(THttpClient& http, const Options& opts) {
  http.Name = "HttpClient1";
  http.URL = opts.url;
  if (opts.http11) http.SetRequestVer("1.1");
  if (opts.noFollow) http.FollowRelocation = false;
  if (opts.maxRedirects) http.LocationChangeMaxCount = *opts.maxRedirects;
  if (opts.range) {
    const size_t dash = opts.range->find('-');
    http.ContentRangeBegin = opts.range->substr(0, dash);
    http.ContentRangeEnd = opts.range->substr(dash + 1);
  }
  if (opts.verbose) {
    http.OnCommand = [](THttpClient*, std::string& line) {
      std::fprintf(stderr, "> %s\n", line.c_str());
    };
    http.OnHeaderEnd = [](THttpClient* s) {
      for (const std::string& line : s->RcvdHeader())
        std::fprintf(stderr, "< %s\n", line.c_str());
    };
  }
}

// Why a reply that ended without an error is not a whole HTTP reply; empty when it is one.
std::string FailureReason(const THttpClient& http, bool relocationsExceeded) {
  if (relocationsExceeded)
    return "too many relocations (limit " + std::to_string(http.LocationChangeMaxCount) + ")";
  if (http.StatusCode() == 0) return "not an HTTP reply: no status line";
  if (http.BodyComplete()) return {};
  if (http.ContentLength() >= 0 && http.RcvdCount() < http.ContentLength())
    return "reply cut short: body has " + std::to_string(http.RcvdCount()) + " of " +
           std::to_string(http.ContentLength()) + " bytes";
  if (http.TransferEncoding() == "chunked")
    return "reply cut short: chunked body without its last chunk";
  return "reply cut short: the header never ended";
}

}  // namespace

int RunHttp(const Args& args) {
  Options opts;
  if (const std::string why = ParseArgs(args, opts); !why.empty()) return UsageError(why);

  try {
    std::unique_ptr<TStream> body;
    if (opts.data) body = std::make_unique<net::TMemoryStream>(*opts.data);
    if (opts.dataFile)
      body = std::make_unique<TFileStream>(*opts.dataFile, TFileStream::Mode::OpenRead);
    std::unique_ptr<TFileStream> outFile;
    std::unique_ptr<StdoutSink> stdoutSink;
    if (opts.output) {
      outFile = std::make_unique<TFileStream>(*opts.output, TFileStream::Mode::Create);
    } else {
      stdoutSink = std::make_unique<StdoutSink>();
    }

    THttpClient http;
    Configure(http, opts);
    http.SendStream = body.get();
    http.RcvdStream = outFile ? static_cast<TStream*>(outFile.get()) : stdoutSink->stream();
    bool done = false;
    bool relocationsExceeded = false;
    http.OnLocationChangeExceeded = [&](THttpClient*, int, bool&) { relocationsExceeded = true; };
    uint16_t errCode = 0;
    http.OnRequestDone = [&](THttpClient*, net::THttpRequest, uint16_t err) {
      done = true;
      errCode = err;
    };
    if (opts.method == "POST") {
      http.PostASync();
    } else if (opts.method == "HEAD") {
      http.HeadASync();
    } else {
      http.GetASync();
    }
    net::Dispatcher& loop = net::Dispatcher::current();
    while (!done)
      loop.runOnce(-1);

    bool written = true;
    if (stdoutSink) written = stdoutSink->Flush();
    const std::string failure = errCode != 0 ? "" : FailureReason(http, relocationsExceeded);
    if (!failure.empty()) std::fprintf(stderr, "qelo-cli http: %s\n", failure.c_str());
    const bool whole = failure.empty();
    std::fprintf(stderr, "ErrCode: %u\nStatusCode: %d\nReasonPhrase: %s\nRcvdCount: %lld\n",
                 static_cast<unsigned>(errCode), http.StatusCode(), http.ReasonPhrase().c_str(),
                 static_cast<long long>(http.RcvdCount()));
    return errCode == 0 && whole && written ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qelo-cli http: %s\n", e.what());
    return 1;
  }
}

}  // namespace qelo::cli
