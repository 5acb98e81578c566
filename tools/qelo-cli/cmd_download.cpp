// qelo-cli download [--parts N] [--progress] URL FILE
// Runs one TMultipartDownloader transfer into FILE (created or emptied once the transfer
// starts; a refused Start leaves it as it was), N parts (2 by default). Every OnDisplay text goes
// to stderr as it comes; with --progress a one-line display of percent, speed and elapsed time
// replaces them. At the end stdout gets exactly "ErrorCode: N", "Reason: TEXT", "ContentLength: N"
// and "TotalDataCount: N". Exit status 0 when ErrorCode is 200, 1 otherwise (a refused Start
// included: its message goes to stderr and nothing is sent), 2 for a usage error.
#include <charconv>
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "net/dispatcher.h"
#include "net/multipart_downloader.h"
#include "net/stream.h"

namespace qelo::cli {
namespace {

using net::TMultipartDownloader;

constexpr char kUsage[] = "usage: qelo-cli download [--parts N] [--progress] URL FILE\n";

struct Options {
  int parts = 2;
  bool progress = false;
  std::string url;
  std::string file;
};

int UsageError(const std::string& why) {
  std::fprintf(stderr, "qelo-cli download: %s\n%s", why.c_str(), kUsage);
  return 2;
}

std::string ParseArgs(const Args& args, Options& opts) {
  size_t positional = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--parts") {
      if (i + 1 >= args.size()) return "--parts needs a number";
      const std::string& v = args[++i];
      const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), opts.parts);
      if (v.empty() || ec != std::errc() || end != v.data() + v.size())
        return "--parts needs a number";
    } else if (a == "--progress") {
      opts.progress = true;
    } else if (a.size() > 1 && a[0] == '-') {
      return "unknown option " + a;
    } else if (positional == 0) {
      opts.url = a;
      ++positional;
    } else if (positional == 1) {
      opts.file = a;
      ++positional;
    } else {
      return "too many arguments";
    }
  }
  if (positional < 2) return "URL and FILE are needed";
  return {};
}

// "  42.0%     81234 kbit/s      3.2 s", redrawn in place.
void ShowProgress(const TMultipartDownloader& d) {
  const double seconds = d.Elapsed() * 86400.0;
  std::fprintf(stderr, "\r%6.1f%%  %10.0f kbit/s  %7.1f s", d.PercentComplete(), d.CurrentSpeed(),
               seconds);
  std::fflush(stderr);
}

}  // namespace

int RunDownload(const Args& args) {
  Options opts;
  if (const std::string why = ParseArgs(args, opts); !why.empty()) return UsageError(why);

  try {
    TMultipartDownloader dl;
    dl.Name = "HttpDownFile";
    dl.URL = opts.url;
    dl.PartCount = opts.parts;
    bool done = false;
    bool progressShown = false;
    int errorCode = 0;
    std::string reason;
    dl.OnRequestDone = [&](TMultipartDownloader*, int code, const std::string& why) {
      done = true;
      errorCode = code;
      reason = why;
    };
    if (opts.progress) {
      dl.OnShowStats = [&](TMultipartDownloader* s) {
        ShowProgress(*s);
        progressShown = true;
      };
    } else {
      dl.OnDisplay = [](TMultipartDownloader*, const std::string& msg) {
        std::fprintf(stderr, "%s\n", msg.c_str());
      };
    }

    try {
      dl.Start();
    } catch (const net::ERangeError& e) {
      std::fprintf(stderr, "qelo-cli download: %s\n", e.what());
      return 1;
    }
    // Only a transfer that starts empties FILE; the first bytes come on a later turn of the loop.
    dl.FileStream = std::make_unique<net::TFileStream>(opts.file, net::TFileStream::Mode::Create);
    net::Dispatcher& loop = net::Dispatcher::current();
    while (!done)
      loop.runOnce(-1);
    // After a transfer that did not complete the file is still open here.
    dl.FileStream.reset();

    if (progressShown) std::fprintf(stderr, "\n");
    std::printf("ErrorCode: %d\nReason: %s\nContentLength: %lld\nTotalDataCount: %lld\n", errorCode,
                reason.c_str(), static_cast<long long>(dl.ContentLength()),
                static_cast<long long>(dl.TotalDataCount()));
    return errorCode == 200 ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qelo-cli download: %s\n", e.what());
    return 1;
  }
}

}  // namespace qelo::cli
