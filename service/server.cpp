#include "server.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>
#include <optional>

#include "client_actions.h"
#include "form_body.h"
#include "front_end.h"
#include "index_db.h"
#include "result_page.h"
#include "skin_files.h"

namespace qelo::service {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kGbkText = "text/plain; charset=GBK";
constexpr size_t kReadChunk = 64 * 1024;
constexpr size_t kForumEntries = 50;

// httplib runs a request on one worker thread from routing to logging; this is when the request
// reached routing on this thread, so the log line can give its duration.
thread_local std::optional<Clock::time_point> tls_request_start;

// The request handling of httplib (parsing, routing, writing the reply) run over a stream the
// front end fills; httplib's own accepting and reading are not used.
class StreamServer : public httplib::Server {
 public:
  bool ServeOne(httplib::Stream& stream, bool close_connection, bool& connection_closed,
                const std::function<void(httplib::Request&)>& setup) {
    return process_request(stream, close_connection, connection_closed, setup);
  }
  // httplib stops streaming a reply body while it believes it has no listening socket; the
  // front end's socket stands in for its own.
  void MarkListening(int fd) { svr_sock_ = fd; }
};

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
      http_(std::make_unique<StreamServer>()) {
  FrontEndOptions front;
  front.workers = options_.threads == 0 ? 1 : options_.threads;
  front.limits.max_body_bytes = options_.max_body_bytes;
  front.head_timeout = options_.head_timeout;
  front.body_timeout = options_.body_timeout;
  front.write_stall = options_.write_stall;
  http_->set_payload_max_length(options_.max_body_bytes);
  http_->set_keep_alive_max_count(front.max_requests_per_connection);
  http_->set_keep_alive_timeout(std::max<time_t>(
      1, std::chrono::duration_cast<std::chrono::seconds>(front.head_timeout).count()));
  AddRoutes();
  auto serve = [this](ReplyStream& stream, bool close_connection, bool& connection_closed,
                      const std::string& range) {
    // The Range line was kept away from httplib, which would answer some forms with a bare 416
    // before routing; the skin downloads read it and apply their own rules.
    return static_cast<StreamServer&>(*http_).ServeOne(stream, close_connection, connection_closed,
                                                       [&range](httplib::Request& req) {
                                                         if (!range.empty())
                                                           req.set_header("Range", range);
                                                       });
  };
  front_ = std::make_unique<FrontEnd>(front, std::move(serve), log_);
}

ServiceServer::~ServiceServer() = default;

void ServiceServer::AddRoutes() {
  http_->set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
    tls_request_start = Clock::now();
    auto& mutable_req = const_cast<httplib::Request&>(req);
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
  http_->Get(R"(/bbs/?)", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(ForumPageHtml(db_.RecentFeedback(kForumEntries)),
                    std::string(kHtmlContentType).c_str());
  });
  http_->Get(R"(/zelk-([^/]*))", [this](const httplib::Request& req, httplib::Response& res) {
    ServeResultPage(db_, req, res);
  });
}

int ServiceServer::Bind(const std::string& host, int port) {
  const int bound = front_->Bind(host, port);
  if (bound > 0) static_cast<StreamServer&>(*http_).MarkListening(front_->ListeningFd());
  return bound;
}

bool ServiceServer::Run() {
  const bool ok = front_->Run();
  finished_ = true;
  return ok;
}

void ServiceServer::Stop() {
  front_->Stop();
}

}  // namespace qelo::service
