#include "server.h"

#include <httplib.h>

#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>
#include <optional>

#include "client_actions.h"
#include "form_body.h"
#include "index_db.h"
#include "result_page.h"
#include "skin_files.h"

namespace qelo::service {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kGbkText = "text/plain; charset=GBK";
constexpr size_t kReadChunk = 64 * 1024;

// httplib runs a request on one worker thread from routing to logging; this is when the request
// reached routing on this thread, so the log line can give its duration.
thread_local std::optional<Clock::time_point> tls_request_start;

// httplib listens with a backlog of a handful of connections; a burst of one-request HTTP/1.0
// connections then meets refused handshakes and second-long retries. Listening again on the
// bound socket widens the queue.
class WideBacklogServer : public httplib::Server {
 public:
  void WidenBacklog(int backlog) {
    const int fd = svr_sock_;
    if (fd >= 0) ::listen(fd, backlog);
  }
};

constexpr int kBacklog = 512;

std::string Printable(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return out;
}

// The raw query of a request target, nothing decoded.
std::string_view RawQuery(const std::string& target) {
  const size_t q = target.find('?');
  return q == std::string::npos ? std::string_view() : std::string_view(target).substr(q + 1);
}

// Streams a file from byte `first` on, one chunk per call, so memory stays bounded whatever the
// file's size. A file that shrank or cannot be read ends the connection short of its length.
httplib::ContentProvider FileReader(std::shared_ptr<UniqueFd> fd, int64_t first) {
  return [fd = std::move(fd), first](size_t offset, size_t want, httplib::DataSink& sink) {
    std::string buf(std::min(want, kReadChunk), '\0');
    const int64_t got =
        ReadAt(fd->get(), first + static_cast<int64_t>(offset), buf.data(), buf.size());
    return got > 0 && sink.write(buf.data(), static_cast<size_t>(got));
  };
}

void ServeFile(const httplib::Request& req, httplib::Response& res, SkinFile file,
               const char* content_type) {
  const ByteRange range = ResolveRange(req.get_header_value("Range"), file.size);
  res.set_header("Accept-Ranges", "bytes");
  if (range.kind == ByteRange::Kind::kUnsatisfiable) {
    res.status = 416;
    res.set_header("Content-Range", "bytes */" + std::to_string(file.size));
    res.set_content("", "text/plain");
    return;
  }
  if (range.kind == ByteRange::Kind::kPartial) {
    res.status = 206;
    res.set_header("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                        std::to_string(range.last) + "/" +
                                        std::to_string(file.size));
  } else {
    res.status = 200;
  }
  const int64_t length = file.size == 0 ? 0 : range.last - range.first + 1;
  if (length == 0) {
    res.set_content("", content_type);
    return;
  }
  res.set_content_provider(static_cast<size_t>(length), content_type,
                           FileReader(std::make_shared<UniqueFd>(std::move(file.fd)), range.first));
}

void ServeSkinScript(const SkinStore& skins, const httplib::Request& req, httplib::Response& res,
                     std::string_view form_text) {
  const FormBody form(form_text);
  const std::string_view action = form.Value("action").value_or("");
  if (action == "list") return res.set_content(skins.ListReply(), kGbkText);
  if (action != "downimg" && action != "downskin") return res.set_content("false", kGbkText);
  const std::string_view name = form.Value("skin_id").value_or("");
  if (!SkinStore::AcceptsName(name)) {
    res.status = 400;
    return res.set_content("bad skin name", "text/plain");
  }
  const bool picture = action == "downimg";
  auto file = skins.Open(name, picture ? SkinPart::kPicture : SkinPart::kContainer);
  if (!file) {
    res.status = 404;
    return res.set_content("no such skin", "text/plain");
  }
  ServeFile(req, res, std::move(*file), picture ? "image/jpeg" : "application/octet-stream");
}

void ServeResultPage(IndexDb& db, const httplib::Request& req, httplib::Response& res) {
  const std::string id_text = req.matches.size() > 1 ? req.matches[1].str() : std::string();
  const auto id = ParseFileId(id_text);
  const auto row = id ? db.Find(*id) : std::nullopt;
  if (!row) {
    res.status = 404;
    return res.set_content(NotFoundPageHtml("没有编号为 " + id_text + " 的文件。"),
                           std::string(kHtmlContentType).c_str());
  }
  res.set_content(ResultPageHtml(*row), std::string(kHtmlContentType).c_str());
}

}  // namespace

ServiceServer::ServiceServer(IndexDb& db, const SkinStore& skins, ServerOptions options,
                             LogSink log)
    : db_(db),
      skins_(skins),
      options_(options),
      log_(std::move(log)),
      http_(std::make_unique<WideBacklogServer>()) {
  const size_t threads = options_.threads == 0 ? 1 : options_.threads;
  // httplib takes ownership of the queue it is handed.
  http_->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  http_->set_payload_max_length(options_.max_body_bytes);
  http_->set_keep_alive_timeout(2);
  http_->set_read_timeout(10);
  http_->set_write_timeout(10);
  AddRoutes();
}

ServiceServer::~ServiceServer() = default;

void ServiceServer::AddRoutes() {
  http_->set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
    tls_request_start = Clock::now();
    // httplib would cut every response body to a requested range on its own; ranges are served
    // here, so its parsed copy is dropped (the Range header itself stays readable).
    auto& mutable_req = const_cast<httplib::Request&>(req);
    mutable_req.ranges.clear();
    // An HTTP/1.0 request without keep-alive gets its connection closed after the reply; saying
    // so keeps httplib from announcing keep-alive parameters to such a client.
    if (req.version == "HTTP/1.0" && !req.has_header("Connection")) {
      mutable_req.set_header("Connection", "close");
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  http_->set_logger([this](const httplib::Request& req, const httplib::Response& res) {
    long long ms = 0;
    if (tls_request_start) {
      ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - *tls_request_start)
               .count();
      tls_request_start.reset();
    }
    log_(Printable(req.method + " " + req.target + " " + std::to_string(res.status) + " " +
                   std::to_string(ms) + "ms"));
  });
  http_->set_exception_handler(
      [this](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
        std::string what = "unknown error";
        try {
          std::rethrow_exception(ep);
        } catch (const std::exception& e) {
          what = e.what();
        } catch (...) {
        }
        log_("error: " + what);
        res.status = 500;
        res.set_content("internal error", "text/plain");
      });

  http_->Post("/zelk_client.php", [this](const httplib::Request& req, httplib::Response& res) {
    res.set_content(HandleClientForm(db_, req.body), kGbkText);
  });
  http_->Post("/plugins/getskin.php", [this](const httplib::Request& req, httplib::Response& res) {
    ServeSkinScript(skins_, req, res, req.body);
  });
  http_->Get("/plugins/getskin.php", [this](const httplib::Request& req, httplib::Response& res) {
    ServeSkinScript(skins_, req, res, RawQuery(req.target));
  });
  http_->Get(R"(/zelk-([^/]*))", [this](const httplib::Request& req, httplib::Response& res) {
    ServeResultPage(db_, req, res);
  });
}

int ServiceServer::Bind(const std::string& host, int port) {
  const int bound =
      port == 0 ? http_->bind_to_any_port(host) : (http_->bind_to_port(host, port) ? port : -1);
  if (bound > 0) static_cast<WideBacklogServer&>(*http_).WidenBacklog(kBacklog);
  return bound;
}

bool ServiceServer::Run() {
  bool ok = true;
  if (!stop_requested_) ok = http_->listen_after_bind();
  finished_ = true;
  return ok;
}

void ServiceServer::Stop() {
  stop_requested_ = true;
  http_->stop();
}

}  // namespace qelo::service
